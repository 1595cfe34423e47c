// The import floor on SQLite: the rows an import inserted (catalog rows,
// structure rows with their documents, node rows), read back from the
// imported database, then written again into a copy of the database as it
// was before the import (same tables, same indexes) by one reused prepared
// statement per table inside one transaction. With `late`, the value
// indexes (those keyed on NODEGUID) are dropped from the copy first and
// created again once after the rows, inside the same transaction.
#ifndef METASHELF_BENCH_E2E_SQLITE_FLOOR_H_
#define METASHELF_BENCH_E2E_SQLITE_FLOOR_H_

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "floor_time.h"

namespace metashelf::bench {

class SqliteFloor {
 public:
  SqliteFloor() = default;
  ~SqliteFloor();
  SqliteFloor(const SqliteFloor&) = delete;
  SqliteFloor& operator=(const SqliteFloor&) = delete;

  // Copies every file of `from` (the database and its owner files) to `to`.
  static bool Snapshot(const std::filesystem::path& from, const std::filesystem::path& to);

  // Reads the rows `imported` holds beyond those of `before` (the snapshot),
  // table by table; both are the main files of their folders.
  bool Capture(const std::filesystem::path& imported, const std::filesystem::path& before);

  // Writes the captured rows into `before` (a snapshot of its own per run);
  // with `late`, its value indexes are built after the rows.
  bool Run(const std::filesystem::path& before, bool late, FloorTime* time);

  std::int64_t rows() const { return rows_; }
  // Rows of the node value tables (META_ND...), the leaves.
  std::int64_t leafRows() const { return leafRows_; }
  const std::string& error() const { return error_; }

 private:
  struct Table {
    std::string schema;
    std::string name;
    int columns = 0;
    std::vector<sqlite3_value*> values;  // row after row
  };

  bool Fail(const std::string& what);

  std::vector<Table> tables_;
  std::int64_t rows_ = 0;
  std::int64_t leafRows_ = 0;
  std::string error_;
};

// Bytes of every file in `folder`.
std::uint64_t FolderBytes(const std::filesystem::path& folder);

// Opens the main file `main` and attaches its owner files (STEM.OWNER.db)
// under their owner names. Null on failure.
sqlite3* OpenWithOwners(const std::filesystem::path& main, std::vector<std::string>* owners);

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_SQLITE_FLOOR_H_

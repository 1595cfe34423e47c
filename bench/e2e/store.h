// What the end-to-end run needs from a backend beyond the library and the
// tool: where the database is, how many bytes it takes, the floor written
// with the backend's own API, and the search statements run directly.
// SqliteStore and PgStore implement it.
#ifndef METASHELF_BENCH_E2E_STORE_H_
#define METASHELF_BENCH_E2E_STORE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "floor_time.h"

namespace metashelf::bench {

// The floor written twice on the same rows: into tables that have every
// index, and into tables whose value indexes are built after the rows.
struct FloorResult {
  std::string how;  // how the floor writes its rows, for the table
  FloorTime allIndexes;
  FloorTime lateIndexes;
  // The same rows by the backend's bulk path, every index in place, when it
  // has one (COPY on PostgreSQL).
  bool hasBulk = false;
  FloorTime bulk;
  std::int64_t rows = 0;
  std::int64_t leafRows = 0;
};

class Store {
 public:
  virtual ~Store() = default;

  virtual const char* name() const = 0;
  // The database as the tool's --db and CHostDataBase::Open take it.
  virtual std::string Uri() const = 0;
  // Called once the collection exists, before the import.
  virtual bool BeforeImport() = 0;
  // Bytes the database takes now; -1 on failure.
  virtual std::int64_t Bytes() = 0;
  // After the import: the rows it added, written again by the floor.
  virtual bool Floor(FloorResult* result) = 0;
  // Before the warm pass: reads what the database keeps in files through
  // once, so that the OS holds it in its page cache. The bytes read, 0 when
  // the backend has nothing to read here (a server's files are its own),
  // -1 on failure.
  virtual std::int64_t Warm() = 0;
  // Runs `oracleSql` (a statement the library would run) directly with the
  // backend's API: the rows it gives and the seconds taken.
  virtual bool Direct(const std::string& oracleSql, std::int64_t* rows, double* seconds) = 0;

  // Rows of every node value table of the owner; -1 when the backend
  // does not count them.
  virtual std::int64_t LeafRows() { return -1; }

  const std::string& error() const { return error_; }

 protected:
  bool Fail(const std::string& what) {
    error_ = what;
    return false;
  }
  std::string error_;
};

// SQLite files in `work`.
std::unique_ptr<Store> NewSqliteStore(const std::filesystem::path& work);
// A fresh database on the server METASHELF_PG_CONNINFO names, dropped when
// the store goes; null with `*error` when it cannot be created.
std::unique_ptr<Store> NewPgStore(std::string* error);

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_STORE_H_

// The import floor on PostgreSQL: before the import, every table of the
// owner's schema gets a copy of its shape in a scratch schema (the same
// columns, the indexes as the server reports them, renamed into the
// scratch schema only) holding the rows present then; after the import, the
// rows the import added (catalog rows, structure rows with their documents,
// node rows) are read back in binary and written into the copy inside one
// transaction, in one of the ways libpq offers:
//  - pipelined: one reused prepared statement per table, sent in pipeline
//    mode; every row of a record (rows sharing a MetaID) is sent, then one
//    sync, and every result of the record is read before the next record
//    is sent (one round trip per record, each row still checked);
//  - COPY: each table's rows in one binary COPY.
//
// A second copy leaves out the value indexes (those keyed on NODEGUID) and
// creates them once after the rows, so the two ways of building the node
// tables can be compared on the same rows.
#ifndef METASHELF_BENCH_E2E_PG_FLOOR_H_
#define METASHELF_BENCH_E2E_PG_FLOOR_H_

#include <libpq-fe.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "floor_time.h"

namespace metashelf::bench {

class PgFloor {
 public:
  // `conn` stays the caller's and must outlive this object.
  explicit PgFloor(PGconn* conn) : conn_(conn) {}

  // Copies the shape and present rows of every table of `owner` (a schema
  // name as the server spells it) into `scratch`; with `late`, the value
  // indexes are kept aside for after the rows.
  bool Prepare(const std::string& owner, const std::string& scratch, bool late);

  // Reads the rows `owner` holds beyond those copied by the first Prepare.
  // Rows the import updated rather than inserted are not taken.
  bool Capture();

  enum class Mode { kPipelined, kCopy };
  // Writes the captured rows into a prepared scratch schema.
  bool Run(const std::string& scratch, Mode mode, FloorTime* time);

  std::int64_t rows() const { return rows_; }
  std::int64_t leafRows() const { return leafRows_; }
  const std::string& error() const { return error_; }

 private:
  struct Table {
    std::string name;
    std::vector<std::string> key;  // primary key columns, if any
    bool hadRows = false;
  };
  struct Scratch {
    std::string name;
    std::vector<std::string> lateIndexes;  // CREATE INDEX texts
  };
  struct ResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
  };
  using Result = std::unique_ptr<PGresult, ResultFree>;

  bool Fail(const std::string& what);
  Result Query(const std::string& sql, const std::vector<std::string>& params, int format = 0);
  bool Command(const std::string& sql);
  bool Pipelined(const std::vector<std::string>& names);
  bool Copy(const std::string& scratch);
  // Reads results up to and including the next sync; false on any failure.
  bool DrainToSync(const std::string& table);

  PGconn* conn_;
  std::string owner_;
  std::string first_;  // the scratch schema the rows present before are compared with
  std::vector<Table> tables_;
  std::vector<Scratch> scratches_;
  std::vector<std::pair<std::string, Result>> captured_;  // table, rows in binary
  std::int64_t rows_ = 0;
  std::int64_t leafRows_ = 0;
  std::string error_;
};

// Bytes of every table of `owner` with its indexes and out-of-line values;
// -1 on failure.
std::int64_t PgSchemaBytes(PGconn* conn, const std::string& owner);

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_PG_FLOOR_H_

// The node value rows both insert benchmarks write, and the way the record
// write path writes them: one formatted "insert into O.META_NDTEXT_7(...)
// values(...)" text per row through gis_SQLExecDirect in one host
// transaction. The floors (a reused sqlite3 or libpq prepared statement)
// bind the same values.
#ifndef METASHELF_BENCH_DRIVER_NODE_ROWS_H_
#define METASHELF_BENCH_DRIVER_NODE_ROWS_H_

#include <string>

#include "metashelf/host.h"

namespace metashelf::bench {

// Row `i`: fifty nodes per record, three positions, a short text.
struct NodeRow {
  int metaId = 0;
  int nodeGuid = 0;
  int position = 0;
  std::string value;
};
NodeRow MakeNodeRow(int i);

// Creates O.META_NDTEXT_7 on `db` (its owner O) and inserts `rows` rows
// through the driver, one text each, in one transaction; seconds taken with
// the commit, or -1 (the reason on standard error).
double InsertThroughDriver(CHostDataBase& db, int rows);

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_DRIVER_NODE_ROWS_H_

// The shared rows and the driver side of the node value insert benchmarks.
#include "node_rows.h"

#include <chrono>
#include <cstdio>

#include "metashelf/driver.h"

namespace metashelf::bench {

NodeRow MakeNodeRow(int i) {
  NodeRow row;
  row.metaId = i / 50;
  row.nodeGuid = 1000 + i % 50;
  row.position = i % 3;
  row.value = "value of node " + std::to_string(i) + ", with some words";
  return row;
}

double InsertThroughDriver(CHostDataBase& db, int rows) {
  gis_SQLHSTMT stmt = nullptr;
  if (gis_SQLAllocStmt(db.HDBC(), &stmt) != 0) return -1;
  const char* ddl =
      "CREATE TABLE O.META_NDTEXT_7(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,"
      "POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))";
  if (gis_SQLExecDirect(stmt, ddl, GIS_SQL_NTS) != 0) {
    std::fprintf(stderr, "cannot create the table\n");
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return -1;
  }
  gis_SQLFreeStmt(stmt, GIS_SQL_CLOSE);
  char sql[1024];
  const auto start = std::chrono::steady_clock::now();
  bool ok = db.Begin() == 1;
  for (int i = 0; i < rows && ok; ++i) {
    const NodeRow row = MakeNodeRow(i);
    std::snprintf(sql, sizeof sql,
                  "insert into O.META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) "
                  "values(%d, %d, %d,'%s')",
                  row.metaId, row.nodeGuid, row.position, row.value.c_str());
    if (gis_SQLExecDirect(stmt, sql, GIS_SQL_NTS) != 0) {
      std::fprintf(stderr, "insert %d failed\n", i);
      ok = false;
    }
  }
  ok = ok && db.Commit() == 1;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  return ok ? seconds : -1;
}

}  // namespace metashelf::bench

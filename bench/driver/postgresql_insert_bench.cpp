// Inserting node values the way the record write path does, on PostgreSQL:
// texts "insert into O.META_NDTEXT_7(...) values(...)" through
// gis_SQLExecDirect, one text per row, in one host transaction; compared
// with the same rows inserted through one reused libpq prepared statement
// in one transaction, in the same run and on the same server. Prints both
// times and their ratio (lower is better; the floor is 1).
//
//   scripts/with-postgres.sh build/bench/driver/postgresql_insert_bench [rows]
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "metashelf/host.h"
#include "node_rows.h"
#include "support/postgresql_fresh.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Plain(PGconn* conn, const char* sql) {
  PGresult* r = PQexecParams(conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
  if (!ok) std::fprintf(stderr, "%s: %s", sql, PQerrorMessage(conn));
  PQclear(r);
  return ok;
}

double ThroughDriver(const std::string& conninfo, int rows) {
  std::string error;
  auto db = CHostDataBase::Open(conninfo + " owner=O", &error);
  if (!db) {
    std::fprintf(stderr, "open failed: %s\n", error.c_str());
    return -1;
  }
  return metashelf::bench::InsertThroughDriver(*db, rows);
}

double ThroughLibpq(const std::string& conninfo, int rows) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  if (PQstatus(conn) != CONNECTION_OK) {
    PQfinish(conn);
    return -1;
  }
  Plain(conn,
        "CREATE TABLE raw_ndtext(MetaID NUMERIC NOT NULL,NODEGUID NUMERIC NOT NULL,"
        "POSITION NUMERIC NOT NULL,NODEVALUE VARCHAR(4000) COLLATE \"C\")");
  PGresult* p = PQprepare(conn, "ins",
                          "insert into raw_ndtext(MetaID,NODEGUID,POSITION,NODEVALUE) "
                          "values($1,$2,$3,$4)",
                          0, nullptr);
  PQclear(p);
  const auto start = std::chrono::steady_clock::now();
  Plain(conn, "BEGIN");
  for (int i = 0; i < rows; ++i) {
    const metashelf::bench::NodeRow row = metashelf::bench::MakeNodeRow(i);
    const std::string a = std::to_string(row.metaId);
    const std::string b = std::to_string(row.nodeGuid);
    const std::string c = std::to_string(row.position);
    const char* values[4] = {a.c_str(), b.c_str(), c.c_str(), row.value.c_str()};
    PGresult* r = PQexecPrepared(conn, "ins", 4, values, nullptr, nullptr, 0);
    PQclear(r);
  }
  Plain(conn, "COMMIT");
  const double seconds = Seconds(start);
  PQfinish(conn);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  using metashelf::testing::PgAvailability;
  if (metashelf::testing::PostgresAvailability() != PgAvailability::kServer) {
    std::printf("postgresql_insert_bench: no server: %s\n",
                metashelf::testing::PostgresMissingMessage());
    return 0;
  }
  const int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
  metashelf::testing::PgFreshDatabase fresh;
  if (fresh.conninfo().empty()) {
    std::fprintf(stderr, "cannot create a database: %s\n", fresh.error().c_str());
    return 1;
  }
  const double floor = ThroughLibpq(fresh.conninfo(), rows);
  const double driver = ThroughDriver(fresh.conninfo(), rows);
  if (floor <= 0 || driver <= 0) {
    std::fprintf(stderr, "benchmark failed\n");
    return 1;
  }
  std::printf("rows: %d\n", rows);
  std::printf("reused libpq prepared statement: %.3f s (%.2f us/row)\n", floor, floor * 1e6 / rows);
  std::printf("gis_SQLExecDirect texts:         %.3f s (%.2f us/row)\n", driver,
              driver * 1e6 / rows);
  std::printf("ratio: %.2f\n", driver / floor);
  return 0;
}

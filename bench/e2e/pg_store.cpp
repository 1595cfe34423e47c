// The end-to-end run's PostgreSQL side: a fresh database on the server
// METASHELF_PG_CONNINFO names, the catalog under the owner BENCH (schema
// "bench"), two scratch schemas prepared before the import for the floor
// runs, and the search statements run with libpq.
#include <chrono>

#include "dialect/dialect.h"
#include "pg_floor.h"
#include "store.h"
#include "support/postgresql_fresh.h"

namespace metashelf::bench {
namespace {

constexpr const char* kOwner = "bench";

class PgStore : public Store {
 public:
  bool Open(std::string* error) {
    if (fresh_.conninfo().empty()) {
      *error = "cannot create a database: " + fresh_.error();
      return false;
    }
    conn_ = PQconnectdb(fresh_.conninfo().c_str());
    if (PQstatus(conn_) != CONNECTION_OK) {
      *error = PQerrorMessage(conn_);
      return false;
    }
    PQclear(PQexec(conn_, "SET client_min_messages = warning"));
    floor_ = std::make_unique<PgFloor>(conn_);
    return true;
  }
  ~PgStore() override {
    floor_.reset();
    PQfinish(conn_);
  }

  const char* name() const override { return "PostgreSQL"; }
  std::string Uri() const override { return fresh_.conninfo() + " owner=BENCH"; }

  bool BeforeImport() override {
    return floor_->Prepare(kOwner, "floor_all", false) &&
                   floor_->Prepare(kOwner, "floor_late", true) &&
                   floor_->Prepare(kOwner, "floor_copy", false)
               ? true
               : Fail("floor: " + floor_->error());
  }

  std::int64_t Bytes() override { return PgSchemaBytes(conn_, kOwner); }

  std::int64_t LeafRows() override {
    PGresult* tables = PQexec(conn_,
                              "SELECT relname FROM pg_class c JOIN pg_namespace n ON n.oid = "
                              "c.relnamespace WHERE n.nspname = 'bench' AND c.relkind = 'r' AND "
                              "c.relname LIKE 'meta\\_nd%'");
    std::int64_t total = PQresultStatus(tables) == PGRES_TUPLES_OK ? 0 : -1;
    for (int i = 0; total >= 0 && i < PQntuples(tables); ++i) {
      const std::string sql =
          std::string("SELECT count(*) FROM bench.\"") + PQgetvalue(tables, i, 0) + "\"";
      PGresult* n = PQexec(conn_, sql.c_str());
      total = PQresultStatus(n) == PGRES_TUPLES_OK ? total + std::stoll(PQgetvalue(n, 0, 0)) : -1;
      PQclear(n);
    }
    PQclear(tables);
    return total;
  }

  bool Floor(FloorResult* result) override {
    // The late-index run goes first: whatever a first run pays extra
    // counts against it, not for it.
    using Mode = PgFloor::Mode;
    if (!floor_->Capture() || !floor_->Run("floor_late", Mode::kPipelined, &result->lateIndexes) ||
        !floor_->Run("floor_all", Mode::kPipelined, &result->allIndexes) ||
        !floor_->Run("floor_copy", Mode::kCopy, &result->bulk)) {
      return Fail("floor: " + floor_->error());
    }
    result->how = "prepared inserts pipelined, a sync per record";
    result->hasBulk = true;
    result->rows = floor_->rows();
    result->leafRows = floor_->leafRows();
    return true;
  }

  // The server's files are not ours to read: its shared buffers and the OS
  // cache hold what the first pass read, which the warm pass reads again.
  std::int64_t Warm() override { return 0; }

  bool Direct(const std::string& oracleSql, std::int64_t* rows, double* seconds) override {
    driver::dialect::Adapted adapted;
    std::string error;
    if (!driver::dialect::Adapt(oracleSql, driver::dialect::Target::kPostgreSQL, &adapted,
                                &error) ||
        !adapted.params.empty()) {
      return Fail("no direct statement: " + (error.empty() ? "it takes binds" : error));
    }
    const auto start = std::chrono::steady_clock::now();
    PGresult* r =
        PQexecParams(conn_, adapted.text.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
    *rows = ok ? PQntuples(r) : 0;
    PQclear(r);
    return ok ? true : Fail(std::string("direct: ") + PQerrorMessage(conn_));
  }

 private:
  metashelf::testing::PgFreshDatabase fresh_;
  PGconn* conn_ = nullptr;
  std::unique_ptr<PgFloor> floor_;
};

}  // namespace

std::unique_ptr<Store> NewPgStore(std::string* error) {
  using metashelf::testing::PgAvailability;
  if (metashelf::testing::PostgresAvailability() != PgAvailability::kServer) {
    *error = "METASHELF_PG_CONNINFO is not set: run under scripts/with-postgres.sh";
    return nullptr;
  }
  auto store = std::make_unique<PgStore>();
  if (!store->Open(error)) return nullptr;
  return store;
}

}  // namespace metashelf::bench

// A fresh PostgreSQL database per test, on the server that
// PgServerConninfo() names (scripts/with-postgres.sh or the CTest fixture
// starts one), dropped
// when the test ends. Tests run in parallel, so each gets a database of its
// own: nothing one test leaves behind reaches another.
//
// METASHELF_SKIP_POSTGRESQL=1 says that this run has no server: the tests
// skip and say so. With no server at all the tests fail, saying how to get
// one.
#ifndef METASHELF_TESTS_SUPPORT_POSTGRESQL_FRESH_H_
#define METASHELF_TESTS_SUPPORT_POSTGRESQL_FRESH_H_

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>

#include "support/pg_server.h"

namespace metashelf {
namespace testing {

// What the environment says about PostgreSQL in this run.
enum class PgAvailability { kServer, kSkipped, kMissing };

inline PgAvailability PostgresAvailability() {
  const char* skip = std::getenv("METASHELF_SKIP_POSTGRESQL");
  if (skip != nullptr && std::string(skip) == "1") return PgAvailability::kSkipped;
  if (PgServerConninfo() != nullptr) return PgAvailability::kServer;
  return PgAvailability::kMissing;
}

inline const char* PostgresMissingMessage() {
  return "no PostgreSQL server: run the tests through ctest (its fixture starts one) or under "
         "scripts/with-postgres.sh (or set METASHELF_SKIP_POSTGRESQL=1 to skip them)";
}

// Skips the running test visibly when METASHELF_SKIP_POSTGRESQL=1, fails it
// when no server is given; goes on when there is one. For a test body or a
// fixture's SetUp (both return void).
#define METASHELF_REQUIRE_POSTGRESQL()                                           \
  do {                                                                           \
    switch (::metashelf::testing::PostgresAvailability()) {                      \
      case ::metashelf::testing::PgAvailability::kSkipped:                       \
        GTEST_SKIP() << "PostgreSQL tests skipped: METASHELF_SKIP_POSTGRESQL=1"; \
      case ::metashelf::testing::PgAvailability::kMissing:                       \
        FAIL() << ::metashelf::testing::PostgresMissingMessage();                \
      case ::metashelf::testing::PgAvailability::kServer:                        \
        break;                                                                   \
    }                                                                            \
  } while (false)

// `conninfo` (a URI or key=value string) with its database replaced, as a
// key=value string.
inline std::string WithDatabase(const std::string& conninfo, const std::string& dbname) {
  char* err = nullptr;
  PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &err);
  if (options == nullptr) {
    PQfreemem(err);
    return std::string();
  }
  std::string out;
  for (PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
    const bool isDb = std::string(o->keyword) == "dbname";
    if (!isDb && o->val == nullptr) continue;
    std::string value = isDb ? dbname : o->val;
    std::string quoted;
    for (char c : value) {
      if (c == '\'' || c == '\\') quoted += '\\';
      quoted += c;
    }
    out += std::string(out.empty() ? "" : " ") + o->keyword + "='" + quoted + "'";
  }
  PQconninfoFree(options);
  return out;
}

// Runs one statement on the server's maintenance database.
inline bool PgAdmin(const std::string& sql, std::string* error) {
  const char* server = PgServerConninfo();
  if (server == nullptr) {
    if (error != nullptr) *error = PostgresMissingMessage();
    return false;
  }
  PGconn* conn = PQconnectdb(server);
  bool ok = PQstatus(conn) == CONNECTION_OK;
  if (ok) {
    PGresult* r = PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0);
    ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
  }
  if (!ok && error != nullptr) *error = PQerrorMessage(conn);
  PQfinish(conn);
  return ok;
}

class PgFreshDatabase {
 public:
  PgFreshDatabase() {
    static std::atomic<int> counter{0};
    std::random_device random;
    name_ = "ms_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter) + "_" +
            std::to_string(random() % 100000);
    if (!PgAdmin("CREATE DATABASE " + name_ +
                     " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'",
                 &error_)) {
      name_.clear();
      return;
    }
    conninfo_ = WithDatabase(PgServerConninfo(), name_);
  }
  ~PgFreshDatabase() {
    if (!name_.empty()) PgAdmin("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)", nullptr);
  }
  PgFreshDatabase(const PgFreshDatabase&) = delete;
  PgFreshDatabase& operator=(const PgFreshDatabase&) = delete;

  // The conninfo of the fresh database; empty (with error()) when it could
  // not be created.
  const std::string& conninfo() const { return conninfo_; }
  const std::string& error() const { return error_; }

 private:
  std::string name_;
  std::string conninfo_;
  std::string error_;
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_POSTGRESQL_FRESH_H_

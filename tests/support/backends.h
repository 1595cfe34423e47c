// The backend context of the integration tests: a fresh CHostDataBase per
// test on each backend this run can reach, in a temporary folder removed
// afterwards. "sqlite" is always there. "postgresql" gets a fresh database
// per test on the server of PgServerConninfo() (scripts/with-postgres.sh or the
// CTest fixture starts one); with METASHELF_SKIP_POSTGRESQL=1 its tests skip
// visibly, and with no server they fail, saying how to get one.
//
//   class MyTest : public ::testing::TestWithParam<std::string> {};
//   TEST_P(MyTest, Works) {
//     metashelf::testing::FreshDatabase fresh(GetParam());
//     if (!fresh.db) GTEST_SKIP() << fresh.error;
//     fresh.db->db_CreateMtdb("default");
//   }
//   METASHELF_ON_EVERY_BACKEND(MyTest);
#ifndef METASHELF_TESTS_SUPPORT_BACKENDS_H_
#define METASHELF_TESTS_SUPPORT_BACKENDS_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "support/backend_list.h"
#include "support/postgresql_fresh.h"

namespace metashelf {
namespace testing {

// A temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
      auto candidate = base / ("metashelf-test-" + std::to_string(random()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) {
        path_ = candidate;
        return;
      }
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The URI of a fresh, empty database of `backend` for one test. For SQLite a
// file in `dir`; for PostgreSQL the server of METASHELF_PG_CONNINFO with an
// owner of its own per test. Empty when the backend is not reachable.
inline std::string FreshUri(const std::string& backend, const TempDir& dir) {
  if (backend == "sqlite") return "sqlite:" + dir.File("test.db");
  return std::string();
}

// A fresh database object on `backend`; `db` is null (with `error`) when the
// backend cannot be reached, and the test should skip.
struct FreshDatabase {
  explicit FreshDatabase(const std::string& backend) {
    if (backend == "postgresql") {
      OpenPostgres();
      return;
    }
    uri = FreshUri(backend, dir);
    if (uri.empty()) {
      error = "backend " + backend + " is not available in this run";
      return;
    }
    db = CHostDataBase::Open(uri, &error);
  }
  // A database of its own on the server, dropped after the test. A run that
  // should reach a server and cannot fails the test (a fatal failure, so
  // the test body does not run).
  void OpenPostgres() {
    switch (PostgresAvailability()) {
      case PgAvailability::kSkipped:
        error = "PostgreSQL tests skipped: METASHELF_SKIP_POSTGRESQL=1";
        return;
      case PgAvailability::kMissing:
        error = PostgresMissingMessage();
        FAIL() << error;  // fatal: the test body does not run
      case PgAvailability::kServer:
        break;
    }
    pg = std::make_unique<PgFreshDatabase>();
    if (pg->conninfo().empty()) {
      error = "cannot create a PostgreSQL test database: " + pg->error();
      FAIL() << error;
    }
    uri = pg->conninfo();
    db = CHostDataBase::Open(uri, &error);
    if (!db) FAIL() << error;
  }

  TempDir dir;
  std::unique_ptr<PgFreshDatabase> pg;  // outlives db
  std::unique_ptr<CHostDataBase> db;
  std::string uri;  // opens the same database again
  std::string error;
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_BACKENDS_H_

// The backend context of the integration tests: a fresh CHostDataBase per
// test on each backend this run can reach, in a temporary folder removed
// afterwards. "sqlite" is always there; "postgresql" when the environment
// variable METASHELF_PG_CONNINFO names a server.
//
//   class MyTest : public ::testing::TestWithParam<std::string> {};
//   TEST_P(MyTest, Works) {
//     metashelf::testing::FreshDatabase fresh(GetParam());
//     if (!fresh.db) GTEST_SKIP() << fresh.error;
//     fresh.db->db_CreateMtdb("default");
//   }
//   INSTANTIATE_TEST_SUITE_P(Backends, MyTest,
//       ::testing::ValuesIn(metashelf::testing::Backends()));
#ifndef METASHELF_TESTS_SUPPORT_BACKENDS_H_
#define METASHELF_TESTS_SUPPORT_BACKENDS_H_

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "metashelf/host.h"

namespace metashelf {
namespace testing {

// Backends this run tests.
inline std::vector<std::string> Backends() {
  std::vector<std::string> names{"sqlite"};
  const char* pg = std::getenv("METASHELF_PG_CONNINFO");
  if (pg != nullptr && *pg != '\0') names.push_back("postgresql");
  return names;
}

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
    const std::string uri = FreshUri(backend, dir);
    if (uri.empty()) {
      error = "backend " + backend + " is not available in this run";
      return;
    }
    db = CHostDataBase::Open(uri, &error);
  }
  TempDir dir;
  std::unique_ptr<CHostDataBase> db;
  std::string error;
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_BACKENDS_H_

// The end-to-end run's SQLite side: the database and its owner files in one
// folder, snapshots of it taken before the import for the two floor runs,
// and the search statements run with the C API.
#include <chrono>
#include <fstream>
#include <vector>

#include "dialect/dialect.h"
#include "sqlite_floor.h"
#include "store.h"

namespace metashelf::bench {
namespace {

namespace fs = std::filesystem;

class SqliteStore : public Store {
 public:
  explicit SqliteStore(const fs::path& work) : work_(work) {
    fs::create_directories(work_ / "import");
  }
  ~SqliteStore() override {
    if (direct_ != nullptr) sqlite3_close(direct_);
  }

  const char* name() const override { return "SQLite"; }
  std::string Uri() const override { return "sqlite:" + Main("import").string(); }

  bool BeforeImport() override {
    return SqliteFloor::Snapshot(work_ / "import", work_ / "floor") &&
                   SqliteFloor::Snapshot(work_ / "import", work_ / "late")
               ? true
               : Fail("cannot copy the database");
  }

  std::int64_t Bytes() override { return static_cast<std::int64_t>(FolderBytes(work_ / "import")); }

  bool Floor(FloorResult* result) override {
    SqliteFloor floor;
    if (!floor.Capture(Main("import"), Main("floor")))
      return Fail("floor capture: " + floor.error());
    // The late-index run goes first: whatever a first run pays extra
    // counts against it, not for it.
    if (!floor.Run(Main("late"), true, &result->lateIndexes) ||
        !floor.Run(Main("floor"), false, &result->allIndexes)) {
      return Fail("floor: " + floor.error());
    }
    result->how = "a prepared statement per table";
    result->rows = floor.rows();
    result->leafRows = floor.leafRows();
    std::error_code ec;
    fs::remove_all(work_ / "floor", ec);
    fs::remove_all(work_ / "late", ec);
    return true;
  }

  // Every file of the database folder (the main file, the owner files and
  // their write-ahead logs), read through in order.
  std::int64_t Warm() override {
    std::vector<char> buffer(1 << 20);
    std::int64_t bytes = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(work_ / "import", ec)) {
      if (!e.is_regular_file()) continue;
      std::ifstream in(e.path(), std::ios::binary);
      if (!in) {
        Fail("cannot read " + e.path().string());
        return -1;
      }
      while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) ||
             in.gcount() > 0) {
        bytes += in.gcount();
      }
    }
    if (ec) {
      Fail("cannot list the database folder: " + ec.message());
      return -1;
    }
    return bytes;
  }

  bool Direct(const std::string& oracleSql, std::int64_t* rows, double* seconds) override {
    if (direct_ == nullptr) {
      std::vector<std::string> owners;
      direct_ = OpenWithOwners(Main("import"), &owners);
      if (direct_ == nullptr) return Fail("direct open");
      sqlite3_exec(direct_, "PRAGMA case_sensitive_like=ON", nullptr, nullptr, nullptr);
    }
    driver::dialect::Adapted adapted;
    std::string error;
    if (!driver::dialect::Adapt(oracleSql, driver::dialect::Target::kSQLite, &adapted, &error)) {
      return Fail("no statement: " + error);
    }
    const auto start = std::chrono::steady_clock::now();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(direct_, adapted.text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
      return Fail(std::string("direct: ") + sqlite3_errmsg(direct_));
    }
    *rows = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      sqlite3_column_int64(stmt, 0);
      ++*rows;
    }
    sqlite3_finalize(stmt);
    *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
  }

 private:
  fs::path Main(const char* folder) const { return work_ / folder / "bench.db"; }

  fs::path work_;
  sqlite3* direct_ = nullptr;
};

}  // namespace

std::unique_ptr<Store> NewSqliteStore(const fs::path& work) {
  return std::make_unique<SqliteStore>(work);
}

}  // namespace metashelf::bench

// Inserting node values the way the record write path does: 100,000 texts
// "insert into O.META_NDTEXT_7(...) values(...)" through gis_SQLExecDirect,
// one text per row, in one host transaction; compared with the same rows
// inserted through one reused sqlite3 prepared statement in the same run.
// Prints both times and their ratio (lower is better; the floor is 1).
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "metashelf/host.h"
#include "node_rows.h"

namespace {

constexpr int kRows = 100000;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double ThroughDriver(const std::string& folder) {
  std::string error;
  auto db = CHostDataBase::Open("sqlite:" + folder + "/driver.db?owner=O", &error);
  if (!db) {
    std::fprintf(stderr, "open failed: %s\n", error.c_str());
    return -1;
  }
  return metashelf::bench::InsertThroughDriver(*db, kRows);
}

double ThroughSqlite(const std::string& folder) {
  sqlite3* db = nullptr;
  if (sqlite3_open((folder + "/raw.db").c_str(), &db) != SQLITE_OK) return -1;
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_exec(db,
               "CREATE TABLE META_NDTEXT_7(MetaID NUMERIC NOT NULL,NODEGUID NUMERIC NOT NULL,"
               "POSITION NUMERIC NOT NULL,NODEVALUE TEXT)",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(db,
                     "insert into META_NDTEXT_7(MetaID,NODEGUID,POSITION,NODEVALUE) "
                     "values(?1,?2,?3,?4)",
                     -1, &s, nullptr);
  const auto start = std::chrono::steady_clock::now();
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  for (int i = 0; i < kRows; ++i) {
    const metashelf::bench::NodeRow row = metashelf::bench::MakeNodeRow(i);
    sqlite3_bind_int64(s, 1, row.metaId);
    sqlite3_bind_int64(s, 2, row.nodeGuid);
    sqlite3_bind_int64(s, 3, row.position);
    sqlite3_bind_text(s, 4, row.value.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(s);
    sqlite3_reset(s);
  }
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  const double seconds = Seconds(start);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return seconds;
}

}  // namespace

int main() {
  std::random_device random;
  const auto folder =
      std::filesystem::temp_directory_path() / ("metashelf-bench-" + std::to_string(random()));
  std::filesystem::create_directories(folder);
  const double floor = ThroughSqlite(folder.string());
  const double driver = ThroughDriver(folder.string());
  std::filesystem::remove_all(folder);
  if (floor <= 0 || driver <= 0) {
    std::fprintf(stderr, "benchmark failed\n");
    return 1;
  }
  std::printf("rows: %d\n", kRows);
  std::printf("reused sqlite3 statement: %.3f s (%.2f us/row)\n", floor, floor * 1e6 / kRows);
  std::printf("gis_SQLExecDirect texts:  %.3f s (%.2f us/row)\n", driver, driver * 1e6 / kRows);
  std::printf("ratio: %.2f\n", driver / floor);
  return 0;
}

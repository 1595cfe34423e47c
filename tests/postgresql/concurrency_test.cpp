// Several processes sharing one PostgreSQL catalog database at the same
// time: each opens its own host object, provisions the same owner, takes
// ids and inserts rows, some in transactions it rolls back. Ids must be
// distinct across all of them and never reused, and no committed row lost.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>

#include "metashelf/driver.h"
#include "metashelf/host.h"
#include "pg_host_fixture.h"

namespace metashelf {
namespace testing {
namespace {

constexpr int kWorkers = 4;
constexpr int kRowsPerWorker = 150;

using PgConcurrencyTest = PgHostTest;

// One worker process: returns its exit status (0 when every step worked).
int Work(const std::string& conninfo, int worker) {
  std::string error;
  auto db = CHostDataBase::Open(conninfo, &error);
  if (!db) return 10;
  // Every worker provisions the same owner at the same moment.
  if (db->db_CreateMtdb(("catalog " + std::to_string(worker)).c_str()) < 1) return 11;
  // In each run of ten rows: 0-3 in a committed transaction, 4 in a
  // transaction rolled back, 5-9 without a transaction.
  for (int i = 0; i < kRowsPerWorker; ++i) {
    const int phase = i % 10;
    if ((phase == 0 || phase == 4) && db->Begin() != 1) return 12;
    const std::int32_t id = db->db_GetFreeXCLSID();
    if (id < 1) return 13;
    const std::string row = "insert into METASHELF.WORK_ROWS(ID,WORKER,KEPT) values(" +
                            std::to_string(id) + "," + std::to_string(worker) + "," +
                            (phase == 4 ? "0" : "1") + ")";
    if (PgHostTest::Exec(db.get(), row) != 0) return 14;
    if (phase == 3 && db->Commit() != 1) return 15;
    if (phase == 4) {
      if (db->Rollback() != 1) return 16;
      // The id of the rolled-back row stays used up: it is kept apart.
      if (PgHostTest::Exec(db.get(), "insert into METASHELF.WORK_ROLLED(ID) values(" +
                                         std::to_string(id) + ")") != 0) {
        return 17;
      }
    }
  }
  return 0;
}

TEST_F(PgConcurrencyTest, ProcessesGetDistinctIdsAndLoseNoRow) {
  {
    auto db = Open();
    ASSERT_TRUE(db);
    ASSERT_EQ(Exec(db.get(),
                   "CREATE TABLE METASHELF.WORK_ROWS(ID NUMBER NOT NULL PRIMARY KEY,"
                   "WORKER NUMBER, KEPT NUMBER)"),
              0);
    ASSERT_EQ(Exec(db.get(), "CREATE TABLE METASHELF.WORK_ROLLED(ID NUMBER NOT NULL)"), 0);
  }

  std::vector<pid_t> children;
  for (int worker = 1; worker <= kWorkers; ++worker) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(Work(conninfo(), worker));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "worker " << pid;
  }

  auto db = Open();
  ASSERT_TRUE(db);
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(db->HDBC(), &s), 0);
  std::int32_t id = 0;
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLExecDirect(s,
                              "select ID from METASHELF.WORK_ROWS union all "
                              "select ID from METASHELF.WORK_ROLLED",
                              GIS_SQL_NTS),
            0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_INT, &id, 4, &ind), 0);
  std::set<std::int32_t> ids;
  int rows = 0;
  while (gis_SQLFetch(s) == 0) {
    ++rows;
    ids.insert(id);
  }
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  const int rolledPerWorker = kRowsPerWorker / 10;
  // Every id was handed out once: the kept rows and the rolled-back ones
  // together hold each of them exactly once.
  EXPECT_EQ(rows, kWorkers * kRowsPerWorker);
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kWorkers * kRowsPerWorker));
  EXPECT_EQ(db->ListMtdbs().size(), static_cast<std::size_t>(kWorkers));
  // No committed row is lost, and no rolled-back row survives.
  EXPECT_EQ(ids.count(0), 0u);
  ASSERT_EQ(gis_SQLAllocStmt(db->HDBC(), &s), 0);
  std::int32_t kept = 0;
  ASSERT_EQ(
      gis_SQLExecDirect(s, "select count(*) from METASHELF.WORK_ROWS where KEPT=1", GIS_SQL_NTS),
      0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_INT, &kept, 4, &ind), 0);
  ASSERT_EQ(gis_SQLFetch(s), 0);
  EXPECT_EQ(kept, kWorkers * (kRowsPerWorker - rolledPerWorker));
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

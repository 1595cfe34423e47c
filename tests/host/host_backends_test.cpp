// The host database object on every backend: ids never handed out twice,
// transactions that commit, roll back and survive a failed statement, and
// the last statement error that the host's own calls never replace.
#include <gtest/gtest.h>

#include <set>

#include "driver/driver_helpers.h"
#include "support/backends.h"

namespace metashelf {
namespace testing {
namespace {

class HostOnEveryBackend : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fresh_ = std::make_unique<FreshDatabase>(GetParam());
    if (!fresh_->db) GTEST_SKIP() << fresh_->error;
    db_ = fresh_->db.get();
  }
  std::int32_t Count(const std::string& sql) {
    const auto rows = Rows(db_->HDBC(), sql, 1);
    return rows.size() == 1 ? std::stoi(rows[0][0]) : -1;
  }

  std::unique_ptr<FreshDatabase> fresh_;
  CHostDataBase* db_ = nullptr;
};

TEST_P(HostOnEveryBackend, IdsAreNeverHandedOutTwice) {
  // Ids drawn in a transaction that rolled back, then the database closed
  // right after a rollback, and opened again: fifteen draws, fifteen ids.
  std::set<std::int32_t> ids;
  ASSERT_EQ(db_->Begin(), 1);
  for (int i = 0; i < 5; ++i) ids.insert(db_->db_GetFreeXCLSID());
  ASSERT_EQ(db_->Rollback(), 1);
  for (int i = 0; i < 3; ++i) ids.insert(db_->db_GetFreeXCLSID());
  ASSERT_EQ(db_->Begin(), 1);
  for (int i = 0; i < 2; ++i) ids.insert(db_->db_GetFreeXCLSID());
  ASSERT_EQ(db_->Rollback(), 1);
  fresh_->db.reset();
  std::string error;
  auto again = CHostDataBase::Open(fresh_->uri, &error);
  ASSERT_TRUE(again) << error;
  for (int i = 0; i < 5; ++i) ids.insert(again->db_GetFreeXCLSID());
  EXPECT_EQ(ids.size(), 15u);
  EXPECT_EQ(ids.count(0), 0u);
}

TEST_P(HostOnEveryBackend, TransactionsCommitRollBackAndOutliveAFailedStatement) {
  ASSERT_EQ(RunSql(db_->HDBC(), "CREATE TABLE METASHELF.T(A NUMBER PRIMARY KEY)"), 0);
  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_EQ(RunSql(db_->HDBC(), "insert into METASHELF.T values(1)"), 0);
  ASSERT_EQ(db_->Commit(), 1);
  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_EQ(RunSql(db_->HDBC(), "insert into METASHELF.T values(2)"), 0);
  ASSERT_EQ(db_->Rollback(), 1);
  EXPECT_EQ(Count("select count(*) from METASHELF.T"), 1);
  // A statement that fails inside a transaction undoes only itself, as on
  // Oracle: the transaction goes on and commits the rest.
  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_EQ(RunSql(db_->HDBC(), "insert into METASHELF.T values(3)"), 0);
  ASSERT_NE(RunSql(db_->HDBC(), "insert into METASHELF.T values(1)"), 0);
  ASSERT_EQ(RunSql(db_->HDBC(), "insert into METASHELF.T values(4)"), 0);
  EXPECT_EQ(db_->Commit(), 1) << db_->LastError();
  EXPECT_EQ(Count("select count(*) from METASHELF.T"), 3);
  // Catalog creation inside the host's transaction goes with it.
  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_GT(db_->db_CreateMtdb("inside"), 0) << db_->LastError();
  ASSERT_EQ(db_->Rollback(), 1);
  EXPECT_EQ(db_->FindMtdb("inside"), 0);
}

// A failed statement's reason is the database's, kept after the statement
// is gone; the host's own commit or rollback never replaces it, and the
// statements after it in the same transaction run.
TEST_P(HostOnEveryBackend, LastStatementErrorIsTheDatabasesReasonNotTheHostsAftermath) {
  ASSERT_EQ(RunSql(db_->HDBC(), "CREATE TABLE METASHELF.C(A NUMBER CHECK (A < 10))"), 0);
  EXPECT_EQ(db_->LastStatementError().number, 0u);
  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_NE(RunSql(db_->HDBC(), "insert into METASHELF.C values(50)"), 0);
  EXPECT_EQ(db_->Commit(), 1);
  CHostDataBase::StatementError e = db_->LastStatementError();
  EXPECT_EQ(e.number, 1u);
  EXPECT_EQ(e.state, "23000");
  EXPECT_FALSE(e.message.empty());
  const std::int32_t native = e.native;
  if (GetParam() == "postgresql") {
    EXPECT_EQ(native, 2290);  // a check constraint, as Oracle numbers it
    EXPECT_NE(e.message.find("violates check constraint"), std::string::npos) << e.message;
  }

  ASSERT_EQ(db_->Begin(), 1);
  ASSERT_NE(RunSql(db_->HDBC(), "insert into METASHELF.C values(60)"), 0);
  ASSERT_EQ(RunSql(db_->HDBC(), "insert into METASHELF.C values(1)"), 0);
  ASSERT_EQ(db_->Rollback(), 1);
  e = db_->LastStatementError();
  EXPECT_EQ(e.number, 2u);
  EXPECT_EQ(e.native, native);
  EXPECT_EQ(Count("select count(*) from METASHELF.C"), 0);
}

METASHELF_ON_EVERY_BACKEND(HostOnEveryBackend);

}  // namespace
}  // namespace testing
}  // namespace metashelf

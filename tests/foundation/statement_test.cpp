// The statement helper frees on every path and drains exactly once.
#include "db/statement.h"

#include <gtest/gtest.h>

#include "backends/scripted/scripted.h"

using metashelf::driver::Call;
using metashelf::driver::scripted::ScriptedDriver;

TEST(StatementHelperTest, FreesOnScopeExitAndDrainsOnce) {
  ScriptedDriver driver;
  {
    metashelf::db::Statement stmt(driver.hdbc());
    ASSERT_TRUE(stmt.ok());
    stmt.DrainError();
  }
  EXPECT_EQ(driver.Trace(), (std::vector<std::string>{"AllocStmt", "Error -> 100", "FreeStmt 1"}));
  EXPECT_EQ(driver.faults().Count(Call::kError), 0);  // gis_SQLError is not counted by the injector
}

TEST(StatementHelperTest, FailedAllocationLeavesNothingToFree) {
  ScriptedDriver driver;
  driver.faults().FailNth(Call::kAllocStmt, 1);
  metashelf::db::Statement stmt(driver.hdbc());
  EXPECT_FALSE(stmt.ok());
  metashelf::db::Statement closed(nullptr);
  EXPECT_FALSE(closed.ok());
}

TEST(StatementHelperTest, SuccessMeansZeroOrOne) {
  EXPECT_TRUE(metashelf::db::Succeeded(0));
  EXPECT_TRUE(metashelf::db::Succeeded(1));
  EXPECT_FALSE(metashelf::db::Succeeded(100));
  EXPECT_FALSE(metashelf::db::Succeeded(-1));
}

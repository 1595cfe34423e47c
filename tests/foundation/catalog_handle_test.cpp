// Opening, closing and creating catalogs on a host database object.
#include <gtest/gtest.h>

#include <cstring>

#include "backends/scripted/scripted.h"
#include "metashelf/metashelf.h"
#include "support/fake_database.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

namespace {

class CatalogHandleTest : public ::testing::Test {
 protected:
  ScriptedDriver driver;
  FakeDatabase database{driver.hdbc()};
  COraMetaDataBase catalog;
};

TEST_F(CatalogHandleTest, OpenTakesOwnerAndHandle) {
  database.AddCatalog(7, "GEO");
  EXPECT_EQ(catalog.mtdb_HasOpened(), 0);
  ASSERT_EQ(catalog.mtdb_Open(&database, 7, 12345), 1);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 1);

  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[32];
  std::memset(owner, 'x', sizeof owner);
  catalog.GetOraBaseInfo(hdbc, owner);
  EXPECT_EQ(hdbc, driver.hdbc());
  EXPECT_STREQ(owner, "GEO");
  EXPECT_TRUE(driver.Calls().empty());  // opening issues no statement
}

TEST_F(CatalogHandleTest, UnknownCatalogGivesMinusOneAndStaysClosed) {
  EXPECT_EQ(catalog.mtdb_Open(&database, 99, 0), -1);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 0);
  EXPECT_EQ(catalog.mtdb_Open(nullptr, 99, 0), -1);
}

TEST_F(CatalogHandleTest, NoConnectionHandleGivesZero) {
  database.AddCatalog(7, "GEO");
  database.SetHandle(nullptr);
  EXPECT_EQ(catalog.mtdb_Open(&database, 7, 0), 0);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 0);
}

TEST_F(CatalogHandleTest, OwnerOfThirtyOneCharactersFitsAndThirtyTwoIsRefused) {
  const std::string fits(31, 'A');
  database.AddCatalog(1, fits);
  ASSERT_EQ(catalog.mtdb_Open(&database, 1, 0), 1);
  char owner[32];
  gis_SQLHDBC_STRU* hdbc = nullptr;
  catalog.GetOraBaseInfo(hdbc, owner);
  EXPECT_EQ(std::string(owner), fits);

  COraMetaDataBase other;
  database.AddCatalog(2, std::string(32, 'B'));
  EXPECT_EQ(other.mtdb_Open(&database, 2, 0), 0);
  EXPECT_EQ(other.mtdb_HasOpened(), 0);
  database.AddCatalog(3, std::string(40, 'C'));  // no NUL within the record
  EXPECT_EQ(other.mtdb_Open(&database, 3, 0), 0);
}

TEST_F(CatalogHandleTest, CloseForgetsEverythingAndReopenWorks) {
  EXPECT_EQ(catalog.mtdb_Close(), 1);  // never opened
  database.AddCatalog(7, "GEO");
  ASSERT_EQ(catalog.mtdb_Open(&database, 7, 0), 1);
  EXPECT_EQ(catalog.mtdb_Close(), 1);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 0);
  gis_SQLHDBC_STRU* hdbc = driver.hdbc();
  char owner[32] = "junk";
  catalog.GetOraBaseInfo(hdbc, owner);
  EXPECT_EQ(hdbc, nullptr);
  EXPECT_STREQ(owner, "");
  EXPECT_EQ(catalog.mtdb_Open(&database, 7, 0), 1);
}

TEST_F(CatalogHandleTest, ClosedCatalogCannotAllocateStatements) {
  OCIDate date{};
  EXPECT_EQ(catalog.GetSysDateTime(date, 1), 0);
  EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(CatalogHandleTest, CreateHandsBackTheDatabaseResult) {
  database.SetCreateResult(-7);
  EXPECT_EQ(catalog.mtdb_Create(&database, "maps"), -7);
  EXPECT_EQ(database.created_name, "maps");
  database.SetCreateResult(42);
  EXPECT_EQ(catalog.mtdb_Create(&database, "more"), 42);
  EXPECT_EQ(catalog.mtdb_HasOpened(), 0);
}

TEST_F(CatalogHandleTest, SysDateTimeReadsThroughTheCollectionRow) {
  database.AddCatalog(7, "GEO");
  ASSERT_EQ(catalog.mtdb_Open(&database, 7, 0), 1);
  driver.OnExecute("SYSDATE").Rows({{Value::Date(2009, 7, 15, 13, 45, 30)}});
  OCIDate date{};
  ASSERT_EQ(catalog.GetSysDateTime(date, 17), 1);
  EXPECT_EQ(date.year, 2009);
  EXPECT_EQ(date.second, 30);
  EXPECT_EQ(driver.Texts().at(0), "SELECT SYSDATE FROM GEO.KRDB_META_SET WHERE COL_ID=17");

  driver.ClearCalls();  // no row: the collection is unknown
  EXPECT_EQ(catalog.GetSysDateTime(date, 18), 0);
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
}

}  // namespace

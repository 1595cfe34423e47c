// A catalog handle opened on a real SQLite database object: the owner comes
// from the lookup record, statements run on the object's connection, and
// FindMtdbByMds finds a collection through db_GetOwner().
#include <gtest/gtest.h>

#include <cstring>

#include "driver/driver_helpers.h"
#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/ora_metadatabase.h"
#include "support/backends.h"

namespace metashelf {
namespace testing {
namespace {

TEST(CatalogOnRealDatabase, OpensReadsDatesAndFindsCollections) {
  TempDir dir;
  std::string error;
  auto db = CHostDataBase::Open("sqlite:" + dir.File("c.db"), &error);
  ASSERT_TRUE(db) << error;
  const std::int32_t id = db->db_CreateMtdb("main");
  ASSERT_GT(id, 0);
  COraMetaDataBase catalog;
  EXPECT_EQ(catalog.mtdb_Open(db.get(), id + 100, 0), -1);
  ASSERT_EQ(catalog.mtdb_Open(db.get(), id, 0), 1);
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[32] = {0};
  catalog.GetOraBaseInfo(hdbc, owner);
  EXPECT_EQ(hdbc, db->HDBC());
  EXPECT_STREQ(owner, "METASHELF");

  ASSERT_EQ(
      RunSql(hdbc,
             "INSERT INTO METASHELF.KRDB_META_SCHEMA(SCHEMA_ID,MTDB_ID,SCHEMA_NAME,SCHEMADOC) "
             "VALUES(3," +
                 std::to_string(id) + ",'s',X'0102030405')"),
      0);
  ASSERT_EQ(RunSql(hdbc, "INSERT INTO METASHELF.KRDB_META_SET(COL_ID,SCHEMA_ID) VALUES(8,3)"), 0);
  EXPECT_EQ(Rows(hdbc,
                 "SELECT DBMS_LOB.GETLENGTH(SCHEMADOC), DBMS_LOB.GETLENGTH(NODEINFO) FROM "
                 "METASHELF.KRDB_META_SCHEMA WHERE SCHEMA_ID=3",
                 2),
            (std::vector<std::vector<std::string>>{{"5", "NULL"}}));
  OCIDate date{};
  EXPECT_EQ(catalog.GetSysDateTime(date, 8), 1);
  EXPECT_GE(date.year, 2024);
  EXPECT_EQ(catalog.GetSysDateTime(date, 9), 0);  // no such collection
  EXPECT_EQ(FindMtdbByMds(db.get(), 8), id);
  EXPECT_EQ(FindMtdbByMds(db.get(), 9), 0);
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

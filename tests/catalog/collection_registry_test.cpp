// Collection registry statements on the scripted driver, and FindMtdbByMds.
#include <cstring>

#include "scripted_catalog.h"

namespace {

using CollectionRegistryTest = ScriptedCatalogTest;

TEST_F(CollectionRegistryTest, AddTestsTheNameThenRegistersWithAFreshId) {
  database.SetNextId(40);
  driver.OnExecute("COUNT(COL_NAME)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.mds_Add(3, "roads", nullptr), 40);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare SELECT COUNT(COL_NAME) FROM GEO.KRDB_META_SET WHERE COL_NAME='roads'",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1", "AllocStmt",
                   "Prepare BEGIN GEO.KRPG_MD.collection_Add(:1,:2,:3,:4);END; ",
                   "BindParameter 1 type 3/3 len 4", "BindParameter 2 type 5/5 len 6",
                   "BindParameter 3 type 3/3 len 4", "BindParameter 4 type 5/5 len 1", "Execute",
                   "FreeStmt 1"}));
  const auto params = driver.ExecutedParams(1);
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[0].integer, 40);
  EXPECT_EQ(params[1].bytes, "roads");
  EXPECT_EQ(params[2].integer, 3);
  EXPECT_EQ(params[3].bytes, "");  // a null remark is bound empty
}

TEST_F(CollectionRegistryTest, AddRefusesATakenNameWithoutSpendingAnId) {
  database.SetNextId(40);
  driver.OnExecute("COUNT(COL_NAME)").Rows({{Value::Int(1)}});
  EXPECT_EQ(catalog.mds_Add(3, "roads", "r"), 0);
  EXPECT_EQ(driver.Texts().size(), 1u);
  EXPECT_EQ(database.db_GetFreeXCLSID(), 40);

  // A failed call spends its id all the same.
  driver.OnExecute("collection_Add").Status(-1);
  EXPECT_EQ(catalog.mds_Add(3, "roads", "r"), 0);
  EXPECT_EQ(database.db_GetFreeXCLSID(), 42);
  EXPECT_EQ(closed.mds_Add(3, "roads", "r"), 0);
}

TEST_F(CollectionRegistryTest, DelHandsBackTheDriverStatus) {
  EXPECT_EQ(catalog.mds_Del(40), 0);  // 0 is success here
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.collection_Del(:1);END; ",
                   "BindParameter 1 type 3/3 len 4", "Execute", "FreeStmt 1"}));
  driver.OnExecute("collection_Del").Status(1);
  EXPECT_EQ(catalog.mds_Del(40), 1);
  driver.OnExecute("collection_Del").Status(-7);
  EXPECT_EQ(catalog.mds_Del(40), -1);
  driver.faults().FailNth(Call::kPrepare, 1);
  EXPECT_EQ(catalog.mds_Del(40), -1);
  EXPECT_EQ(closed.mds_Del(40), -1);  // never reported as a success
}

TEST_F(CollectionRegistryTest, CountsPerSchemaAndOverTheCatalog) {
  std::int32_t count = -9;
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(4)}});
  EXPECT_EQ(catalog.mds_GetNum(&count, 3), 1);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(driver.Texts(),
            (Lines{"SELECT COUNT(COL_ID) FROM GEO.KRDB_META_SET WHERE SCHEMA_ID=3"}));

  driver.ClearCalls();
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}, {Value::Int(5)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(4)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(6)}});
  EXPECT_EQ(catalog.mds_GetNum(&count), 1);
  EXPECT_EQ(count, 10);
  const Lines texts = driver.Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[2], "SELECT COUNT(COL_ID) FROM GEO.KRDB_META_SET WHERE SCHEMA_ID=3");
  EXPECT_EQ(texts[3], "SELECT COUNT(COL_ID) FROM GEO.KRDB_META_SET WHERE SCHEMA_ID=5");
}

TEST_F(CollectionRegistryTest, CatalogCountStopsAtAFailureAndIsZeroWithoutSchemas) {
  std::int32_t count = -9;
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.mds_GetNum(&count), 0);
  EXPECT_EQ(count, 0);

  driver.OnExecute("COUNT(*)").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}, {Value::Int(5)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(4)}});
  driver.OnExecute("COUNT(COL_ID)").Status(-1);
  EXPECT_EQ(catalog.mds_GetNum(&count), 0);
  EXPECT_EQ(count, 4);  // the partial sum
  EXPECT_EQ(closed.mds_GetNum(&count), 0);
}

TEST_F(CollectionRegistryTest, IdListPerSchemaAppendsInDatabaseOrder) {
  CSmartArray<std::int32_t> ids;
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(2)}}).Times(2);
  driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(41)}, {Value::Int(40)}}).Times(2);
  EXPECT_EQ(catalog.mds_GetIDList(ids, 3), 1);
  EXPECT_EQ(catalog.mds_GetIDList(ids, 3), 1);  // appended twice
  ASSERT_EQ(ids.GetSize(), 4);
  EXPECT_EQ(ids[0], 41);
  EXPECT_EQ(ids[3], 40);
  const Lines trace = driver.Trace();
  EXPECT_EQ(
      Lines(trace.begin() + 6, trace.begin() + 14),
      (Lines{"AllocStmt", "Prepare SELECT COL_ID FROM GEO.KRDB_META_SET WHERE SCHEMA_ID=3",
             "Execute", "BindCol 1 type 3 len 4", "Fetch", "Fetch", "Fetch -> 100", "FreeStmt 1"}));

  driver.ClearCalls();
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.mds_GetIDList(ids, 9), 1);  // no collections: 1, nothing added
  EXPECT_EQ(ids.GetSize(), 4);
  driver.OnExecute("COUNT(COL_ID)").Status(-1);
  EXPECT_EQ(catalog.mds_GetIDList(ids, 9), 0);
}

TEST_F(CollectionRegistryTest, IdListOverTheCatalogGoesSchemaBySchema) {
  CSmartArray<std::int32_t> ids;
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.mds_GetIDList(ids), 0);  // no schema
  EXPECT_EQ(ids.GetSize(), 0);

  driver.OnExecute("COUNT(*)").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}, {Value::Int(5)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(1)}}).Times(2);
  driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(40)}});
  driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(50)}});
  EXPECT_EQ(catalog.mds_GetIDList(ids), 1);
  ASSERT_EQ(ids.GetSize(), 2);
  EXPECT_EQ(ids[0], 40);
  EXPECT_EQ(ids[1], 50);
}

TEST_F(CollectionRegistryTest, GetIdAndNameSayWhetherARowWasFound) {
  char name[] = "it's";
  std::int32_t id = -1;
  driver.OnExecute("SELECT COL_ID").Rows({{Value::Int(40)}});
  EXPECT_EQ(catalog.mds_GetID(name, &id), 1);
  EXPECT_EQ(id, 40);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"AllocStmt", "Prepare SELECT COL_ID FROM GEO.KRDB_META_SET WHERE COL_NAME='it''s'",
             "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));
  id = -1;
  EXPECT_EQ(catalog.mds_GetID(name, &id), 0);
  EXPECT_EQ(id, -1);

  driver.ClearCalls();
  char buffer[16];
  std::strcpy(buffer, "keep");
  EXPECT_EQ(catalog.mds_GetName(40, buffer, sizeof buffer), 0);  // no row
  EXPECT_STREQ(buffer, "keep");
  driver.OnExecute("SELECT COL_NAME").Rows({{Value::Text("roads")}});
  EXPECT_EQ(catalog.mds_GetName(40, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "roads");
  EXPECT_EQ(driver.Trace().at(1), "Prepare SELECT COL_NAME FROM GEO.KRDB_META_SET WHERE COL_ID=40");
  EXPECT_EQ(driver.Trace().at(2), "BindCol 1 type 5 len 16");
  EXPECT_EQ(closed.mds_GetName(40, buffer, sizeof buffer), 0);
}

TEST_F(CollectionRegistryTest, GetInfoKeepsTheDriverDateForm) {
  driver.OnExecute("SELECT COL_NAME,SCHEMA_ID")
      .Rows({{Value::Text("roads"), Value::Int(3), Value::Text("main roads"), Value::Text("GEO"),
              Value::Date(2009, 7, 15, 13, 45, 30), Value::Null()}});
  X_CLS_MDS info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(catalog.mds_GetInfo(40, &info), 1);
  EXPECT_EQ(info.colID, 40);
  EXPECT_EQ(info.schemaID, 3);
  EXPECT_STREQ(info.colName, "roads");
  EXPECT_STREQ(info.remark, "main roads");
  EXPECT_STREQ(info.owner, "GEO");
  OCIDate created;
  std::memcpy(&created, info.crtTime, sizeof created);
  EXPECT_EQ(created.year, 2009);
  EXPECT_EQ(created.day, 15);
  EXPECT_EQ(info.modTime[0], 0);  // NULL: left cleared
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare SELECT COL_NAME,SCHEMA_ID,REMARK,OWNER,CRTTIME,MODTIME FROM "
                   "GEO.KRDB_META_SET WHERE COL_ID=40",
                   "BindCol 1 type 5 len 128", "BindCol 2 type 3 len 4", "BindCol 3 type 5 len 512",
                   "BindCol 4 type 5 len 30", "BindCol 5 type 156 len 10",
                   "BindCol 6 type 156 len 10", "Execute", "Fetch", "FreeStmt 1"}));

  EXPECT_EQ(catalog.mds_GetInfo(41, &info), 0);  // unknown
  EXPECT_EQ(info.colID, 0);
}

TEST_F(CollectionRegistryTest, UpdatesStampTheTimeOnlyAfterASuccess) {
  char name[] = "streets";
  EXPECT_EQ(catalog.mds_UpdateName(40, name), 1);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.collection_updateName(:1,:2); END; ",
             "BindParameter 1 type 3/3 len 4", "BindParameter 2 type 5/5 len 8", "Execute",
             "FreeStmt 1", "AllocStmt", "Prepare BEGIN GEO.KRPG_MD.collection_UpdateTime(:1);END; ",
             "BindParameter 1 type 3/3 len 4", "Execute", "FreeStmt 1"}));

  driver.ClearCalls();
  driver.OnExecute("collection_updateRemark").Status(-1);
  EXPECT_EQ(catalog.mds_UpdateRemark(40, name), 0);
  EXPECT_EQ(driver.Texts(), (Lines{"BEGIN GEO.KRPG_MD.collection_updateRemark(:1,:2); END; "}));
  EXPECT_EQ(catalog.mds_UpdateRemark(40, nullptr), 0);
  EXPECT_EQ(closed.mds_UpdateName(40, name), 0);
}

TEST_F(CollectionRegistryTest, IsExistIsZeroWhenTheStatementFails) {
  driver.OnExecute("COUNT(COL_NAME)").Status(-1);
  EXPECT_EQ(catalog.mds_IsExist("roads"), 0);
  EXPECT_EQ(closed.mds_IsExist("roads"), 0);
  EXPECT_EQ(catalog.mds_IsExist(nullptr), 0);
}

TEST(FindMtdbByMdsTest, AsksTheDatabaseObjectsOwnConnection) {
  ScriptedDriver driver;
  FakeDatabase database(driver.hdbc());
  database.SetOwner("GEO");
  driver.OnExecute("select mtdb_id").Rows({{Value::Int(7)}});
  EXPECT_EQ(FindMtdbByMds(&database, 40), 7);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare select mtdb_id from GEO.krdb_meta_schema a,GEO.krdb_meta_set b where "
                   "a.schema_id=b.schema_id and col_id=40",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));
  EXPECT_EQ(FindMtdbByMds(&database, 41), 0);  // unknown collection
  EXPECT_EQ(FindMtdbByMds(nullptr, 40), 0);
}

TEST(FindMtdbByMdsTest, OwnerIsUsedWholeOrNotAtAll) {
  ScriptedDriver driver;
  FakeDatabase database(driver.hdbc());
  database.SetOwner(std::string(31, 'A'));
  driver.OnExecute("select mtdb_id").Rows({{Value::Int(7)}});
  EXPECT_EQ(FindMtdbByMds(&database, 40), 7);
  EXPECT_NE(driver.Texts().at(0).find(std::string(31, 'A') + ".krdb_meta_schema"),
            std::string::npos);
  driver.ClearCalls();
  database.SetOwner(std::string(32, 'A'));
  EXPECT_EQ(FindMtdbByMds(&database, 40), 0);
  EXPECT_TRUE(driver.Calls().empty());
  database.SetHandle(nullptr);
  database.SetOwner("GEO");
  EXPECT_EQ(FindMtdbByMds(&database, 40), 0);
}

TEST(FindMtdbByMdsTest, AnyStatusButZeroEndsTheChain) {
  ScriptedDriver driver;
  FakeDatabase database(driver.hdbc());
  driver.OnExecute("select mtdb_id").Status(1).Rows({{Value::Int(7)}});
  EXPECT_EQ(FindMtdbByMds(&database, 40), 0);
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
  EXPECT_EQ(driver.Trace().size(), 5u);  // no fetch after the 1
}

}  // namespace

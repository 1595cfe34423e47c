// Record registry statements on the scripted driver: ids as decimal text,
// the packed dates of X_CLS_METAINFO, lists in id order.
#include <cstring>

#include "scripted_catalog.h"

namespace {

using RecordRegistryTest = ScriptedCatalogTest;

TEST_F(RecordRegistryTest, AddBindsTheIdAsTextAndAZero) {
  database.SetNextId(12345);
  EXPECT_EQ(catalog.meta_Add(40, nullptr), 12345);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.metaInfo_Add(:1,:2,:3,:4);END; ",
                   "BindParameter 1 type 5/5 len 6", "BindParameter 2 type 3/3 len 4",
                   "BindParameter 3 type 3/3 len 4", "BindParameter 4 type 5/5 len 1", "Execute",
                   "FreeStmt 1"}));
  const auto params = driver.ExecutedParams(0);
  ASSERT_EQ(params.size(), 4u);
  EXPECT_EQ(params[0].bytes, "12345");
  EXPECT_EQ(params[1].integer, 40);
  EXPECT_EQ(params[2].integer, 0);
  EXPECT_EQ(params[3].bytes, "");
}

TEST_F(RecordRegistryTest, AddSpendsAnIdEvenWhenItFails) {
  database.SetNextId(-2);  // ids are widened with their sign
  driver.OnExecute("metaInfo_Add").Status(-1);
  EXPECT_EQ(catalog.meta_Add(40, "r"), 0);
  EXPECT_EQ(catalog.meta_Add(40, "r"), -1);
  EXPECT_EQ(driver.ExecutedParams(1).at(0).bytes, "-1");
  database.SetNextId(0);  // the id source has none left
  EXPECT_EQ(catalog.meta_Add(40, "r"), 0);
  EXPECT_EQ(driver.Texts().size(), 2u);
  database.SetNextId(50);
  driver.faults().FailNth(Call::kBindParameter, 2);
  driver.ClearCalls();
  EXPECT_EQ(catalog.meta_Add(40, "r"), 0);  // a failed bind ends it, nothing runs
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.metaInfo_Add(:1,:2,:3,:4);END; ",
                   "BindParameter 1 type 5/5 len 3", "BindParameter 0 type 0/0 len 0 -> -1",
                   "Error HYT99", "FreeStmt 1"}));
  EXPECT_EQ(closed.meta_Add(40, "r"), 0);
}

TEST_F(RecordRegistryTest, DelRunsTheProcedureOnceAndReportsItsOutcome) {
  EXPECT_EQ(catalog.meta_Del(9876543210LL), 1);
  EXPECT_EQ(driver.Trace(), (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.metaInfo_Del(:1);END; ",
                                   "BindParameter 1 type 5/5 len 11", "Execute", "FreeStmt 1"}));
  EXPECT_EQ(driver.ExecutedParams(0).at(0).bytes, "9876543210");
  driver.OnExecute("metaInfo_Del").Status(-1);
  EXPECT_EQ(catalog.meta_Del(1), 0);
  driver.faults().FailNth(Call::kPrepare, 1, 1);
  EXPECT_EQ(catalog.meta_Del(1), 0);
  EXPECT_EQ(closed.meta_Del(1), 0);
}

TEST_F(RecordRegistryTest, IdTextHoldsTheWidestIds) {
  EXPECT_EQ(catalog.meta_UpdateTime(INT64_MIN), 1);
  EXPECT_EQ(driver.ExecutedParams(0).at(0).bytes, "-9223372036854775808");
  EXPECT_EQ(driver.Trace().at(2), "BindParameter 1 type 5/5 len 21");
}

TEST_F(RecordRegistryTest, GetNumNeedsAnOpenCatalog) {
  std::int32_t count = 77;
  EXPECT_EQ(closed.meta_GetNum(40, &count), 0);
  EXPECT_EQ(count, 77);
  EXPECT_EQ(catalog.meta_GetNum(40, nullptr), 0);
  driver.OnExecute("COUNT(*)").Status(-1);
  EXPECT_EQ(catalog.meta_GetNum(40, &count), 0);
  EXPECT_EQ(count, 0);
  driver.ClearCalls();
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(3)}});
  EXPECT_EQ(catalog.meta_GetNum(40, &count), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare SELECT COUNT(*) FROM GEO.KRDB_META_INFO WHERE COL_ID=40",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));
}

// The catalog holds one schema with one collection.
void ScriptOneCollection(ScriptedDriver& driver) {
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(1)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(1)}});
}

TEST_F(RecordRegistryTest, IdListAppendsInIdOrderWhenTheCatalogHasCollections) {
  CSmartArray<std::int64_t> ids;
  ids.Add(5);
  ScriptOneCollection(driver);
  driver.OnExecute("SELECT META_ID").Rows({{Value::Int(11)}, {Value::Int(12)}});
  EXPECT_EQ(catalog.meta_GetIDList(40, ids), 1);
  ASSERT_EQ(ids.GetSize(), 3);
  EXPECT_EQ(ids[1], 11);
  EXPECT_EQ(ids[2], 12);
  const Lines trace = driver.Trace();
  ASSERT_GE(trace.size(), 8u);
  EXPECT_EQ(
      Lines(trace.end() - 8, trace.end()),
      (Lines{"AllocStmt",
             "Prepare SELECT META_ID FROM GEO.KRDB_META_INFO WHERE COL_ID=40 ORDER BY META_ID",
             "Execute", "BindCol 1 type 3 len 4", "Fetch", "Fetch", "Fetch -> 100", "FreeStmt 1"}));

  // A collection without records: 1 and nothing appended.
  ScriptOneCollection(driver);
  EXPECT_EQ(catalog.meta_GetIDList(41, ids), 1);
  EXPECT_EQ(ids.GetSize(), 3);
}

TEST_F(RecordRegistryTest, IdListNeedsCollectionsAndReportsABrokenRead) {
  CSmartArray<std::int64_t> ids;
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.meta_GetIDList(40, ids), 0);
  EXPECT_EQ(closed.meta_GetIDList(40, ids), 0);

  ScriptOneCollection(driver);
  driver.OnExecute("SELECT META_ID").Rows({{Value::Int(11)}, {Value::Text("x")}});
  EXPECT_EQ(catalog.meta_GetIDList(40, ids), 0);
  ASSERT_EQ(ids.GetSize(), 1);  // what came before the failure stays
  EXPECT_EQ(ids[0], 11);
}

TEST_F(RecordRegistryTest, GetInfoPacksTheDates) {
  driver.OnExecute("SELECT COL_ID,REMARK")
      .Rows({{Value::Int(40), Value::Text("note"), Value::Text("GEO"),
              Value::Date(2009, 7, 15, 13, 45, 30), Value::Date(2012, 12, 31, 23, 59, 1)}});
  X_CLS_METAINFO info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(catalog.meta_GetInfo(77, &info), 1);
  EXPECT_EQ(info.metaID, 77);
  EXPECT_EQ(info.colID, 40);
  EXPECT_STREQ(info.remark, "note");
  EXPECT_STREQ(info.owner, "GEO");

  std::int16_t year;
  std::uint16_t word;
  std::memcpy(&year, info.crtTime, 2);
  std::memcpy(&word, info.crtTime + 2, 2);
  EXPECT_EQ(year, 2009);
  EXPECT_EQ(word, 13559);
  EXPECT_EQ(info.crtTime[4], 45);
  EXPECT_EQ(info.crtTime[5], 30);
  for (int i = 6; i < 10; ++i) EXPECT_EQ(info.crtTime[i], 0);
  std::memcpy(&word, info.modTime + 2, 2);
  EXPECT_EQ(word, 12 | (31 << 4) | (23 << 10));

  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare SELECT COL_ID,REMARK,OWNER,CRTTIME,MODTIME FROM GEO.KRDB_META_INFO "
                   "WHERE META_ID=77",
                   "BindCol 1 type 3 len 4", "BindCol 2 type 5 len 512", "BindCol 3 type 5 len 30",
                   "BindCol 4 type 156 len 8", "BindCol 5 type 156 len 8", "Execute", "Fetch",
                   "FreeStmt 1"}));
}

TEST_F(RecordRegistryTest, GetInfoOfAnUnknownIdKeepsOnlyTheId) {
  X_CLS_METAINFO info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(catalog.meta_GetInfo(78, &info), 0);
  X_CLS_METAINFO expected;
  std::memset(&expected, 0, sizeof expected);
  expected.metaID = 78;
  EXPECT_EQ(std::memcmp(&info, &expected, sizeof info), 0);
  EXPECT_EQ(catalog.meta_GetInfo(78, nullptr), 0);
}

TEST_F(RecordRegistryTest, UpdateRemarkStampsOnlyAfterASuccess) {
  char remark[] = "checked";
  EXPECT_EQ(catalog.meta_UpdateRemark(77, remark), 1);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"BeginUnit BEGIN", "AllocStmt",
             "Prepare BEGIN GEO.KRPG_MD.metaInfo_updateRemark(:1,:2); END; ",
             "BindParameter 1 type 5/5 len 3", "BindParameter 2 type 5/5 len 8", "Execute",
             "FreeStmt 1", "AllocStmt", "Prepare BEGIN GEO.KRPG_MD.metaInfo_UpdateTime(:1);END; ",
             "BindParameter 1 type 5/5 len 3", "Execute", "FreeStmt 1", "EndUnit COMMIT"}));
  EXPECT_EQ(driver.ExecutedParams(1).at(0).bytes, "77");

  driver.ClearCalls();
  driver.OnExecute("metaInfo_updateRemark").Status(-1);
  EXPECT_EQ(catalog.meta_UpdateRemark(77, remark), 0);
  EXPECT_EQ(driver.Texts().size(), 1u);
  EXPECT_EQ(catalog.meta_UpdateRemark(77, nullptr), 0);
  driver.OnExecute("metaInfo_UpdateTime").Status(-1);
  EXPECT_EQ(catalog.meta_UpdateTime(77), 0);
}

}  // namespace

// Schema registry statements on the scripted driver: texts, call orders,
// results and what the caller's buffers hold afterwards.
#include <cstring>

#include "scripted_catalog.h"

namespace {

using SchemaRegistryTest = ScriptedCatalogTest;

TEST_F(SchemaRegistryTest, IsExistCountsTheNameInTheOpenCatalog) {
  driver.OnExecute("COUNT(SCHEMA_NAME)").Rows({{Value::Int(1)}});
  EXPECT_EQ(catalog.schema_IsExist("FGDC"), 1);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare SELECT COUNT(SCHEMA_NAME) FROM GEO.KRDB_META_SCHEMA WHERE "
                   "SCHEMA_NAME='FGDC' AND MTDB_ID=7",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));

  driver.OnExecute("COUNT(SCHEMA_NAME)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.schema_IsExist("FGDC"), 0);
  driver.OnExecute("COUNT(SCHEMA_NAME)").Status(-1);
  EXPECT_EQ(catalog.schema_IsExist("FGDC"), 0);
  EXPECT_EQ(catalog.schema_IsExist(nullptr), 0);
  EXPECT_EQ(closed.schema_IsExist("FGDC"), 0);
}

TEST_F(SchemaRegistryTest, NamesWithQuotesStayInsideTheirLiteral) {
  driver.OnExecute("COUNT(SCHEMA_NAME)").Rows({{Value::Int(0)}});
  catalog.schema_IsExist("x' OR '1'='1");
  char name[] = "O'Brien's";
  std::int32_t id = -5;
  catalog.schema_GetID(name, &id);
  const Lines texts = driver.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0],
            "SELECT COUNT(SCHEMA_NAME) FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_NAME='x'' OR "
            "''1''=''1' AND MTDB_ID=7");
  EXPECT_EQ(texts[1],
            "SELECT SCHEMA_ID FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_NAME='O''Brien''s' AND "
            "MTDB_ID=7");
}

TEST_F(SchemaRegistryTest, PrepareThatDoesNotReturnZeroRunsNothing) {
  driver.faults().FailNth(Call::kPrepare, 1, 1);
  EXPECT_EQ(catalog.schema_IsExist("FGDC"), 0);
  EXPECT_EQ(driver.Trace(), (Lines{"AllocStmt", "Prepare -> 1", "FreeStmt 1"}));
}

TEST_F(SchemaRegistryTest, DelCallsTheProcedureWithTheId) {
  EXPECT_EQ(catalog.schema_Del(12), 1);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"BeginUnit BEGIN", "AllocStmt", "Prepare BEGIN GEO.KRPG_MD.schema_Del(:1); END; ",
             "BindParameter 1 type 3/3 len 4", "Execute", "FreeStmt 1", "EndUnit COMMIT"}));
  EXPECT_EQ(driver.ExecutedParams(0).at(0).integer, 12);

  driver.OnExecute("schema_Del").Status(1);
  EXPECT_EQ(catalog.schema_Del(12), 1);
  driver.OnExecute("schema_Del").Status(-1);
  EXPECT_EQ(catalog.schema_Del(12), 0);
  EXPECT_EQ(closed.schema_Del(12), 0);
}

TEST_F(SchemaRegistryTest, GetNumNeedsAnOpenCatalogAndResetsTheCount) {
  std::int32_t count = 55;
  EXPECT_EQ(closed.schema_GetNum(&count), 0);
  EXPECT_EQ(count, 55);
  EXPECT_EQ(catalog.schema_GetNum(nullptr), 0);
  EXPECT_TRUE(driver.Calls().empty());

  driver.OnExecute("COUNT(*)").Rows({{Value::Int(3)}});
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare SELECT COUNT(*) FROM GEO.KRDB_META_SCHEMA WHERE MTDB_ID=7",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));

  driver.OnExecute("COUNT(*)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 0);
  count = 9;
  driver.OnExecute("COUNT(*)").Status(-1);
  EXPECT_EQ(catalog.schema_GetNum(&count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(SchemaRegistryTest, IdListAppendsAfterACountOfAtLeastOne) {
  CSmartArray<std::int32_t> ids;
  ids.Add(99);
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.schema_GetIDList(ids), 0);
  EXPECT_EQ(ids.GetSize(), 1);
  EXPECT_EQ(driver.Texts().size(), 1u);  // only the count ran

  driver.ClearCalls();
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(4)}, {Value::Int(5)}});
  EXPECT_EQ(catalog.schema_GetIDList(ids), 1);
  ASSERT_EQ(ids.GetSize(), 3);
  EXPECT_EQ(ids[1], 4);
  EXPECT_EQ(ids[2], 5);
  const Lines trace = driver.Trace();
  const Lines list(trace.begin() + 6, trace.end());
  EXPECT_EQ(
      list,
      (Lines{"AllocStmt", "Prepare SELECT SCHEMA_ID FROM GEO.KRDB_META_SCHEMA WHERE MTDB_ID=7",
             "Execute", "BindCol 1 type 3 len 4", "Fetch", "Fetch", "Fetch -> 100", "FreeStmt 1"}));
}

TEST_F(SchemaRegistryTest, IdListThatBreaksOffIsAFailureAndKeepsWhatCame) {
  CSmartArray<std::int32_t> ids;
  driver.OnExecute("COUNT(*)").Rows({{Value::Int(2)}});
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(4)}, {Value::Int(5)}});
  driver.faults().FailNth(Call::kFetch, 3);  // count, first id, then the failure
  EXPECT_EQ(catalog.schema_GetIDList(ids), 0);
  ASSERT_EQ(ids.GetSize(), 1);
  EXPECT_EQ(ids[0], 4);
}

TEST_F(SchemaRegistryTest, GetIdWritesOnlyAFoundIdAndSaysSo) {
  char name[] = "FGDC";
  std::int32_t id = -1;
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(31)}});
  EXPECT_EQ(catalog.schema_GetID(name, &id), 1);
  EXPECT_EQ(id, 31);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt",
                   "Prepare SELECT SCHEMA_ID FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_NAME='FGDC' "
                   "AND MTDB_ID=7",
                   "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1"}));

  id = -1;
  EXPECT_EQ(catalog.schema_GetID(name, &id), 0);  // no row
  EXPECT_EQ(id, -1);
  EXPECT_EQ(catalog.schema_GetID(name, nullptr), 0);
  EXPECT_EQ(closed.schema_GetID(name, &id), 0);
}

TEST_F(SchemaRegistryTest, GetNameCutsToTheBufferAndEmptiesItOnFailure) {
  char buffer[8];
  driver.OnExecute("SELECT SCHEMA_NAME").Rows({{Value::Text("ISO19139-2007")}});
  EXPECT_EQ(catalog.schema_GetName(3, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "ISO1913");
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"AllocStmt", "Prepare SELECT SCHEMA_NAME FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_ID=3",
             "BindCol 1 type 5 len 300", "Execute", "Fetch", "FreeStmt 1"}));

  // A cut never ends inside a character: "Zürich" has a two-byte ü.
  driver.OnExecute("SELECT SCHEMA_NAME").Rows({{Value::Text("Z\xC3\xBCrich")}});
  char small[3];
  EXPECT_EQ(catalog.schema_GetName(3, small, sizeof small), 1);
  EXPECT_STREQ(small, "Z");

  std::strcpy(buffer, "junk");
  EXPECT_EQ(catalog.schema_GetName(4, buffer, sizeof buffer), 0);  // no row
  EXPECT_STREQ(buffer, "");
}

TEST_F(SchemaRegistryTest, GetInfoFillsTheRecordFromTheRow) {
  const std::string longName(200, 'n');
  driver.OnExecute("SELECT MTDB_ID,SCHEMA_NAME")
      .Rows({{Value::Int(7), Value::Text(longName), Value::Text("GEO"), Value::Text("the remark"),
              Value::Date(2009, 7, 15, 13, 45, 30), Value::Date(2010, 1, 2, 3, 4, 5)}});
  X_CLS_SCHEMA info;
  std::memset(&info, 0x5A, sizeof info);
  EXPECT_EQ(catalog.schema_GetInfo(21, &info), 1);
  EXPECT_EQ(info.schemaID, 21);
  EXPECT_EQ(info.mtdbID, 7);
  EXPECT_EQ(std::string(info.schemaName), longName.substr(0, 127));
  EXPECT_STREQ(info.owner, "GEO");
  EXPECT_STREQ(info.remark, "the remark");
  OCIDate created;
  std::memcpy(&created, info.crtTime, sizeof created);
  EXPECT_EQ(created.year, 2009);
  EXPECT_EQ(created.minute, 45);
  EXPECT_EQ(info.modTime[8], 0);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"AllocStmt",
             "Prepare SELECT MTDB_ID,SCHEMA_NAME,OWNER,REMARK,CRTTIME,MODTIME FROM "
             "GEO.KRDB_META_SCHEMA WHERE SCHEMA_ID=21",
             "BindCol 1 type 3 len 4", "BindCol 2 type 5 len 1000", "BindCol 3 type 5 len 1000",
             "BindCol 4 type 5 len 512", "BindCol 5 type 156 len 10", "BindCol 6 type 156 len 10",
             "Execute", "Fetch", "FreeStmt 1"}));

  EXPECT_EQ(catalog.schema_GetInfo(22, &info), 0);  // unknown id
  EXPECT_EQ(info.schemaID, 22);
  EXPECT_EQ(info.mtdbID, 0);
  EXPECT_STREQ(info.schemaName, "");
  EXPECT_EQ(catalog.schema_GetInfo(22, nullptr), 0);
}

TEST_F(SchemaRegistryTest, RenameStampsTheTimeOnlyAfterASuccess) {
  char name[] = "renamed";
  EXPECT_EQ(catalog.schema_UpdateName(5, name), 1);
  EXPECT_EQ(
      driver.Trace(),
      (Lines{"AllocStmt", "Prepare BEGIN GEO.KRPG_MD.schema_updatename(:1,:2); END; ",
             "BindParameter 1 type 3/3 len 4", "BindParameter 2 type 5/5 len 8", "Execute",
             "FreeStmt 1", "AllocStmt", "Prepare BEGIN GEO.KRPG_MD.schema_UpdateTime(:1);END; ",
             "BindParameter 1 type 3/3 len 4", "Execute", "FreeStmt 1"}));
  EXPECT_EQ(driver.ExecutedParams(0).at(1).bytes, "renamed");

  driver.ClearCalls();
  driver.OnExecute("schema_updateRemark").Status(-1);
  char remark[] = "r";
  EXPECT_EQ(catalog.schema_UpdateRemark(5, remark), 0);
  EXPECT_EQ(driver.Texts(), (Lines{"BEGIN GEO.KRPG_MD.schema_updateRemark(:1,:2); END; "}));

  // A stamp that fails does not undo a rename that worked.
  driver.OnExecute("schema_UpdateTime").Status(-1);
  EXPECT_EQ(catalog.schema_UpdateRemark(5, remark), 1);
  EXPECT_EQ(catalog.schema_UpdateName(5, nullptr), 0);
}

TEST_F(SchemaRegistryTest, SetPrivilegeChangesNothing) {
  EXPECT_EQ(catalog.schema_SetPrivilege(1, 2), 0);
  EXPECT_EQ(catalog.schema_SetPrivilege(0, 0), 0);
  EXPECT_TRUE(driver.Calls().empty());
}

}  // namespace

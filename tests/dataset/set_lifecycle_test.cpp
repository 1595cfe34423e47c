// Creating, removing, opening and closing collections on the scripted driver.
#include <gtest/gtest.h>

#include "dataset/set_fixture.h"

using metashelf::driver::Call;
using settest::SetTest;

namespace {

std::vector<std::string> Executed(metashelf::driver::scripted::ScriptedDriver& driver) {
  std::vector<std::string> texts;
  for (const auto& c : driver.Calls()) {
    if (c.call == Call::kExecDirect) texts.push_back(c.text);
  }
  return texts;
}

TEST_F(SetTest, CreateMakesFiveTablesThenTheirIndexes) {
  database.SetNextId(17);
  EXPECT_EQ(set.Create(&catalog, 3, "coast", "remark"), 17);
  const std::vector<std::string> expected = {
      "CREATE TABLE GEO.META_STRUCTINFO_17(MetaID NUMBER NOT NULL,STRUCT_INFO BLOB,PROLOG_INFO "
      "BLOB, LABEL_INFO BLOB)",
      "CREATE TABLE GEO.META_NDTEXT_17(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT "
      "NULL,POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))",
      "CREATE TABLE GEO.META_NDNUMBER_17(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT "
      "NULL,POSITION NUMBER NOT NULL,NODEVALUE NUMBER)",
      "CREATE TABLE GEO.META_NDDATETIME_17(MetaID NUMBER NOT NULL, NODEGUID NUMBER NOT "
      "NULL,POSITION NUMBER NOT NULL, NODEVALUE DATE)",
      "CREATE TABLE GEO.META_ADDITIONAL_17(MetaID NUMBER NOT NULL, PICTURE_INFO BLOB)",
      "CREATE INDEX GEO.META_STRUCTINFO_17_ID ON GEO.META_STRUCTINFO_17(MetaID)",
      "CREATE INDEX GEO.META_NDTEXT_17_ID ON GEO.META_NDTEXT_17(MetaID)",
      "CREATE INDEX GEO.META_NDNUMBER_17_ID ON GEO.META_NDNUMBER_17(MetaID)",
      "CREATE INDEX GEO.META_NDDATETIME_17_ID ON GEO.META_NDDATETIME_17(MetaID)",
      "CREATE INDEX GEO.META_ADDITIONAL_17_ID ON GEO.META_ADDITIONAL_17(MetaID)",
      "CREATE INDEX GEO.META_NDTEXT_17_NV ON GEO.META_NDTEXT_17(NODEGUID,NODEVALUE)",
      "CREATE INDEX GEO.META_NDNUMBER_17_NV ON GEO.META_NDNUMBER_17(NODEGUID,NODEVALUE)",
      "CREATE INDEX GEO.META_NDDATETIME_17_NV ON GEO.META_NDDATETIME_17(NODEGUID,NODEVALUE)",
  };
  ASSERT_EQ(Executed(driver), expected);
  // One unit of work around the registration and every table.
  EXPECT_EQ(driver.Trace().front(), "BeginUnit BEGIN");
  EXPECT_EQ(driver.Trace().back(), "EndUnit COMMIT");
  EXPECT_EQ(set.HasOpened(), 0);  // Create does not touch the set
}

TEST_F(SetTest, CreateFailsAtTheFirstFailingTableAndUndoesEverything) {
  database.SetNextId(17);
  driver.faults().FailNth(Call::kExecDirect, 2);
  EXPECT_EQ(set.Create(&catalog, 3, "coast", nullptr), 0);
  // The first table was made, the second failed, nothing ran after it, and
  // the unit (registration and first table) was rolled back.
  EXPECT_EQ(driver.faults().Count(Call::kExecDirect), 2);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");
}

TEST_F(SetTest, CreateWithATakenNameMakesNoTable) {
  catalog.nameExists = 1;
  EXPECT_EQ(set.Create(&catalog, 3, "coast", nullptr), 0);
  EXPECT_TRUE(Executed(driver).empty());
  EXPECT_EQ(driver.Trace(), (std::vector<std::string>{"BeginUnit BEGIN", "EndUnit ROLLBACK"}));
  COraMetaDataBase closed;  // a catalog that is not open registers nothing
  EXPECT_EQ(set.Create(&closed, 3, "coast", nullptr), 0);
  EXPECT_EQ(set.Create(nullptr, 3, "coast", nullptr), 0);
}

TEST_F(SetTest, RemoveDropsTablesDeletesRegistrationsAndIgnoresMissingTables) {
  driver.OnExecute("DROP TABLE").Status(-1).Diagnostic("42S02", 942).Times(-1);
  EXPECT_EQ(set.Remove(&catalog, 17), 1);
  const std::vector<std::string> expected = {
      "DROP TABLE GEO.META_ADDITIONAL_17", "DROP TABLE GEO.META_NDDATETIME_17",
      "DROP TABLE GEO.META_NDNUMBER_17",   "DROP TABLE GEO.META_NDTEXT_17",
      "DROP TABLE GEO.META_STRUCTINFO_17", "delete from GEO.KRDB_META_INFO where COL_ID=17"};
  EXPECT_EQ(Executed(driver), expected);
  EXPECT_NE(driver.Texts().back().find("collection_Del"), std::string::npos);

  driver.ClearCalls();
  driver.OnExecute("collection_Del").Status(-1);
  EXPECT_EQ(set.Remove(&catalog, 17), 0);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");
}

TEST_F(SetTest, RemoveStopsAndUndoesAtAFailedDropOfATableThatIsThere) {
  driver.OnExecute("DROP TABLE GEO.META_NDNUMBER_17").Status(-1).Diagnostic("HY000", 1);
  EXPECT_EQ(set.Remove(&catalog, 17), 0);
  EXPECT_EQ(Executed(driver).size(), 3u);  // nothing after the failed drop
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");
}

TEST_F(SetTest, OpenLoadsTheSchemaDocumentsInOrder) {
  ASSERT_EQ(set.Open(&catalog, 17), 1);
  EXPECT_EQ(set.HasOpened(), 1);
  EXPECT_EQ(catalog.log, (std::vector<std::string>{"mds_GetInfo 17", "GetNodeInfo 3",
                                                   "GetSchemaDoc 3", "GetN2EMAP 3"}));
  EXPECT_TRUE(driver.Calls().empty());
  CSchema* schema = nullptr;
  ASSERT_EQ(set.GetCSchemaPtr(&schema), 1);
  std::int32_t id = 0;
  schema->GetSchemaID(id);
  EXPECT_EQ(id, 3);
  EXPECT_GT(settest::GuidOf(*schema, "/rec/title"), 0);
  EXPECT_EQ(schema->SchemaDoc(), catalog.docs.schemaDoc);
  EXPECT_EQ(set.GetOwner(), "GEO");
  EXPECT_EQ(set.GetMdsID(), 17);
  std::int32_t count = 0;
  EXPECT_EQ(set.GetNum(&count), 1);
  EXPECT_EQ(count, 42);

  // Opening again releases what the first Open made.
  ASSERT_EQ(set.Open(&catalog, 17), 1);
  EXPECT_EQ(set.Close(), 1);
  EXPECT_EQ(set.HasOpened(), 0);
  EXPECT_EQ(set.GetMdsID(), 17);
  EXPECT_EQ(set.GetOwner(), "GEO");
  EXPECT_EQ(set.GetCSchemaPtr(&schema), 0);
}

TEST_F(SetTest, OpenWithoutNodeToElementMapFailsButHandsOutThePartlyLoadedSchema) {
  catalog.n2emap.clear();
  EXPECT_EQ(set.Open(&catalog, 17), 0);
  EXPECT_EQ(set.HasOpened(), 0);
  CSchema* schema = nullptr;
  EXPECT_EQ(set.GetCSchemaPtr(&schema), 1);
  EXPECT_NE(schema, nullptr);
  std::int32_t count = -5;
  CSmartArray<std::int64_t> ids;
  EXPECT_EQ(set.GetNum(&count), 0);
  EXPECT_EQ(set.GetIDList(ids), 0);
  EXPECT_EQ(count, -5);
  EXPECT_EQ(ids.GetSize(), 0);
}

TEST_F(SetTest, FreshSetAnswersNothing) {
  std::int32_t count = -5;
  CSchema* schema = nullptr;
  char name[16] = "x";
  EXPECT_EQ(set.HasOpened(), 0);
  EXPECT_EQ(set.GetNum(&count), 0);
  EXPECT_EQ(set.GetCSchemaPtr(&schema), 0);
  EXPECT_EQ(set.GetMDSName(name, sizeof name), 0);
  EXPECT_EQ(set.GetOwner(), "");
  EXPECT_EQ(set.Close(), 1);
  EXPECT_EQ(count, -5);
}

TEST_F(SetTest, ValueIndexesAreDroppedAndRestoredByName) {
  EXPECT_EQ(set.DropValueIndexes(), 0);  // not open
  EXPECT_EQ(set.RestoreValueIndexes(), 0);
  // The exported functions refuse what is not an opened set of this library.
  MsValueIndexPolicy policy;
  std::int32_t none = -1;
  const std::size_t traced = driver.Trace().size();
  for (CMetaDataSet_abs* refused :
       {static_cast<CMetaDataSet_abs*>(nullptr), static_cast<CMetaDataSet_abs*>(&set)}) {
    EXPECT_EQ(MsDropValueIndexes(refused), 0);
    EXPECT_EQ(MsRestoreValueIndexes(refused, &none), 0);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(MsGetValueIndexPolicy(refused, &policy), 0);
  }
  EXPECT_EQ(driver.Trace().size(), traced);  // no statement ran
  OpenSet();
  EXPECT_EQ(MsGetValueIndexPolicy(&set, nullptr), 0);
  EXPECT_EQ(MsDropValueIndexes(&set), 1);
  const std::vector<std::string> dropped = {
      "DROP INDEX GEO.META_NDTEXT_17_NV",
      "DROP INDEX GEO.META_NDNUMBER_17_NV",
      "DROP INDEX GEO.META_NDDATETIME_17_NV",
  };
  EXPECT_EQ(Executed(driver), dropped);
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");

  // Restoring runs the collection's own CREATE INDEX texts; one that is
  // there already (native 955, the name is taken) counts as restored.
  driver.ClearCalls();
  driver.OnExecute("META_NDNUMBER_17_NV").Status(-1).Diagnostic("42S01", 955);
  std::int32_t created = -1;
  EXPECT_EQ(set.RestoreValueIndexes(&created), 1);
  EXPECT_EQ(created, 2);
  const std::vector<std::string> restored = {
      "CREATE INDEX GEO.META_NDTEXT_17_NV ON GEO.META_NDTEXT_17(NODEGUID,NODEVALUE)",
      "CREATE INDEX GEO.META_NDNUMBER_17_NV ON GEO.META_NDNUMBER_17(NODEGUID,NODEVALUE)",
      "CREATE INDEX GEO.META_NDDATETIME_17_NV ON GEO.META_NDDATETIME_17(NODEGUID,NODEVALUE)",
  };
  EXPECT_EQ(Executed(driver), restored);
}

TEST_F(SetTest, ValueIndexFailuresAreReportedAndTheRestStillRun) {
  OpenSet();
  // Any other failure of a restore is one: the later indexes are still made.
  driver.OnExecute("META_NDTEXT_17_NV").Status(-1).Diagnostic("HY000", 1);
  std::int32_t created = -1;
  EXPECT_EQ(set.RestoreValueIndexes(&created), 0);
  EXPECT_EQ(created, 2);
  EXPECT_EQ(Executed(driver).size(), 3u);

  driver.ClearCalls();
  driver.OnExecute("DROP INDEX GEO.META_NDNUMBER_17_NV").Status(-1);
  EXPECT_EQ(set.DropValueIndexes(), 0);
  EXPECT_EQ(Executed(driver).size(), 3u);
  // Each failure's diagnostic was read off its statement.
  int drained = 0;
  for (const auto& c : driver.Calls()) drained += c.call == Call::kError ? 1 : 0;
  EXPECT_EQ(drained, 1);
}

}  // namespace

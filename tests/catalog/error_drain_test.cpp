// After a failing statement the catalog asks the driver for that
// statement's diagnostic once, before it frees the statement: every
// single-statement operation, with its execution failing in the database
// and (for reads) its fetch failing or finding no row. Lists, reads that
// need earlier rows and failed preparations: drain_paths_test.cpp.
#include <algorithm>
#include <functional>

#include "scripted_catalog.h"

namespace {

struct DrainCase {
  const char* name;
  // Part of the text of the statement that fails.
  const char* text;
  std::function<void(COraMetaDataBase&)> run;
};

void PrintTo(const DrainCase& c, std::ostream* out) {
  *out << c.name;
}

class DrainTest : public ScriptedCatalogTest, public ::testing::WithParamInterface<DrainCase> {
 protected:
  // The two calls after the first call traced as `failing`.
  Lines After(const std::string& failing) {
    const Lines trace = driver.Trace();
    const auto at = std::find(trace.begin(), trace.end(), failing);
    if (at == trace.end()) return {"(no " + failing + ")"};
    return Lines(at + 1, at + std::min<std::ptrdiff_t>(3, trace.end() - at));
  }
};

using ExecutionDrainTest = DrainTest;
using FetchDrainTest = DrainTest;

TEST_P(ExecutionDrainTest, FailedExecutionIsDrainedBeforeTheStatementIsFreed) {
  driver.OnExecute(GetParam().text).Status(-1);
  GetParam().run(catalog);
  // The scripted driver reports a failed execution as HY000.
  EXPECT_EQ(After("Execute -> -1"), (Lines{"Error HY000", "FreeStmt 1"}));
}

TEST_P(FetchDrainTest, FailedOrEmptyFetchIsDrainedToo) {
  driver.faults().FailNth(Call::kFetch, 1);
  GetParam().run(catalog);
  // An injected failure carries HYT99, so the line shows whose diagnostic
  // was read.
  EXPECT_EQ(After("Fetch -> -1"), (Lines{"Error HYT99", "FreeStmt 1"}));

  driver.ClearCalls();
  GetParam().run(catalog);  // no row: nothing to report, still asked once
  EXPECT_EQ(After("Fetch -> 100"), (Lines{"Error -> 100", "FreeStmt 1"}));
}

// Operations that change the catalog.
const DrainCase kWrites[] = {
    {"CollectionAdd", "collection_Add", [](COraMetaDataBase& c) { c.mds_Add(3, "roads", "r"); }},
    {"CollectionDel", "collection_Del", [](COraMetaDataBase& c) { c.mds_Del(40); }},
    {"CollectionUpdateName", "collection_updateName",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.mds_UpdateName(40, name);
     }},
    {"CollectionUpdateRemark", "collection_updateRemark",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.mds_UpdateRemark(40, name);
     }},
    // The time stamp after a successful rename.
    {"CollectionUpdateTime", "collection_UpdateTime",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.mds_UpdateName(40, name);
     }},
    {"SchemaDel", "schema_Del", [](COraMetaDataBase& c) { c.schema_Del(4); }},
    {"SchemaUpdateName", "schema_updatename",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.schema_UpdateName(4, name);
     }},
    {"SchemaUpdateRemark", "schema_updateRemark",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.schema_UpdateRemark(4, name);
     }},
    {"SchemaUpdateTime", "schema_UpdateTime",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.schema_UpdateName(4, name);
     }},
    {"SchemaDocumentStore", "SET SCHEMADOC",
     [](COraMetaDataBase& c) {
       CBlobData blob;
       blob.PutData("<a/>", 4);
       c.SetSchemaDoc(4, &blob);
     }},
    {"RecordAdd", "metaInfo_Add", [](COraMetaDataBase& c) { c.meta_Add(40, "r"); }},
    {"RecordDel", "metaInfo_Del", [](COraMetaDataBase& c) { c.meta_Del(1234); }},
    {"RecordUpdateRemark", "metaInfo_updateRemark",
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.meta_UpdateRemark(1234, name);
     }},
    {"RecordUpdateTime", "metaInfo_UpdateTime",
     [](COraMetaDataBase& c) { c.meta_UpdateTime(1234); }},
};

// Operations that read a row.
const DrainCase kReads[] = {
    {"CollectionInfo", "SELECT COL_NAME,SCHEMA_ID",
     [](COraMetaDataBase& c) {
       X_CLS_MDS info;
       c.mds_GetInfo(40, &info);
     }},
    {"SchemaName", "SELECT SCHEMA_NAME",
     [](COraMetaDataBase& c) {
       char name[64];
       c.schema_GetName(4, name, sizeof name);
     }},
    {"SchemaInfo", "SELECT MTDB_ID,SCHEMA_NAME",
     [](COraMetaDataBase& c) {
       X_CLS_SCHEMA info;
       c.schema_GetInfo(4, &info);
     }},
    {"RecordInfo", "SELECT COL_ID,REMARK",
     [](COraMetaDataBase& c) {
       X_CLS_METAINFO info;
       c.meta_GetInfo(1234, &info);
     }},
    // A document read asks for the document's length first.
    {"LobLength", "DBMS_LOB.GETLENGTH",
     [](COraMetaDataBase& c) {
       CBlobData blob;
       c.GetSchemaDoc(4, &blob);
     }},
    {"SysDateTime", "SYSDATE",
     [](COraMetaDataBase& c) {
       OCIDate date{};
       c.GetSysDateTime(date, 40);
     }},
    // Name tests, counts and lookups fail as plainly as any other read.
    {"SchemaIsExist", "COUNT(SCHEMA_NAME)", [](COraMetaDataBase& c) { c.schema_IsExist("fgdc"); }},
    {"SchemaCount", "COUNT(*) FROM GEO.KRDB_META_SCHEMA",
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.schema_GetNum(&count);
     }},
    {"SchemaId", "SELECT SCHEMA_ID",
     [](COraMetaDataBase& c) {
       char name[] = "fgdc";
       std::int32_t id = 0;
       c.schema_GetID(name, &id);
     }},
    {"CollectionIsExist", "COUNT(COL_NAME)", [](COraMetaDataBase& c) { c.mds_IsExist("roads"); }},
    {"CollectionCount", "COUNT(COL_ID)",
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.mds_GetNum(&count, 3);
     }},
    {"CollectionId", "SELECT COL_ID FROM",
     [](COraMetaDataBase& c) {
       char name[] = "roads";
       std::int32_t id = 0;
       c.mds_GetID(name, &id);
     }},
    {"CollectionName", "SELECT COL_NAME FROM",
     [](COraMetaDataBase& c) {
       char name[64];
       c.mds_GetName(40, name, sizeof name);
     }},
    {"RecordCount", "COUNT(*) FROM GEO.KRDB_META_INFO",
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.meta_GetNum(40, &count);
     }},
    // The first draw of an identifier block.
    {"NodeIdDraw", "NEXTVAL",
     [](COraMetaDataBase& c) {
       std::vector<std::int64_t> ids;
       c.OraGenGuid(2, ids);
     }},
};

std::string CaseName(const ::testing::TestParamInfo<DrainCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Writes, ExecutionDrainTest, ::testing::ValuesIn(kWrites), CaseName);
INSTANTIATE_TEST_SUITE_P(Reads, ExecutionDrainTest, ::testing::ValuesIn(kReads), CaseName);
INSTANTIATE_TEST_SUITE_P(Reads, FetchDrainTest, ::testing::ValuesIn(kReads), CaseName);

}  // namespace

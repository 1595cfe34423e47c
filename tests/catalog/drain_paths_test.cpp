// The failure paths that the single-statement table of error_drain_test.cpp
// cannot reach: statements that run only after earlier rows (id lists, the
// read of a schema document after its length, the sequence increment after
// a draw, FindMtdbByMds), and preparations that fail. Each drains the
// failed statement once before freeing it, and an id list whose execution
// failed is a failure, never an empty list.
#include <algorithm>
#include <functional>

#include "scripted_catalog.h"

namespace {

// The two calls after the first call traced as `failing`.
Lines After(ScriptedDriver& driver, const std::string& failing) {
  const Lines trace = driver.Trace();
  const auto at = std::find(trace.begin(), trace.end(), failing);
  if (at == trace.end()) return {"(no " + failing + ")"};
  return Lines(at + 1, at + std::min<std::ptrdiff_t>(3, trace.end() - at));
}

const Lines kDrainedExecution = {"Error HY000", "FreeStmt 1"};
const Lines kDrainedFault = {"Error HYT99", "FreeStmt 1"};

struct PathCase {
  const char* name;
  // Part of the text of the statement that fails.
  const char* text;
  // Scripts the rows the statements before it need.
  std::function<void(ScriptedDriver&)> setup;
  // Which fetch of the whole operation is the statement's first.
  int fetch;
  std::function<std::int64_t(COraMetaDataBase&, FakeDatabase&)> run;
  // What the operation returns when the statement fails.
  std::int64_t failed;
};

void PrintTo(const PathCase& c, std::ostream* out) {
  *out << c.name;
}

class DrainPathTest : public ScriptedCatalogTest, public ::testing::WithParamInterface<PathCase> {
 protected:
  std::int64_t Run() {
    GetParam().setup(driver);
    return GetParam().run(catalog, database);
  }
};

TEST_P(DrainPathTest, FailedExecutionIsDrainedAndReported) {
  driver.OnExecute(GetParam().text).Status(-1);
  EXPECT_EQ(Run(), GetParam().failed);
  EXPECT_EQ(After(driver, "Execute -> -1"), kDrainedExecution);
}

using FetchDrainPathTest = DrainPathTest;

TEST_P(FetchDrainPathTest, FailedFetchIsDrainedAndReported) {
  driver.faults().FailNth(Call::kFetch, GetParam().fetch);
  EXPECT_EQ(Run(), GetParam().failed);
  EXPECT_EQ(After(driver, "Fetch -> -1"), kDrainedFault);
}

void Nothing(ScriptedDriver&) {}

void OneSchema(ScriptedDriver& driver) {
  driver.OnExecute("COUNT(*) FROM GEO.KRDB_META_SCHEMA").Rows({{Value::Int(1)}});
}

void OneCollection(ScriptedDriver& driver) {
  OneSchema(driver);
  driver.OnExecute("SELECT SCHEMA_ID").Rows({{Value::Int(3)}});
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(1)}});
}

const PathCase kPaths[] = {
    // Schema count, then the list.
    {"SchemaIdList", "SELECT SCHEMA_ID", OneSchema, 2,
     [](COraMetaDataBase& c, FakeDatabase&) -> std::int64_t {
       CSmartArray<std::int32_t> ids;
       return c.schema_GetIDList(ids);
     },
     0},
    // Collection count of schema 3, then the list.
    {"CollectionIdList", "SELECT COL_ID FROM",
     [](ScriptedDriver& d) { d.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(1)}}); }, 2,
     [](COraMetaDataBase& c, FakeDatabase&) -> std::int64_t {
       CSmartArray<std::int32_t> ids;
       return c.mds_GetIDList(ids, 3);
     },
     0},
    // Schema count, schema list (a row, then the end), collection count,
    // then the list.
    {"RecordIdList", "SELECT META_ID", OneCollection, 5,
     [](COraMetaDataBase& c, FakeDatabase&) -> std::int64_t {
       CSmartArray<std::int64_t> ids;
       return c.meta_GetIDList(40, ids);
     },
     0},
    // The length, then the document.
    {"SchemaDocumentRead", "SELECT SCHEMADOC FROM",
     [](ScriptedDriver& d) { d.OnExecute("GETLENGTH").Rows({{Value::Int(4)}}); }, 2,
     [](COraMetaDataBase& c, FakeDatabase&) -> std::int64_t {
       CBlobData blob;
       return c.GetSchemaDoc(4, &blob);
     },
     0},
    {"CatalogOfCollection", "select mtdb_id", Nothing, 1,
     [](COraMetaDataBase&, FakeDatabase& db) -> std::int64_t { return FindMtdbByMds(&db, 40); }, 0},
};

std::string PathName(const ::testing::TestParamInfo<PathCase>& info) {
  return info.param.name;
}

// Statements that fetch nothing.
const PathCase kChanges[] = {
    // A block of three draws once, then changes the increment to 2; the
    // change failing skips its draw and leaves the block unreserved, so
    // nothing is handed out.
    {"SequenceIncrement", "INCREMENT BY 2",
     [](ScriptedDriver& d) { d.OnExecute("NEXTVAL").Rows({{Value::Int(100)}}); }, 0,
     [](COraMetaDataBase& c, FakeDatabase&) -> std::int64_t {
       std::vector<std::int64_t> ids;
       c.OraGenGuid(3, ids);
       return static_cast<std::int64_t>(ids.size());
     },
     0},
};

INSTANTIATE_TEST_SUITE_P(Reads, DrainPathTest, ::testing::ValuesIn(kPaths), PathName);
INSTANTIATE_TEST_SUITE_P(Changes, DrainPathTest, ::testing::ValuesIn(kChanges), PathName);
INSTANTIATE_TEST_SUITE_P(Reads, FetchDrainPathTest, ::testing::ValuesIn(kPaths), PathName);

// A preparation that fails: the `nth` preparation of the operation.
struct PrepareCase {
  const char* name;
  int nth;
  std::function<void(COraMetaDataBase&)> run;
};

void PrintTo(const PrepareCase& c, std::ostream* out) {
  *out << c.name;
}

class PrepareDrainTest : public ScriptedCatalogTest,
                         public ::testing::WithParamInterface<PrepareCase> {};

TEST_P(PrepareDrainTest, FailedPreparationIsDrainedBeforeTheStatementIsFreed) {
  driver.faults().FailNth(Call::kPrepare, GetParam().nth);
  GetParam().run(catalog);
  EXPECT_EQ(After(driver, "Prepare -> -1"), kDrainedFault);
}

const PrepareCase kPreparations[] = {
    {"SchemaIsExist", 1, [](COraMetaDataBase& c) { c.schema_IsExist("fgdc"); }},
    {"SchemaCount", 1,
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.schema_GetNum(&count);
     }},
    {"SchemaId", 1,
     [](COraMetaDataBase& c) {
       char name[] = "fgdc";
       std::int32_t id = 0;
       c.schema_GetID(name, &id);
     }},
    {"SchemaRename", 1,
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.schema_UpdateName(4, name);
     }},
    {"CollectionIsExist", 1, [](COraMetaDataBase& c) { c.mds_IsExist("roads"); }},
    // After the name test.
    {"CollectionAdd", 2, [](COraMetaDataBase& c) { c.mds_Add(3, "roads", "r"); }},
    {"CollectionDel", 1, [](COraMetaDataBase& c) { c.mds_Del(40); }},
    {"CollectionCount", 1,
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.mds_GetNum(&count, 3);
     }},
    {"CollectionId", 1,
     [](COraMetaDataBase& c) {
       char name[] = "roads";
       std::int32_t id = 0;
       c.mds_GetID(name, &id);
     }},
    {"CollectionName", 1,
     [](COraMetaDataBase& c) {
       char name[64];
       c.mds_GetName(40, name, sizeof name);
     }},
    {"CollectionRename", 1,
     [](COraMetaDataBase& c) {
       char name[] = "renamed";
       c.mds_UpdateName(40, name);
     }},
    {"RecordDel", 1, [](COraMetaDataBase& c) { c.meta_Del(1234); }},
    {"RecordCount", 1,
     [](COraMetaDataBase& c) {
       std::int32_t count = 0;
       c.meta_GetNum(40, &count);
     }},
    {"RecordRemark", 1,
     [](COraMetaDataBase& c) {
       char remark[] = "note";
       c.meta_UpdateRemark(1234, remark);
     }},
    {"NodeIdDraw", 1,
     [](COraMetaDataBase& c) {
       std::vector<std::int64_t> ids;
       c.OraGenGuid(2, ids);
     }},
};

std::string PrepareName(const ::testing::TestParamInfo<PrepareCase>& info) {
  return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Catalog, PrepareDrainTest, ::testing::ValuesIn(kPreparations),
                         PrepareName);

// The lists' own preparations come after the counts that admit them.
TEST_F(ScriptedCatalogTest, FailedListPreparationIsDrained) {
  OneSchema(driver);
  driver.faults().FailNth(Call::kPrepare, 2);
  CSmartArray<std::int32_t> ids;
  EXPECT_EQ(catalog.schema_GetIDList(ids), 0);
  EXPECT_EQ(After(driver, "Prepare -> -1"), kDrainedFault);

  driver.ClearCalls();
  driver.faults().Clear();
  driver.OnExecute("COUNT(COL_ID)").Rows({{Value::Int(1)}});
  driver.faults().FailNth(Call::kPrepare, 2);
  EXPECT_EQ(catalog.mds_GetIDList(ids, 3), 0);
  EXPECT_EQ(After(driver, "Prepare -> -1"), kDrainedFault);
}

}  // namespace

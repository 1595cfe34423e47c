// Running searches on a set: the built statement reaches the driver as
// written, ids are appended, and refused or failed searches leave the
// caller's array alone.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "dataset/meta_set_oper.h"
#include "search/set_access.h"
#include "search/test_schema.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

namespace {

class SearchExecutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schema = search_test::LoadSchemaWithGuid("/rec/title", 1203);
    ASSERT_TRUE(schema);
    FillSetContext(set, driver.hdbc(), "GEO", 7, schema.get());
    SearchNode node;
    node.condID = 1;
    node.nodePath = "/rec/title";
    node.op = "like";
    node.value1 = "water";
    conditions.push_back(node);
    node.condID = 2;
    node.op = "=";
    conditions.push_back(node);
  }
  void TearDown() override { ReleaseSetSchema(set); }

  std::vector<std::int64_t> Elements() const {
    std::vector<std::int64_t> out;
    for (std::int32_t i = 0; i < ids.GetSize(); ++i) out.push_back(ids[i]);
    return out;
  }

  ScriptedDriver driver;
  COraMetaDataSet set;
  std::unique_ptr<CSchema> schema;
  std::vector<SearchNode> conditions;
  CSmartArray<std::int64_t> ids;
};

TEST_F(SearchExecutionTest, TheBuiltStatementRunsAndIdsAreAppended) {
  ids.Add(1);
  ids.Add(2);
  ids.Add(3);
  driver.OnExecute("META_NDTEXT_7").Rows({{Value::Text("11")}, {Value::Text("12")}});
  ASSERT_EQ(set.SearchMetaData("1", conditions, ids), 1);
  EXPECT_EQ(driver.Trace(),
            (std::vector<std::string>{
                "AllocStmt",
                "Prepare select distinct METAID from GEO.META_NDTEXT_7 where NODEGUID=1203 and "
                "NODEVALUE like '%water%'",
                "SetStmtOption 9 100", "Execute", "BindCol 1 type 5 len 22", "ExtendedFetch",
                "ExtendedFetch -> 100", "FreeStmt 1"}));
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{1, 2, 3, 11, 12}));
  EXPECT_EQ(conditions.size(), 2u);
  EXPECT_EQ(conditions[0].value1, "water");
}

TEST_F(SearchExecutionTest, IdsThatTheStatementRepeatsAreAppendedEachTime) {
  driver.OnExecute("union all").Rows({{Value::Text("5")}, {Value::Text("5")}});
  ASSERT_EQ(set.SearchMetaData("1 or 2", conditions, ids), 1);
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{5, 5}));
}

TEST_F(SearchExecutionTest, RefusedRequestsRunNothing) {
  ids.Add(9);
  EXPECT_EQ(set.SearchMetaData("", conditions, ids), 0);
  EXPECT_EQ(set.SearchMetaData("1 or 3", conditions, ids), 0);
  EXPECT_EQ(set.SearchMetaData("1; delete from x", conditions, ids), 0);
  std::vector<SearchNode> none;
  EXPECT_EQ(set.SearchMetaData("1", none, ids), 0);
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{9}));

  COraMetaDataSet neverOpened;
  EXPECT_EQ(neverOpened.SearchMetaData("1", conditions, ids), 0);
  EXPECT_EQ(neverOpened.MetaSearch("select 1", ids), 0);
  EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(SearchExecutionTest, AStatementTheDatabaseRejectsGivesZero) {
  driver.OnExecute("META_NDTEXT_7").Status(GIS_SQL_ERROR);
  ids.Add(4);
  EXPECT_EQ(set.SearchMetaData("(1", conditions, ids), 0);
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{4}));
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
}

TEST_F(SearchExecutionTest, ASchemaLeftByAFailedOpenIsStillSearched) {
  // Open failing after the schema was loaded leaves the schema and the
  // connection in place and `opened` at 0.
  ASSERT_EQ(set.HasOpened(), 0);
  driver.OnExecute("META_NDTEXT_7").Rows({{Value::Text("3")}});
  EXPECT_EQ(set.SearchMetaData("1", conditions, ids), 1);
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{3}));
}

TEST_F(SearchExecutionTest, MetaSearchRunsTheCallersStatementThroughTheRowOperations) {
  EXPECT_EQ(set.MetaSearch("select METAID from GEO.META_STRUCTINFO_7", ids), 0);  // no oper
  EXPECT_TRUE(driver.Calls().empty());

  DataSetAccess::Context(set)->oper = new COraMetaSetOper("GEO", driver.hdbc(), schema.get());
  driver.OnExecute("STRUCTINFO").Rows({{Value::Text("12abc")}, {Value::Null()}});
  ids.Add(5);
  ASSERT_EQ(set.MetaSearch("select METAID from GEO.META_STRUCTINFO_7", ids), 1);
  EXPECT_EQ(driver.Trace(), (std::vector<std::string>{
                                "AllocStmt", "Prepare select METAID from GEO.META_STRUCTINFO_7",
                                "SetStmtOption 9 100", "Execute", "BindCol 1 type 5 len 22",
                                "ExtendedFetch", "ExtendedFetch -> 100", "FreeStmt 1"}));
  EXPECT_EQ(Elements(), (std::vector<std::int64_t>{5, 12, 0}));

  driver.OnExecute("broken").Status(GIS_SQL_ERROR);
  EXPECT_EQ(set.MetaSearch("select broken", ids), 0);
  EXPECT_EQ(set.MetaSearch(nullptr, ids), 0);
  EXPECT_EQ(ids.GetSize(), 3);
}

}  // namespace

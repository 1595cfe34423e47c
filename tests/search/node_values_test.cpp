// Listing one node's values across a collection: statement texts, driver
// calls, rowsets against the caller's capacity, and values that do not fit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "search/set_access.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

namespace {

std::vector<std::vector<Value>> TextRows(int count, int firstId = 1) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < count; ++i) {
    rows.push_back({Value::Int(firstId + i), Value::Text("v" + std::to_string(firstId + i))});
  }
  return rows;
}

class NodeValuesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FillSetContext(set, driver.hdbc(), "GEO", 7);
    NodeDataStrcT untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    values.assign(300, untouched);
  }

  // Whether element `i` still holds the bytes the test put there.
  bool Untouched(std::size_t i) const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&values[i]);
    for (std::size_t b = 0; b < sizeof(NodeDataStrcT); ++b) {
      if (bytes[b] != 0x5A) return false;
    }
    return true;
  }

  ScriptedDriver driver;
  COraMetaDataSet set;
  std::vector<NodeDataStrcT> values;
};

TEST_F(NodeValuesTest, EachKindRunsItsStatementWithItsBindings) {
  driver.OnExecute("META_NDTEXT_7").Rows({{Value::Int(4), Value::Text("water")}});
  ASSERT_EQ(set.GetNodeDataByGuid(1203, 1, values.data(), 10), 1);
  EXPECT_EQ(
      driver.Trace(),
      (std::vector<std::string>{
          "AllocStmt",
          "Prepare SELECT METAID,NODEVALUE FROM GEO.META_NDTEXT_7 WHERE NODEGUID=1203 "
          "ORDER BY METAID",
          "SetStmtOption 9 100", "Execute", "BindCol 1 type 3 len 4", "BindCol 2 type 5 len 4000",
          "ExtendedFetch", "ExtendedFetch -> 100", "FreeStmt 1"}));
  EXPECT_EQ(values[0].metaID, 4);
  EXPECT_STREQ(values[0].textValue, "water");
  EXPECT_EQ(values[0].numberValue, 0.0);
  EXPECT_STREQ(values[0].dateValue, "");
  EXPECT_TRUE(Untouched(1));

  driver.ClearCalls();
  driver.OnExecute("META_NDNUMBER_7").Rows({{Value::Int(5), Value::Double(13.490195)}});
  ASSERT_EQ(set.GetNodeDataByGuid(88, 2, values.data(), 10), 1);
  EXPECT_EQ(driver.Texts()[0],
            "SELECT METAID,NODEVALUE FROM GEO.META_NDNUMBER_7 WHERE NODEGUID=88 ORDER BY METAID");
  EXPECT_EQ(driver.Trace()[5], "BindCol 2 type 4 len 8");
  EXPECT_EQ(values[0].metaID, 5);
  EXPECT_STREQ(values[0].textValue, "");
  EXPECT_DOUBLE_EQ(values[0].numberValue, 13.490195);
  EXPECT_STREQ(values[0].dateValue, "");

  driver.ClearCalls();
  driver.OnExecute("META_NDDATETIME_7").Rows({{Value::Int(-6), Value::Text("2001-02-03")}});
  ASSERT_EQ(set.GetNodeDataByGuid(-2, 3, values.data(), 10), 1);
  EXPECT_EQ(driver.Texts()[0],
            "SELECT METAID,TO_CHAR(NODEVALUE,'YYYY-MM-DD') FROM GEO.META_NDDATETIME_7 WHERE "
            "NODEGUID=-2 ORDER BY METAID");
  EXPECT_EQ(driver.Trace()[5], "BindCol 2 type 5 len 16");
  EXPECT_EQ(values[0].metaID, -6);  // the 32-bit id widened with its sign
  EXPECT_STREQ(values[0].textValue, "");
  EXPECT_EQ(values[0].numberValue, 0.0);
  EXPECT_STREQ(values[0].dateValue, "2001-02-03");
}

TEST_F(NodeValuesTest, RowsetsAreCopiedOnlyWhileTheyFitWhole) {
  struct Case {
    int rows;
    std::int32_t capacity;
    int filled;
  };
  const Case cases[] = {{0, 10, 0},      {230, 0, 0},     {230, 150, 100}, {100, 100, 100},
                        {230, 230, 230}, {230, 300, 230}, {230, -5, 0},    {5, -1, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("rows " + std::to_string(c.rows) + " capacity " + std::to_string(c.capacity));
    SetUp();
    driver.ClearCalls();
    driver.OnExecute("META_NDTEXT_7").Rows(TextRows(c.rows, 1000));
    ASSERT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), c.capacity), 1);
    for (int i = 0; i < c.filled; ++i) {
      ASSERT_EQ(values[i].metaID, 1000 + i);
      ASSERT_EQ(std::string(values[i].textValue), "v" + std::to_string(1000 + i));
    }
    EXPECT_TRUE(Untouched(c.filled));
  }
}

TEST_F(NodeValuesTest, CapacityStopsFetchingAfterTheRowsetThatDoesNotFit) {
  driver.OnExecute("META_NDTEXT_7").Rows(TextRows(230));
  ASSERT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 150), 1);
  int fetches = 0;
  for (const auto& call : driver.Calls()) fetches += call.call == Call::kExtendedFetch;
  EXPECT_EQ(fetches, 2);
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
}

TEST_F(NodeValuesTest, RowWithoutValueReadsEmptyNotTheRowBefore) {
  std::vector<std::vector<Value>> rows = TextRows(100);
  rows.push_back({Value::Int(500), Value::Null()});
  driver.OnExecute("META_NDTEXT_7").Rows(rows);
  ASSERT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 300), 1);
  EXPECT_EQ(values[100].metaID, 500);
  EXPECT_STREQ(values[100].textValue, "");

  driver.OnExecute("META_NDNUMBER_7")
      .Rows({{Value::Int(1), Value::Double(2.5)},
             {Value::Int(2), Value::Null()},
             {Value::Int(3), Value::Double(0.0)}});
  ASSERT_EQ(set.GetNodeDataByGuid(1, 2, values.data(), 300), 1);
  EXPECT_EQ(values[1].metaID, 2);
  // A NULL number is NaN, told apart from a stored 0 and from the row before.
  EXPECT_TRUE(std::isnan(values[1].numberValue));
  EXPECT_EQ(values[0].numberValue, 2.5);
  EXPECT_EQ(values[2].numberValue, 0.0);
}

TEST_F(NodeValuesTest, LongTextIsCutAtACharacterBoundary) {
  // 510 ASCII bytes, then a three-byte character that would end at byte 513.
  const std::string euro = "\xE2\x82\xAC";
  const std::string text = std::string(510, 'a') + euro + "tail";
  const std::string ascii(3000, 'b');
  driver.OnExecute("META_NDTEXT_7")
      .Rows({{Value::Int(1), Value::Text(text)}, {Value::Int(2), Value::Text(ascii)}});
  ASSERT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 2), 1);
  EXPECT_EQ(std::string(values[0].textValue), std::string(510, 'a'));
  EXPECT_EQ(std::string(values[1].textValue), std::string(511, 'b'));
}

TEST_F(NodeValuesTest, RefusedArgumentsRunNothing) {
  EXPECT_EQ(set.GetNodeDataByGuid(1, 0, values.data(), 10), 0);
  EXPECT_EQ(set.GetNodeDataByGuid(1, 4, values.data(), 10), 0);
  EXPECT_EQ(set.GetNodeDataByGuid(1, 1, nullptr, 10), 0);
  EXPECT_TRUE(driver.Calls().empty());

  COraMetaDataSet neverOpened;
  EXPECT_EQ(neverOpened.GetNodeDataByGuid(1, 1, values.data(), 10), 0);
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_TRUE(Untouched(0));
}

TEST_F(NodeValuesTest, DriverFailuresGiveZeroAndReleaseTheStatement) {
  const Call steps[] = {Call::kPrepare, Call::kSetStmtOption, Call::kExecute, Call::kBindCol};
  for (Call step : steps) {
    for (int nth : {1, 2}) {
      if (nth == 2 && step != Call::kBindCol) continue;
      driver.ClearCalls();
      driver.faults().Clear();
      driver.OnExecute("META_NDTEXT_7").Rows(TextRows(3));
      driver.faults().FailNth(step, nth);
      EXPECT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 10), 0);
      EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
      EXPECT_TRUE(Untouched(0));
    }
  }
  driver.ClearCalls();
  driver.faults().Clear();
  driver.faults().FailNth(Call::kAllocStmt, 1);
  EXPECT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 10), 0);
}

TEST_F(NodeValuesTest, FetchThatKeepsFailingEndsTheCallWithZero) {
  driver.OnExecute("META_NDTEXT_7").Rows(TextRows(250));
  driver.faults().FailNth(Call::kExtendedFetch, 2, GIS_SQL_ERROR, /*sticky=*/true);
  EXPECT_EQ(set.GetNodeDataByGuid(1, 1, values.data(), 300), 0);
  EXPECT_EQ(values[99].metaID, 100);  // the first rowset was delivered
  EXPECT_TRUE(Untouched(100));
  EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
}

}  // namespace

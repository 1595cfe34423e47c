// The id query behind both searches: driver calls, rowsets, conversions of
// the id texts, and what a failure leaves in the caller's array.
#include "search/id_query.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "search/id_text.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;
using metashelf::search::ParseIdText;
using metashelf::search::RunIdQuery;

namespace {

std::vector<std::vector<Value>> IdRows(int count, int firstId) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < count; ++i) rows.push_back({Value::Int(firstId + i)});
  return rows;
}

std::vector<std::int64_t> Elements(const CSmartArray<std::int64_t>& ids) {
  std::vector<std::int64_t> out;
  for (std::int32_t i = 0; i < ids.GetSize(); ++i) out.push_back(ids[i]);
  return out;
}

class IdQueryTest : public ::testing::Test {
 protected:
  ScriptedDriver driver;
  CSmartArray<std::int64_t> ids;
};

TEST_F(IdQueryTest, CallsComeInTheirOrderAndIdsAreAppended) {
  ids.Add(1);
  ids.Add(2);
  ids.Add(3);
  driver.OnExecute("select").Rows({{Value::Text("40")}, {Value::Text("41")}});
  ASSERT_EQ(RunIdQuery(driver.hdbc(), "select METAID from T", ids), 1);
  EXPECT_EQ(driver.Trace(),
            (std::vector<std::string>{"AllocStmt", "Prepare select METAID from T",
                                      "SetStmtOption 9 100", "Execute", "BindCol 1 type 5 len 22",
                                      "ExtendedFetch", "ExtendedFetch -> 100", "FreeStmt 1"}));
  EXPECT_EQ(Elements(ids), (std::vector<std::int64_t>{1, 2, 3, 40, 41}));
}

TEST_F(IdQueryTest, NoRowsIsSuccessAndChangesNothing) {
  ids.Add(9);
  ASSERT_EQ(RunIdQuery(driver.hdbc(), "select METAID from T", ids), 1);
  EXPECT_EQ(Elements(ids), (std::vector<std::int64_t>{9}));
}

TEST_F(IdQueryTest, ManyRowsComeInRowsetsOfAHundredInDeliveryOrder) {
  driver.OnExecute("select").Rows(IdRows(250, 5000));
  ASSERT_EQ(RunIdQuery(driver.hdbc(), "select METAID from T", ids), 1);
  ASSERT_EQ(ids.GetSize(), 250);
  for (int i = 0; i < 250; ++i) ASSERT_EQ(ids[i], 5000 + i);
  std::vector<std::int64_t> delivered;
  for (const auto& call : driver.Calls()) {
    if (call.call == Call::kExtendedFetch) delivered.push_back(call.length);
  }
  EXPECT_EQ(delivered, (std::vector<std::int64_t>{100, 100, 50, 0}));
}

TEST_F(IdQueryTest, IdTextsOfEveryWidthAndShape) {
  driver.OnExecute("select").Rows({{Value::Text("12abc")},
                                   {Value::Null()},
                                   {Value::Text("9223372036854775807")},
                                   {Value::Text("-9223372036854775808")},
                                   {Value::Int(77)},
                                   {Value::Null()}});
  ASSERT_EQ(RunIdQuery(driver.hdbc(), "select x from T", ids), 1);
  EXPECT_EQ(Elements(ids),
            (std::vector<std::int64_t>{12, 0, std::numeric_limits<std::int64_t>::max(),
                                       std::numeric_limits<std::int64_t>::min(), 77, 0}));
}

TEST_F(IdQueryTest, NullAfterAFullRowsetReadsZeroNotTheOldId) {
  std::vector<std::vector<Value>> rows = IdRows(100, 1);
  rows.push_back({Value::Null()});
  driver.OnExecute("select").Rows(rows);
  ASSERT_EQ(RunIdQuery(driver.hdbc(), "select x from T", ids), 1);
  ASSERT_EQ(ids.GetSize(), 101);
  EXPECT_EQ(ids[100], 0);
}

TEST_F(IdQueryTest, FailuresGiveZeroAndLeaveTheArrayAsItWas) {
  const std::pair<Call, int> faults[] = {{Call::kAllocStmt, 1},     {Call::kPrepare, 1},
                                         {Call::kSetStmtOption, 1}, {Call::kExecute, 1},
                                         {Call::kBindCol, 1},       {Call::kExtendedFetch, 1},
                                         {Call::kExtendedFetch, 3}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(static_cast<int>(fault.first));
    driver.ClearCalls();
    driver.faults().Clear();
    ids.SetSize(0);
    ids.Add(1);
    driver.OnExecute("select").Rows(IdRows(250, 10));
    driver.faults().FailNth(fault.first, fault.second, GIS_SQL_ERROR, /*sticky=*/true);
    EXPECT_EQ(RunIdQuery(driver.hdbc(), "select x from T", ids), 0);
    EXPECT_EQ(Elements(ids), (std::vector<std::int64_t>{1}));
    if (fault.first != Call::kAllocStmt) {
      EXPECT_EQ(driver.Trace().back(), "FreeStmt 1");
    }
  }
  driver.ClearCalls();
  EXPECT_EQ(RunIdQuery(driver.hdbc(), nullptr, ids), 0);
  EXPECT_EQ(RunIdQuery(nullptr, "select x from T", ids), 0);
  EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(IdQueryTest, RejectedStatementGivesZero) {
  driver.OnExecute("broken").Status(GIS_SQL_ERROR);
  EXPECT_EQ(RunIdQuery(driver.hdbc(), "select broken", ids), 0);
  EXPECT_EQ(ids.GetSize(), 0);
}

TEST(IdTextTest, IdTextsConvertLikeADecimalReader) {
  struct Case {
    const char* text;
    std::int64_t id;
  };
  const Case cases[] = {{"12abc", 12},
                        {"", 0},
                        {"  42", 42},
                        {"-17", -17},
                        {"+5", 5},
                        {"abc", 0},
                        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
                        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
                        {"99999999999999999999", std::numeric_limits<std::int64_t>::max()},
                        {"-99999999999999999999", std::numeric_limits<std::int64_t>::min()}};
  for (const Case& c : cases) {
    char buffer[22] = {};
    std::strncpy(buffer, c.text, sizeof buffer - 1);
    EXPECT_EQ(ParseIdText(buffer, sizeof buffer), c.id) << c.text;
  }
  const char unterminated[4] = {'1', '2', '3', '4'};
  EXPECT_EQ(ParseIdText(unterminated, 3), 123);
}

}  // namespace

// The driver entry points over the scripted backend: handle checks, type
// conversions into bound buffers, rowsets, fault injection, diagnostics.
#include <gtest/gtest.h>

#include <cstring>

#include "backends/scripted/scripted.h"
#include "metashelf/driver.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

TEST(DriverEntryTest, NullConnectionAndNullStatementAreRefused) {
  gis_SQLHSTMT stmt = reinterpret_cast<gis_SQLHSTMT>(0x1);
  EXPECT_LT(gis_SQLAllocStmt(nullptr, &stmt), 0);
  EXPECT_EQ(stmt, nullptr);
  gis_SQLHDBC_STRU empty{nullptr};
  EXPECT_LT(gis_SQLAllocStmt(&empty, &stmt), 0);
  EXPECT_LT(gis_SQLExecute(nullptr), 0);
  EXPECT_LT(gis_SQLFetch(nullptr), 0);
  EXPECT_LT(gis_SQLFreeStmt(nullptr, 1), 0);
  EXPECT_LT(gis_SQLError(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr), 0);
}

TEST(DriverEntryTest, BadArgumentsGiveErrorsWithDiagnostics) {
  ScriptedDriver driver;
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  std::int32_t v = 0;
  EXPECT_LT(gis_SQLBindCol(stmt, 0, GIS_TYPE_INT, &v, 4, nullptr), 0);
  EXPECT_LT(gis_SQLBindParameter(stmt, 1, 1, 3, 3, 0, 0, &v, -4, nullptr), 0);
  EXPECT_LT(gis_SQLPrepare(stmt, nullptr, GIS_SQL_NTS), 0);
  EXPECT_LT(gis_SQLPutData(stmt, nullptr, 5), 0);

  char state[6];
  char message[256];
  std::int32_t native = 0;
  std::int16_t length = 0;
  EXPECT_EQ(gis_SQLError(nullptr, nullptr, stmt, state, &native, message, 256, &length), 0);
  EXPECT_STREQ(state, "HY090");
  EXPECT_GT(length, 0);
  // A tiny message buffer is cut, never overrun.
  char tiny[4] = {'x', 'x', 'x', 'x'};
  gis_SQLError(nullptr, nullptr, stmt, state, &native, tiny, 3, &length);
  EXPECT_EQ(std::strlen(tiny), 2u);
  EXPECT_EQ(gis_SQLFreeStmt(stmt, 1), 0);
}

TEST(DriverEntryTest, ColumnsFillByTypeAndNullLeavesBufferUntouched) {
  ScriptedDriver driver;
  driver.OnExecute("select").Rows({{Value::Int(-5), Value::Double(2.5), Value::Text("abcdef"),
                                    Value::Bytes(std::string("a\0b", 3)),
                                    Value::Date(2001, 3, 15, 10, 20, 30), Value::Null()}});
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  std::int32_t i = 0;
  double d = 0;
  char text[4];
  char bytes[8] = {};
  OCIDate date{};
  std::int32_t untouched = 77;
  std::int16_t ind[6] = {};
  gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, &i, 4, &ind[0]);
  gis_SQLBindCol(stmt, 2, GIS_TYPE_FLOAT, &d, 8, &ind[1]);
  gis_SQLBindCol(stmt, 3, GIS_TYPE_STRING, text, sizeof text, &ind[2]);
  gis_SQLBindCol(stmt, 4, GIS_TYPE_LONGRAW, bytes, sizeof bytes, &ind[3]);
  gis_SQLBindCol(stmt, 5, GIS_TYPE_DATE, &date, 8, &ind[4]);
  gis_SQLBindCol(stmt, 6, GIS_TYPE_INT, &untouched, 4, &ind[5]);
  ASSERT_EQ(gis_SQLExecDirect(stmt, "select everything", GIS_SQL_NTS), 0);
  // The text is cut, which the fetch reports as every backend does.
  ASSERT_EQ(gis_SQLFetch(stmt), GIS_SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(i, -5);
  EXPECT_EQ(d, 2.5);
  EXPECT_STREQ(text, "abc");  // cut to the buffer with its NUL
  EXPECT_EQ(ind[2], 6);       // the whole value's length
  EXPECT_EQ(std::memcmp(bytes, "a\0b", 3), 0);
  EXPECT_EQ(date.year, 2001);
  EXPECT_EQ(date.day, 15);
  EXPECT_EQ(date.second, 30);
  EXPECT_EQ(untouched, 77);
  EXPECT_EQ(ind[5], -1);
  EXPECT_EQ(gis_SQLFetch(stmt), GIS_SQL_NO_DATA);
  gis_SQLFreeStmt(stmt, 1);
}

TEST(DriverEntryTest, RowsetsFillColumnWiseArrays) {
  ScriptedDriver driver;
  std::vector<std::vector<Value>> rows;
  for (int r = 0; r < 250; ++r)
    rows.push_back({Value::Int(r), Value::Text("v" + std::to_string(r))});
  driver.OnExecute("select").Rows(rows);
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  std::vector<std::int32_t> ids(100);
  std::vector<char> texts(100 * 16);
  gis_SQLSetStmtOption(stmt, GIS_SQL_ROWSET_SIZE, 100);
  gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, ids.data(), 4, nullptr);
  gis_SQLBindCol(stmt, 2, GIS_TYPE_STRING, texts.data(), 16, nullptr);
  ASSERT_EQ(gis_SQLExecDirect(stmt, "select", GIS_SQL_NTS), 0);
  std::vector<std::uint32_t> sizes;
  std::uint32_t n = 0;
  while (gis_SQLExtendedFetch(stmt, 1, 1, &n, nullptr) != GIS_SQL_NO_DATA) {
    sizes.push_back(n);
    EXPECT_EQ(ids[n - 1],
              static_cast<std::int32_t>(sizes.size() - 1) * 100 + static_cast<std::int32_t>(n) - 1);
  }
  EXPECT_EQ(sizes, (std::vector<std::uint32_t>{100, 100, 50}));
  EXPECT_STREQ(&texts[49 * 16], "v249");
  EXPECT_EQ(n, 0u);
  gis_SQLFreeStmt(stmt, 1);
}

TEST(DriverEntryTest, FaultInjectionFailsTheNthCallOnce) {
  ScriptedDriver driver;
  driver.faults().FailNth(Call::kExecute, 2);
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  gis_SQLPrepare(stmt, "update t", GIS_SQL_NTS);
  EXPECT_EQ(gis_SQLExecute(stmt), 0);
  EXPECT_EQ(gis_SQLExecute(stmt), GIS_SQL_ERROR);
  EXPECT_EQ(gis_SQLExecute(stmt), 0);
  char state[6];
  gis_SQLExecute(stmt);
  driver.faults().FailNth(Call::kExecute, 1, -1, true);
  EXPECT_LT(gis_SQLExecute(stmt), 0);
  EXPECT_LT(gis_SQLExecute(stmt), 0);
  gis_SQLError(nullptr, nullptr, stmt, state, nullptr, nullptr, 0, nullptr);
  EXPECT_STREQ(state, "HYT99");
  gis_SQLFreeStmt(stmt, 1);

  driver.faults().FailNth(Call::kAllocStmt, 1);
  EXPECT_LT(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  EXPECT_EQ(stmt, nullptr);
}

TEST(ScriptedDriverTest, RecordsTheCallSequenceAndParameterValues) {
  ScriptedDriver driver;
  driver.OnExecute("proc").Status(1);
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  std::int32_t id = 12;
  char name[] = "it's";
  std::int16_t ind = 0;
  gis_SQLPrepare(stmt, "BEGIN GEO.KRPG_MD.proc(:1,:2);END; ", GIS_SQL_NTS);
  gis_SQLBindParameter(stmt, 1, 1, 3, 3, 0, 0, &id, 4, &ind);
  gis_SQLBindParameter(stmt, 2, 1, 5, 5, 0, 0, name, 5, &ind);
  EXPECT_EQ(gis_SQLExecute(stmt), 1);
  gis_SQLFreeStmt(stmt, 1);

  EXPECT_EQ(driver.Trace(), (std::vector<std::string>{
                                "AllocStmt", "Prepare BEGIN GEO.KRPG_MD.proc(:1,:2);END; ",
                                "BindParameter 1 type 3/3 len 4", "BindParameter 2 type 5/5 len 5",
                                "Execute -> 1", "FreeStmt 1"}));
  const auto params = driver.ExecutedParams(0);
  ASSERT_EQ(params.size(), 2u);
  EXPECT_EQ(params[0].integer, 12);
  EXPECT_EQ(params[1].bytes, "it's");
}

TEST(ScriptedDriverTest, RulesAnswerInOrderAndRunOut) {
  ScriptedDriver driver;
  driver.OnExecute("COUNT").Rows({{Value::Int(1)}});
  driver.OnExecute("COUNT").Status(-1).Times(-1);
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
  EXPECT_EQ(gis_SQLExecDirect(stmt, "SELECT COUNT(*)", GIS_SQL_NTS), 0);
  EXPECT_EQ(gis_SQLExecDirect(stmt, "SELECT COUNT(*)", GIS_SQL_NTS), -1);
  EXPECT_EQ(gis_SQLExecDirect(stmt, "SELECT COUNT(*)", GIS_SQL_NTS), -1);
  EXPECT_EQ(gis_SQLExecDirect(stmt, "other", GIS_SQL_NTS), 0);
  EXPECT_EQ(gis_SQLFetch(stmt), GIS_SQL_NO_DATA);
  gis_SQLFreeStmt(stmt, 1);
}

// The scripted backend reads bound parameters by the rules every backend
// reads them with: an empty text is NULL, a text buffer without its NUL and
// an unknown type code are refused with the real backends' diagnostics.
TEST(DriverEntryTest, ParametersFollowTheBackendsBindRules) {
  struct Case {
    const char* name;
    std::int16_t type;
    const char* bytes;
    std::int32_t length;
    bool bound;         // the bind itself succeeds
    bool executes;      // the execution succeeds
    const char* state;  // the diagnostic of the failing call
    std::int32_t native;
    Value::Kind read;  // what the execution saw, when it ran
  } cases[] = {
      {"text", GIS_TYPE_STRING, "ab\0", 3, true, true, "", 0, Value::Kind::kText},
      {"empty text is NULL", GIS_TYPE_STRING, "\0", 1, true, true, "", 0, Value::Kind::kNull},
      {"text without NUL", GIS_TYPE_STRING, "abc", 3, true, false, "HY090", 1480,
       Value::Kind::kNull},
      {"unknown type", 99, "abcd", 4, false, false, "HY003", 0, Value::Kind::kNull},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedDriver driver;
    gis_SQLHSTMT stmt = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(driver.hdbc(), &stmt), 0);
    char buffer[8] = {};
    std::memcpy(buffer, c.bytes, static_cast<std::size_t>(c.length));
    const std::int16_t bind =
        gis_SQLBindParameter(stmt, 1, 1, c.type, 1, 0, 0, buffer, c.length, nullptr);
    EXPECT_EQ(bind == 0, c.bound);
    if (bind == 0) {
      const std::int16_t run = gis_SQLExecDirect(stmt, "insert into t values(:1)", GIS_SQL_NTS);
      EXPECT_EQ(run == 0, c.executes);
    }
    if (*c.state != '\0') {
      char state[6] = {};
      char message[256];
      std::int32_t native = -1;
      std::int16_t length = 0;
      gis_SQLError(nullptr, nullptr, stmt, state, &native, message, sizeof message, &length);
      EXPECT_STREQ(state, c.state);
      EXPECT_EQ(native, c.native);
    } else {
      const std::vector<Value> seen = driver.ExecutedParams(0);
      ASSERT_EQ(seen.size(), 1u);
      EXPECT_EQ(seen[0].kind, c.read);
    }
    gis_SQLFreeStmt(stmt, 1);
  }
}

// Failures: bad statement texts, bind mistakes and invalid handles give error
// codes and a diagnostic, never a crash; injected faults are reported.
#include <cstring>

#include "driver/conformance.h"
#include "internal/backend.h"

namespace metashelf {
namespace testing {
namespace {

class ErrorTest : public DriverTest {};

TEST_P(ErrorTest, BadSqlGivesAnErrorAndADiagnostic) {
  for (const char* sql : {"SELEKT 1 FROM DUAL", "SELECT * FROM NO_SUCH_OWNER.NO_TABLE",
                          "select 'open", "select 1 from dual; select 2 from dual",
                          "ALTER SEQUENCE X.S INCREMENT BY 0", "BEGIN NOPE; END;"}) {
    Stmt s(hdbc_);
    EXPECT_LT(gis_SQLExecDirect(s.get(), sql, GIS_SQL_NTS), 0) << sql;
    char state[6] = "?????";
    char message[256] = {0};
    std::int32_t native = 0;
    std::int16_t length = 0;
    EXPECT_EQ(gis_SQLError(nullptr, nullptr, s.get(), state, &native, message, 256, &length), 0);
    EXPECT_EQ(std::strlen(state), 5u) << sql;
    EXPECT_STRNE(state, "00000") << sql;
    EXPECT_GT(length, 0) << sql;
    EXPECT_GT(std::strlen(message), 0u) << sql;
  }
}

TEST_P(ErrorTest, ANameAlreadyTakenIsTheSameFailureOnEveryBackend) {
  MustRun("CREATE TABLE " + Q("TAKEN") + "(A NUMBER)");
  MustRun("CREATE INDEX " + Q("TAKEN_A") + " ON " + Q("TAKEN") + "(A)");
  for (const std::string& sql : {"CREATE TABLE " + Q("TAKEN") + "(B NUMBER)",
                                 "CREATE INDEX " + Q("TAKEN_A") + " ON " + Q("TAKEN") + "(A)"}) {
    Stmt s(hdbc_);
    EXPECT_LT(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << sql;
    char state[6] = {};
    std::int32_t native = 0;
    char message[256] = {};
    std::int16_t length = 0;
    ASSERT_EQ(gis_SQLError(nullptr, nullptr, s.get(), state, &native, message, 256, &length), 0);
    EXPECT_STREQ(state, "42S01") << sql << ": " << message;
    EXPECT_EQ(native, 955) << sql << ": " << message;
  }
  // Other failures of the same kind of statement keep their own reports.
  Stmt s(hdbc_);
  const std::string missing = "CREATE INDEX " + Q("TAKEN_B") + " ON " + Q("TAKEN") + "(NO_COLUMN)";
  EXPECT_LT(gis_SQLExecDirect(s.get(), missing.c_str(), GIS_SQL_NTS), 0);
  std::int32_t native = 0;
  ASSERT_EQ(gis_SQLError(nullptr, nullptr, s.get(), nullptr, &native, nullptr, 0, nullptr), 0);
  EXPECT_NE(native, 955);
  MustRun("DROP INDEX " + Q("TAKEN_A"));
  MustRun("CREATE INDEX " + Q("TAKEN_A") + " ON " + Q("TAKEN") + "(A)");
}

// A text refused before the engine sees it, a name that is taken or not
// there, a constraint broken: the same state and the same Oracle number as
// native code on every backend.
TEST_P(ErrorTest, RefusalsReadTheSameOnEveryBackend) {
  MustRun("CREATE TABLE " + Q("REFUSE") + "(A NUMBER NOT NULL, B NUMBER, D DATE)");
  MustRun("CREATE UNIQUE INDEX " + Q("REFUSE_A") + " ON " + Q("REFUSE") + "(A)");
  MustRun("INSERT INTO " + Q("REFUSE") + "(A) VALUES(1)");
  const struct {
    std::string sql;
    const char* state;
    std::int32_t native;
  } cases[] = {
      {"ALTER SEQUENCE " + Q("S") + " INCREMENT BY 0", "HY024", 4002},
      {"select 1 from dual; select 2 from dual", "42000", 911},
      {"select 'open from dual", "42000", 1756},
      {"select \"open from dual", "42000", 1740},
      {"select (1 from dual", "42000", 907},
      {"BEGIN NOPE; END;", "42000", 6550},
      {"insert into " + Q("REFUSE") + "(A,D) values(2,to_date('2001-02-30','YYYY-MM-DD'))", "22008",
       1839},
      {"insert into " + Q("REFUSE") + "(A,D) values(2,to_date('2001-13-01','YYYY-MM-DD'))", "22008",
       1843},
      {"select A from " + Q("REFUSE") + " where D = to_date('01.01.2001','DD.MM.YYYY')", "22008",
       1821},
      {"SELECT * FROM " + Q("NOT_THERE"), "42S02", 942},
      {"CREATE TABLE " + Q("REFUSE") + "(B NUMBER)", "42S01", 955},
      {"INSERT INTO " + Q("REFUSE") + "(A) VALUES(1)", "23000", 1},
      {"INSERT INTO " + Q("REFUSE") + "(B) VALUES(1)", "23000", 1400},
  };
  for (const auto& c : cases) {
    Stmt s(hdbc_);
    EXPECT_LT(gis_SQLExecDirect(s.get(), c.sql.c_str(), GIS_SQL_NTS), 0) << c.sql;
    char state[6] = {};
    std::int32_t native = 0;
    char message[256] = {};
    std::int16_t length = 0;
    ASSERT_EQ(gis_SQLError(nullptr, nullptr, s.get(), state, &native, message, 256, &length), 0)
        << c.sql;
    EXPECT_STREQ(state, c.state) << c.sql << ": " << message;
    EXPECT_EQ(native, c.native) << c.sql << ": " << message;
  }
}

TEST_P(ErrorTest, AVarchar2HoldsAtMostItsSizeInBytes) {
  MustRun("CREATE TABLE " + Q("BYTES") + "(V VARCHAR2(8))");
  const struct {
    const char* value;
    bool fits;
  } cases[] = {
      {"12345678", true},
      {"123456789", false},
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", true},                   // 4 characters, 8 bytes
      {"\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9\xc3\xa9", false},          // 5 characters, 10 bytes
      {"\xf0\x9d\x84\x9e\xf0\x9d\x84\x9e", true},                   // 2 characters, 8 bytes
      {"\xf0\x9d\x84\x9e\xf0\x9d\x84\x9e\xf0\x9d\x84\x9e", false},  // 3 characters, 12 bytes
  };
  for (const auto& c : cases) {
    Stmt s(hdbc_);
    const std::string sql = "INSERT INTO " + Q("BYTES") + " VALUES('" + c.value + "')";
    const std::int16_t rc = gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS);
    if (c.fits) {
      EXPECT_EQ(rc, 0) << sql;
      continue;
    }
    EXPECT_LT(rc, 0) << sql;
    char state[6] = {};
    std::int32_t native = 0;
    char message[256] = {};
    std::int16_t length = 0;
    ASSERT_EQ(gis_SQLError(nullptr, nullptr, s.get(), state, &native, message, 256, &length), 0);
    EXPECT_STREQ(state, "22001") << sql << ": " << message;
    EXPECT_EQ(native, 12899) << sql << ": " << message;
  }
}

TEST_P(ErrorTest, DiagnosticMessageIsCutToTheCallersBuffer) {
  Stmt s(hdbc_);
  ASSERT_LT(gis_SQLExecDirect(s.get(), "SELECT * FROM NOWHERE.NOTHING_AT_ALL", GIS_SQL_NTS), 0);
  char message[8];
  std::memset(message, 'Z', sizeof message);
  std::int16_t length = 0;
  gis_SQLError(nullptr, nullptr, s.get(), nullptr, nullptr, message, 5, &length);
  EXPECT_EQ(std::strlen(message), 4u);
  EXPECT_EQ(message[5], 'Z');
  EXPECT_GT(length, 4);
}

TEST_P(ErrorTest, BindMistakesAreErrors) {
  MustRun("CREATE TABLE " + Q("E") + "(A NUMBER)");
  MustRun("INSERT INTO " + Q("E") + " VALUES(1)");
  std::int32_t v = 0;
  std::int16_t ind = 0;
  {
    Stmt s(hdbc_);
    const std::string sql = "INSERT INTO " + Q("E") + " VALUES(:1)";
    ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
    EXPECT_LT(gis_SQLBindParameter(s.get(), 1, 1, 77, 77, 0, 0, &v, 4, &ind), 0);  // type
    EXPECT_LT(gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, nullptr, 4, &ind), 0);
    EXPECT_LT(gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &v, -4, &ind), 0);
    EXPECT_LT(gis_SQLBindParameter(s.get(), 0, 1, 3, 3, 0, 0, &v, 4, &ind), 0);
    EXPECT_LT(gis_SQLBindParameter(s.get(), 2, 1, 3, 3, 0, 0, &v, 4, &ind), 0);  // out of range
    EXPECT_LT(gis_SQLExecute(s.get()), 0);                                       // :1 never bound
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 1, 1, 5, 5, 0, 0, unterminated, 4, &ind), 0);
    EXPECT_LT(gis_SQLExecute(s.get()), 0);  // no NUL within the buffer: never read past it
    std::int32_t shortDate = 0;
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 1, 1, 156, 156, 0, 0, &shortDate, 4, &ind), 0);
    EXPECT_LT(gis_SQLExecute(s.get()), 0);  // shorter than a date: never read past it
  }
  Stmt s(hdbc_);
  const std::string sql = "SELECT A FROM " + Q("E");
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  EXPECT_LT(gis_SQLBindCol(s.get(), 1, 99, &v, 4, &ind), 0);
  EXPECT_LT(gis_SQLBindCol(s.get(), 1, 3, nullptr, 4, &ind), 0);
  EXPECT_LT(gis_SQLBindCol(s.get(), 1, 3, &v, -1, &ind), 0);
  EXPECT_LT(gis_SQLBindCol(s.get(), 1, 3, &v, 2, &ind), 0);  // smaller than an int
  EXPECT_LT(gis_SQLBindCol(s.get(), 2, 3, &v, 4, &ind), 0);  // no column 2
  EXPECT_LT(gis_SQLBindCol(s.get(), 0, 3, &v, 4, &ind), 0);
  EXPECT_LT(gis_SQLSetStmtOption(s.get(), 9, 0), 0);
  EXPECT_LT(gis_SQLFetch(s.get()), 0);  // not executed
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, &v, 4, &ind), 0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0);
  EXPECT_LT(gis_SQLExtendedFetch(s.get(), 2, 0, nullptr, nullptr), 0);  // only forward
  EXPECT_LT(gis_SQLPutData(s.get(), nullptr, 5), 0);
  EXPECT_LT(gis_SQLPrepare(s.get(), nullptr, GIS_SQL_NTS), 0);
  EXPECT_LT(gis_SQLPrepare(s.get(), "SELECT 1", -7), 0);
}

TEST_P(ErrorTest, InvalidHandlesAreRefused) {
  gis_SQLHSTMT none = nullptr;
  gis_SQLHSTMT out = reinterpret_cast<gis_SQLHSTMT>(&none);
  EXPECT_EQ(gis_SQLAllocStmt(nullptr, &out), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(out, nullptr);
  gis_SQLHDBC_STRU closed{nullptr};
  EXPECT_LT(gis_SQLAllocStmt(&closed, &out), 0);
  EXPECT_LT(gis_SQLAllocStmt(hdbc_, nullptr), 0);
  EXPECT_EQ(gis_SQLPrepare(none, "SELECT 1", GIS_SQL_NTS), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLExecute(none), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLExecDirect(none, "SELECT 1", GIS_SQL_NTS), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLBindParameter(none, 1, 1, 3, 3, 0, 0, nullptr, 0, nullptr),
            GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLBindCol(none, 1, 3, nullptr, 0, nullptr), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLFetch(none), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLExtendedFetch(none, 1, 1, nullptr, nullptr), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLSetStmtOption(none, 9, 100), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLParamData(none, nullptr), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLPutData(none, "x", 1), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLFreeStmt(none, 0), GIS_SQL_INVALID_HANDLE);
  EXPECT_EQ(gis_SQLError(nullptr, nullptr, none, nullptr, nullptr, nullptr, 0, nullptr),
            GIS_SQL_INVALID_HANDLE);
}

TEST_P(ErrorTest, InjectedFaultsAreReportedAndNothingIsWritten) {
  MustRun("CREATE TABLE " + Q("F") + "(A NUMBER)");
  driver::FaultInjector* faults = driver::Faults(hdbc_);
  ASSERT_NE(faults, nullptr);
  faults->FailNth(driver::Call::kExecDirect, 2);
  std::string error;
  EXPECT_EQ(RunSql(hdbc_, "INSERT INTO " + Q("F") + " VALUES(1)"), 0);
  EXPECT_EQ(RunSql(hdbc_, "INSERT INTO " + Q("F") + " VALUES(2)", &error), GIS_SQL_ERROR);
  EXPECT_NE(error.find("HYT99"), std::string::npos) << error;
  EXPECT_EQ(RunSql(hdbc_, "INSERT INTO " + Q("F") + " VALUES(3)"), 0);
  faults->FailNth(driver::Call::kAllocStmt, 1);
  gis_SQLHSTMT s = nullptr;
  EXPECT_LT(gis_SQLAllocStmt(hdbc_, &s), 0);
  EXPECT_EQ(s, nullptr);
  faults->Clear();
  EXPECT_EQ(Rows(hdbc_, "SELECT A FROM " + Q("F") + " ORDER BY A", 1),
            (std::vector<std::vector<std::string>>{{"1"}, {"3"}}));
}

METASHELF_ON_EVERY_BACKEND(ErrorTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

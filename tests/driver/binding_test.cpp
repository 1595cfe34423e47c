// Every parameter and column type code, NULLs in each of them, and text cut
// to the caller's buffer.
#include <cstring>

#include "driver/conformance.h"
#include "metashelf/records.h"

namespace metashelf {
namespace testing {
namespace {

class BindingTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    MustRun("CREATE TABLE " + Q("T") + "(I NUMBER, D NUMBER, S VARCHAR2(100), B BLOB, DT DATE)");
  }
};

TEST_P(BindingTest, EveryTypeRoundTrips) {
  {
    Stmt s(hdbc_);
    const std::string sql = "INSERT INTO " + Q("T") +
                            "(I,D,S,B,DT) VALUES(:1,:2,:3,:4,TO_DATE('2009-07-14','YYYY-MM-DD'))";
    ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
    std::int32_t i = -123456;
    double d = 2.5;
    char text[] = "h\xC3\xA9llo 'quoted'";
    const char bytes[] = {'\0', '\x01', '\xff', '\0', 'z'};
    std::int16_t ind[4] = {0, 0, 0, 0};
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &i, 4, &ind[0]), 0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 2, 1, 4, 4, 0, 0, &d, 8, &ind[1]), 0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 3, 1, 5, 5, 0, 0, text,
                                   static_cast<std::int32_t>(std::strlen(text) + 1), &ind[2]),
              0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 4, 1, 113, 24, 0, 0, const_cast<char*>(bytes),
                                   sizeof bytes, &ind[3]),
              0);
    ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  }
  Stmt s(hdbc_);
  const std::string sql = "SELECT I, D, S, B, DT, I FROM " + Q("T");
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
  ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  std::int32_t i = 0;
  double d = 0;
  char text[100] = {0};
  char bytes[16] = {0};
  OCIDate date{};
  char iAsText[16] = {0};
  std::int16_t ind[6] = {9, 9, 9, 9, 9, 9};
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, &i, 4, &ind[0]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 2, 4, &d, 8, &ind[1]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 3, 5, text, sizeof text, &ind[2]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 4, 24, bytes, sizeof bytes, &ind[3]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 5, 156, &date, 8, &ind[4]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 6, 5, iAsText, sizeof iAsText, &ind[5]), 0);
  ASSERT_EQ(gis_SQLFetch(s.get()), 0) << s.Error();
  EXPECT_EQ(i, -123456);
  EXPECT_EQ(d, 2.5);
  EXPECT_STREQ(text, "h\xC3\xA9llo 'quoted'");
  EXPECT_EQ(std::string(bytes, 5), std::string("\0\x01\xff\0z", 5));
  EXPECT_EQ(date.year, 2009);
  EXPECT_EQ(date.month, 7);
  EXPECT_EQ(date.day, 14);
  EXPECT_EQ(date.hour, 0);
  EXPECT_STREQ(iAsText, "-123456");
  for (std::int16_t x : ind) EXPECT_EQ(x, 0);
  EXPECT_EQ(gis_SQLFetch(s.get()), GIS_SQL_NO_DATA);
}

TEST_P(BindingTest, NullLeavesEveryBufferUntouched) {
  {
    Stmt s(hdbc_);
    const std::string sql = "INSERT INTO " + Q("T") + "(I,D,S,B,DT) VALUES(:1,:2,:3,:4,:5)";
    ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
    std::int32_t i = 1;
    double d = 1;
    char empty[] = "";
    char bytes[] = "x";
    OCIDate date{2001, 1, 1, 0, 0, 0};
    std::int16_t nullInd = -1, zero = 0;
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 1, 1, 3, 3, 0, 0, &i, 4, &nullInd), 0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 2, 1, 4, 4, 0, 0, &d, 8, &nullInd), 0);
    // A zero-length text binds NULL, as in Oracle.
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 3, 1, 5, 5, 0, 0, empty, 1, &zero), 0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 4, 1, 113, 24, 0, 0, bytes, 1, &nullInd), 0);
    ASSERT_EQ(gis_SQLBindParameter(s.get(), 5, 1, 156, 156, 0, 0, &date, 8, &nullInd), 0);
    ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  }
  Stmt s(hdbc_);
  const std::string sql = "SELECT I, D, S, B, DT, B FROM " + Q("T");
  ASSERT_EQ(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << s.Error();
  std::int32_t i = 77;
  double d = 7.5;
  char text[8] = "keep";
  char bytes[8] = "keep";
  OCIDate date{1999, 9, 9, 9, 9, 9};
  std::int16_t ind[6] = {5, 5, 5, 5, 5, 5};
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, &i, 4, &ind[0]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 2, 4, &d, 8, &ind[1]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 3, 5, text, sizeof text, &ind[2]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 4, 24, bytes, sizeof bytes, &ind[3]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 5, 156, &date, 8, &ind[4]), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 6, 113, nullptr, 0, &ind[5]), 0);
  ASSERT_EQ(gis_SQLFetch(s.get()), 0) << s.Error();
  EXPECT_EQ(i, 77);
  EXPECT_EQ(d, 7.5);
  EXPECT_STREQ(text, "keep");
  EXPECT_STREQ(bytes, "keep");
  EXPECT_EQ(date.year, 1999);
  EXPECT_EQ(date.second, 9);
  for (std::int16_t x : ind) EXPECT_EQ(x, -1);
}

TEST_P(BindingTest, TextIsCutToTheBufferWithItsNul) {
  MustRun("INSERT INTO " + Q("T") + "(S) VALUES('abcdefghij')");
  Stmt s(hdbc_);
  const std::string sql = "SELECT S FROM " + Q("T");
  ASSERT_EQ(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  char text[8];
  std::memset(text, 'Z', sizeof text);
  char guard = 'G';
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 5, text, 4, &ind), 0);
  EXPECT_EQ(gis_SQLFetch(s.get()), GIS_SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(text[4], 'Z');
  EXPECT_EQ(guard, 'G');
  EXPECT_EQ(ind, 10);  // the length before cutting
}

TEST_P(BindingTest, NumbersConvertAsOciDoes) {
  MustRun("INSERT INTO " + Q("T") + "(I,D,S) VALUES(7,-2.7,'12')");
  Stmt s(hdbc_);
  const std::string sql = "SELECT D, S, I FROM " + Q("T");
  ASSERT_EQ(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  std::int32_t truncated = 0, fromText = 0;
  double fromInt = 0;
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, &truncated, 4, nullptr), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 2, 3, &fromText, 4, nullptr), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 3, 4, &fromInt, 8, nullptr), 0);
  ASSERT_EQ(gis_SQLFetch(s.get()), 0) << s.Error();
  EXPECT_EQ(truncated, -2);  // toward zero, never rounded
  EXPECT_EQ(fromText, 12);
  EXPECT_EQ(fromInt, 7.0);
}

METASHELF_ON_EVERY_BACKEND(BindingTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

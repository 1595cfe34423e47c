// Rowset fetches into column-wise arrays, single-row fetches, and reusing a
// statement after closing its cursor.
#include <cstring>
#include <vector>

#include "driver/conformance.h"

namespace metashelf {
namespace testing {
namespace {

class RowsetTest : public DriverTest {};

TEST_P(RowsetTest, TwoHundredFiftyRowsComeAsHundredHundredFifty) {
  MustRun("CREATE TABLE " + Q("R") + "(ID NUMBER, NAME VARCHAR2(20))");
  ASSERT_EQ(fresh_->db->Begin(), 1);
  for (int i = 1; i <= 250; ++i) {
    MustRun("INSERT INTO " + Q("R") + " VALUES(" + std::to_string(i) + ",'n" + std::to_string(i) +
            "')");
  }
  ASSERT_EQ(fresh_->db->Commit(), 1);
  Stmt s(hdbc_);
  const std::string sql = "SELECT ID, NAME FROM " + Q("R") + " ORDER BY ID";
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLSetStmtOption(s.get(), 9, 100), 0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0);
  std::vector<std::int32_t> ids(100);
  std::vector<char> names(100 * 16);
  std::vector<std::int16_t> ind(100);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, ids.data(), 4, nullptr), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 2, 5, names.data(), 16, ind.data()), 0);
  std::vector<std::uint32_t> counts;
  int expected = 1;
  std::uint16_t status[100];
  while (true) {
    std::uint32_t count = 999;
    const std::int16_t rc = gis_SQLExtendedFetch(s.get(), 1, 1, &count, status);
    if (rc == GIS_SQL_NO_DATA) {
      EXPECT_EQ(count, 0u);
      break;
    }
    ASSERT_EQ(rc, 0) << s.Error();
    counts.push_back(count);
    for (std::uint32_t r = 0; r < count; ++r, ++expected) {
      EXPECT_EQ(ids[r], expected);
      EXPECT_STREQ(&names[r * 16], ("n" + std::to_string(expected)).c_str());
      EXPECT_EQ(status[r], 0);
    }
    if (count < 100) {
      EXPECT_EQ(status[count], 3);
    }
    ASSERT_LE(counts.size(), 4u);
  }
  EXPECT_EQ(counts, (std::vector<std::uint32_t>{100, 100, 50}));
  EXPECT_EQ(gis_SQLExtendedFetch(s.get(), 1, 1, nullptr, nullptr), GIS_SQL_NO_DATA);
}

TEST_P(RowsetTest, EachElementKeepsItsOwnNullAndCut) {
  MustRun("CREATE TABLE " + Q("R") + "(ID NUMBER, NAME VARCHAR2(40))");
  MustRun("INSERT INTO " + Q("R") + " VALUES(1, 'ab')");
  MustRun("INSERT INTO " + Q("R") + " VALUES(2, NULL)");
  MustRun("INSERT INTO " + Q("R") + " VALUES(3, 'abcdefghij')");
  Stmt s(hdbc_);
  const std::string sql = "SELECT ID, NAME FROM " + Q("R") + " ORDER BY ID";
  ASSERT_EQ(gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
  EXPECT_LT(gis_SQLSetStmtOption(s.get(), 9, 1000001), 0);
  ASSERT_EQ(gis_SQLSetStmtOption(s.get(), 9, 4), 0);
  ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
  std::int32_t ids[4] = {0, 0, 0, 0};
  char names[4 * 6];
  std::memset(names, 'x', sizeof names);
  std::int16_t ind[4] = {7, 7, 7, 7};
  // A zero length on a number column strides by the size of its type.
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, ids, 0, nullptr), 0);
  ASSERT_EQ(gis_SQLBindCol(s.get(), 2, 5, names, 6, ind), 0);
  std::uint32_t count = 0;
  std::uint16_t status[4] = {9, 9, 9, 9};
  ASSERT_EQ(gis_SQLExtendedFetch(s.get(), 1, 1, &count, status), GIS_SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(s.Error().substr(0, 5), "01004");
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(std::vector<std::int32_t>(ids, ids + 4), (std::vector<std::int32_t>{1, 2, 3, 0}));
  EXPECT_EQ(std::vector<std::uint16_t>(status, status + 4),
            (std::vector<std::uint16_t>{0, 0, 0, 3}));
  EXPECT_STREQ(&names[0], "ab");
  EXPECT_EQ(ind[0], 0);
  EXPECT_EQ(ind[1], -1);
  EXPECT_EQ(std::string(&names[6], 6), "xxxxxx");  // a NULL writes nothing
  EXPECT_STREQ(&names[12], "abcde");
  EXPECT_EQ(ind[2], 10);  // the full length of the cut value
  EXPECT_EQ(ind[3], 7);
  EXPECT_EQ(gis_SQLExtendedFetch(s.get(), 1, 1, &count, status), GIS_SQL_NO_DATA);
  EXPECT_EQ(count, 0u);
}

TEST_P(RowsetTest, FreeStmtCloseKeepsTheHandleForReuse) {
  MustRun("CREATE TABLE " + Q("R") + "(ID NUMBER)");
  Stmt s(hdbc_);
  const std::string insert = "INSERT INTO " + Q("R") + " VALUES(1)";
  ASSERT_EQ(gis_SQLExecDirect(s.get(), insert.c_str(), GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLFreeStmt(s.get(), GIS_SQL_CLOSE), 0);
  const std::string select = "SELECT ID FROM " + Q("R");
  ASSERT_EQ(gis_SQLPrepare(s.get(), select.c_str(), GIS_SQL_NTS), 0);
  std::int32_t id = 0;
  ASSERT_EQ(gis_SQLBindCol(s.get(), 1, 3, &id, 4, nullptr), 0);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(gis_SQLExecute(s.get()), 0) << s.Error();
    ASSERT_EQ(gis_SQLFetch(s.get()), 0);
    EXPECT_EQ(id, 1);
    // Closing mid-result and executing again starts from the first row.
    ASSERT_EQ(gis_SQLFreeStmt(s.get(), GIS_SQL_CLOSE), 0);
  }
  EXPECT_EQ(gis_SQLFetch(s.get()), GIS_SQL_ERROR);  // no open cursor after close
}

TEST_P(RowsetTest, TwoStatementsOfOneTextRunSideBySide) {
  MustRun("CREATE TABLE " + Q("R") + "(ID NUMBER)");
  MustRun("INSERT INTO " + Q("R") + " VALUES(1)");
  MustRun("INSERT INTO " + Q("R") + " VALUES(2)");
  const std::string select = "SELECT ID FROM " + Q("R") + " ORDER BY ID";
  Stmt a(hdbc_), b(hdbc_);
  std::int32_t x = 0, y = 0;
  ASSERT_EQ(gis_SQLExecDirect(a.get(), select.c_str(), GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(a.get(), 1, 3, &x, 4, nullptr), 0);
  ASSERT_EQ(gis_SQLFetch(a.get()), 0);
  ASSERT_EQ(gis_SQLExecDirect(b.get(), select.c_str(), GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(b.get(), 1, 3, &y, 4, nullptr), 0);
  ASSERT_EQ(gis_SQLFetch(b.get()), 0);
  ASSERT_EQ(gis_SQLFetch(a.get()), 0);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 1);
}

METASHELF_ON_EVERY_BACKEND(RowsetTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

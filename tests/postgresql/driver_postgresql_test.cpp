// What the PostgreSQL backend must do to keep Oracle's meaning where
// PostgreSQL's own differs, proven on a live server.
#include <libpq-fe.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "metashelf/records.h"
#include "pg_fixture.h"

namespace metashelf {
namespace testing {
namespace {

class PgSemanticsTest : public PgDriverTest {
 protected:
  void SetUp() override {
    PgDriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(Exec("CREATE TABLE T(ID NUMBER NOT NULL, NAME VARCHAR2(4000), N NUMBER, D DATE, "
                   "B BLOB)"),
              0)
        << last_error_;
  }
};

TEST_F(PgSemanticsTest, NumbersComeBackAsOraclePrintsThem) {
  ASSERT_EQ(Exec("insert into T(ID,N) values(1, 1.500000)"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID,N) values(2, 12345678901234)"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID,N) values(3, -0.000125)"), 0) << last_error_;
  EXPECT_EQ(One("select N from T where ID=1"), "1.5");
  EXPECT_EQ(One("select N from T where ID=2"), "12345678901234");
  EXPECT_EQ(One("select N from T where ID=3"), "-0.000125");
}

TEST_F(PgSemanticsTest, IntegersAreTruncatedTowardZero) {
  ASSERT_EQ(Exec("insert into T(ID,N) values(1, 2.7)"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID,N) values(2, -2.7)"), 0) << last_error_;
  for (const auto& [id, expected] : {std::pair<int, std::int32_t>{1, 2}, {2, -2}}) {
    gis_SQLHSTMT s = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
    std::int32_t value = 99;
    std::int16_t ind = 0;
    const std::string text = "select N from T where ID=" + std::to_string(id);
    ASSERT_EQ(gis_SQLPrepare(s, text.c_str(), GIS_SQL_NTS), 0);
    ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_INT, &value, 4, &ind), 0);
    ASSERT_EQ(gis_SQLExecute(s), 0);
    ASSERT_EQ(gis_SQLFetch(s), 0);
    EXPECT_EQ(value, expected) << "id " << id;
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
  }
}

TEST_F(PgSemanticsTest, EmptyTextIsNull) {
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(1, '')"), 0) << last_error_;
  EXPECT_EQ(One("select count(*) from T where NAME is null"), "1");
  // A bound empty text is NULL too.
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  char empty[1] = {0};
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLPrepare(s, "insert into T(ID,NAME) values(2, :1)", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindParameter(s, 1, 1, GIS_TYPE_STRING, GIS_TYPE_STRING, 0, 0, empty, 1, &ind),
            0);
  ASSERT_EQ(gis_SQLExecute(s), 0) << Error(s);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  EXPECT_EQ(One("select count(*) from T where NAME is null"), "2");
}

TEST_F(PgSemanticsTest, LikeIsCaseSensitiveAndHasNoBackslashEscape) {
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(1, 'Water_Body')"), 0);
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(2, 'a\\_b')"), 0);
  EXPECT_EQ(One("select count(*) from T where NAME like '%water%'"), "0");
  EXPECT_EQ(One("select count(*) from T where NAME like '%Water%'"), "1");
  // Oracle has no default escape: the backslash is an ordinary character.
  EXPECT_EQ(One("select ID from T where NAME like 'a\\_b'"), "2");
}

TEST_F(PgSemanticsTest, SetOperatorsApplyLeftToRight) {
  for (int id : {1, 2, 3}) {
    ASSERT_EQ(Exec("insert into T(ID) values(" + std::to_string(id) + ")"), 0);
  }
  // (1 union all 2) intersect 2 is {2}; PostgreSQL alone would give {1, 2}.
  EXPECT_EQ(One("select count(*) from (select ID from T where ID=1 union all select ID from T "
                "where ID=2 intersect select ID from T where ID=2) x"),
            "1");
}

TEST_F(PgSemanticsTest, TextComparesInBinaryOrder) {
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(1, 'a')"), 0);
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(2, 'B')"), 0);
  ASSERT_EQ(Exec("insert into T(ID,NAME) values(3, '_x')"), 0);
  EXPECT_EQ(One("select min(NAME) from T"), "B");
  EXPECT_EQ(One("select count(*) from T where NAME < 'a'"), "2");
}

// Text values of the full column width that do not compress: too long for a
// btree entry as they stand. They are stored, found by every comparison
// exactly (prefixes alone would match too much), and equality stays indexed.
TEST_F(PgSemanticsTest, LongTextValuesAreStoredFoundAndIndexed) {
  connection()->SetRules(driver::dialect::Rules{{{"META_NDTEXT_", "NODEVALUE", 512}}});
  ASSERT_EQ(Exec("CREATE TABLE META_NDTEXT_9(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,"
                 "POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))"),
            0)
      << last_error_;
  ASSERT_EQ(Exec("CREATE INDEX META_NDTEXT_9_NV ON META_NDTEXT_9(NODEGUID,NODEVALUE)"), 0)
      << last_error_;
  std::string a;
  std::uint32_t x = 99;
  while (a.size() < 4000) {
    x = x * 1103515245u + 12345u;
    a += static_cast<char>('a' + (x >> 16) % 26);
  }
  std::string b = a;
  b.back() = b.back() == 'z' ? 'y' : static_cast<char>(b.back() + 1);  // b differs at its end
  const std::string c = a.substr(0, 600);                              // a prefix of both
  const std::string d = "\xC3\xA9" + a.substr(0, 1500);                // 2-byte characters first
  int id = 0;
  for (const std::string& v : {a, b, c, d}) {
    ASSERT_EQ(
        Exec("insert into META_NDTEXT_9 values(" + std::to_string(++id) + ",5,1,'" + v + "')"), 0)
        << last_error_;
  }
  const std::string q = "select METAID from META_NDTEXT_9 where NODEGUID=5 and NODEVALUE";
  EXPECT_EQ(Lines(q + "='" + a + "'"), "1\n");
  EXPECT_EQ(Lines(q + "='" + b + "'"), "2\n");
  EXPECT_EQ(Lines(q + "='" + c + "'"), "3\n");
  EXPECT_EQ(Lines(q + "<'" + b + "' order by 1"), "1\n3\n");
  EXPECT_EQ(Lines(q + ">'" + c + "' order by 1"), "1\n2\n4\n");
  EXPECT_EQ(Lines(q + " between '" + c + "' And '" + a + "' order by 1"), "1\n3\n");
  EXPECT_EQ(Lines("select METAID from META_NDTEXT_9 where NODEGUID=5 and not NODEVALUE='" + a +
                  "' order by 1"),
            "2\n3\n4\n");

  ASSERT_EQ(Exec("set enable_seqscan = off"), 0) << last_error_;
  const std::string plan = Lines("explain " + q + "='" + a + "'");
  EXPECT_NE(plan.find("meta_ndtext_9_nv"), std::string::npos) << plan.substr(0, 300);
  EXPECT_NE(
      plan.find("Index Cond: ((nodeguid = '5'::numeric) AND (\"left\"((nodevalue)::text, 512) ="),
      std::string::npos)
      << plan.substr(0, 300);
}

TEST_F(PgSemanticsTest, DatesKeepTheirTimeOfDay) {
  ASSERT_EQ(Exec("insert into T(ID,D) values(1, SYSDATE)"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID,D) values(2, to_date('2009-07-14','YYYY-MM-DD'))"), 0);
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  OCIDate d{};
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLExecDirect(s, "select D from T where ID=2", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_DATE, &d, 8, &ind), 0);
  ASSERT_EQ(gis_SQLFetch(s), 0);
  EXPECT_EQ(d.year, 2009);
  EXPECT_EQ(d.month, 7);
  EXPECT_EQ(d.day, 14);
  EXPECT_EQ(d.hour, 0);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  EXPECT_EQ(One("select TO_CHAR(D,'YYYY-MM-DD') from T where ID=2"), "2009-07-14");
  // SYSDATE is stamped to the second, as an Oracle DATE holds it.
  EXPECT_EQ(One("select count(*) from T where ID=1 and D = date_trunc('second', D)"), "1");
}

TEST_F(PgSemanticsTest, DateTextsAreReadByOracleRules) {
  // Each statement differs only in its literal, so all share one prepared
  // form; the reading happens in the driver.
  EXPECT_EQ(Exec("insert into T(ID,D) values(1, to_date('20010315','YYYY-MM-DD'))"), 0)
      << last_error_;
  EXPECT_EQ(One("select TO_CHAR(D,'YYYY-MM-DD') from T where ID=1"), "2001-03-15");
  EXPECT_LT(Exec("insert into T(ID,D) values(2, to_date('2001-02-30','YYYY-MM-DD'))"), 0);
  EXPECT_LT(Exec("insert into T(ID,D) values(3, to_date('2001','YYYY-MM-DD'))"), 0);
  EXPECT_LT(Exec("insert into T(ID,D) values(4, to_date('2001-02-03 12:34','YYYY-MM-DD'))"), 0);
  EXPECT_EQ(Exec("insert into T(ID,D) values(5, to_date('','YYYY-MM-DD'))"), 0) << last_error_;
  EXPECT_EQ(One("select count(*) from T"), "2");
  EXPECT_EQ(One("select count(*) from T where D is null"), "1");
}

TEST_F(PgSemanticsTest, OneStatementPerText) {
  EXPECT_LT(Exec("insert into T(ID) values(1); delete from T"), 0);
  EXPECT_LT(Exec("insert into T(ID) values(1); delete from T;"), 0);
  EXPECT_EQ(One("select count(*) from T"), "0");
}

TEST_F(PgSemanticsTest, NativeErrorsAreMapped) {
  ASSERT_EQ(Exec("CREATE UNIQUE INDEX T_ID ON T(ID)"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID) values(1)"), 0);
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  ASSERT_LT(gis_SQLExecDirect(s, "insert into T(ID) values(1)", GIS_SQL_NTS), 0);
  std::int32_t native = 0;
  std::string state;
  const std::string message = Error(s, &native, &state);
  EXPECT_EQ(state, "23000");
  EXPECT_EQ(native, 1);
  EXPECT_NE(message.find("23505"), std::string::npos) << message;
  ASSERT_LT(gis_SQLExecDirect(s, "select * from NO_SUCH_TABLE", GIS_SQL_NTS), 0);
  Error(s, &native, &state);
  EXPECT_EQ(state, "42S02");
  EXPECT_EQ(native, 942);
  ASSERT_LT(gis_SQLExecDirect(s, "ALTER SEQUENCE S INCREMENT BY 0", GIS_SQL_NTS), 0);
  Error(s, &native, &state);
  EXPECT_EQ(native, 4002);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
}

TEST_F(PgSemanticsTest, ANameTakenByAConcurrentCreationIsReportedAsTaken) {
  // Two connections make the same index at once: the second waits for the
  // first and then fails on the server's catalog with a unique violation
  // (23505), not 42P07. It is a name already taken all the same.
  std::string error;
  auto first = driver::postgresql::PgConnection::Open(fresh_conninfo(), &error);
  ASSERT_TRUE(first) << error;
  gis_SQLHDBC_STRU firstHdbc{};
  firstHdbc.connection = first.get();
  PGresult* begun = PQexec(first->raw(), "BEGIN");
  ASSERT_EQ(PQresultStatus(begun), PGRES_COMMAND_OK);
  PQclear(begun);
  gis_SQLHSTMT made = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(&firstHdbc, &made), 0);
  ASSERT_EQ(gis_SQLExecDirect(made, "CREATE INDEX T_RACE ON T(N)", GIS_SQL_NTS), 0) << Error(made);
  gis_SQLFreeStmt(made, GIS_SQL_DROP);

  std::int16_t rc = 0;
  std::int32_t native = 0;
  std::string state;
  std::string message;
  std::thread second([&] {
    gis_SQLHSTMT s = nullptr;
    if (gis_SQLAllocStmt(hdbc(), &s) != GIS_SQL_SUCCESS) return;
    rc = gis_SQLExecDirect(s, "CREATE INDEX T_RACE ON T(N)", GIS_SQL_NTS);
    if (rc < 0) message = Error(s, &native, &state);
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  PGresult* committed = PQexec(first->raw(), "COMMIT");
  EXPECT_EQ(PQresultStatus(committed), PGRES_COMMAND_OK);
  PQclear(committed);
  second.join();
  ASSERT_LT(rc, 0);
  EXPECT_EQ(state, "42S01") << message;
  EXPECT_EQ(native, 955) << message;
}

TEST_F(PgSemanticsTest, SequenceDrawsThroughDual) {
  ASSERT_EQ(Exec("CREATE SEQUENCE S"), 0) << last_error_;
  EXPECT_EQ(One("SELECT S.NEXTVAL INTO :v FROM DUAL"), "1");
  ASSERT_EQ(Exec("ALTER SEQUENCE S INCREMENT BY 10"), 0) << last_error_;
  EXPECT_EQ(One("SELECT S.NEXTVAL FROM DUAL"), "11");
}

// Writes `data` into T.B of row `id` through a locator.
std::int16_t WriteBlob(gis_SQLHDBC_STRU* hdbc, int id, const std::string& first,
                       const std::string& second = std::string()) {
  gis_SQLHSTMT s = nullptr;
  if (gis_SQLAllocStmt(hdbc, &s) != 0) return -99;
  std::int16_t ind = 0;
  const std::string text = "select B from T where ID=" + std::to_string(id) + " for update";
  std::int16_t rc = gis_SQLPrepare(s, text.c_str(), GIS_SQL_NTS);
  if (rc == 0) rc = gis_SQLBindCol(s, 1, GIS_TYPE_BLOB, nullptr, 0, &ind);
  if (rc == 0) rc = gis_SQLExecute(s);
  if (rc == 0) rc = gis_SQLFetch(s);
  void* token = nullptr;
  if (rc == 0) gis_SQLParamData(s, &token);
  if (rc == 0) rc = gis_SQLPutData(s, first.data(), static_cast<std::int32_t>(first.size()));
  if (rc == 0 && !second.empty()) {
    rc = gis_SQLPutData(s, second.data(), static_cast<std::int32_t>(second.size()));
  }
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  return rc;
}

std::string ReadBlob(gis_SQLHDBC_STRU* hdbc, int id) {
  gis_SQLHSTMT s = nullptr;
  if (gis_SQLAllocStmt(hdbc, &s) != 0) return "<no statement>";
  char buffer[256] = {};
  std::int32_t length = -1;
  std::int16_t ind = 0;
  const std::string idText = std::to_string(id);
  std::string out = "<error>";
  const std::string lengthText = "select dbms_lob.getlength(B) from T where ID=" + idText;
  if (gis_SQLExecDirect(s, lengthText.c_str(), GIS_SQL_NTS) == 0 &&
      gis_SQLBindCol(s, 1, GIS_TYPE_INT, &length, 4, &ind) == 0 && gis_SQLFetch(s) == 0) {
    gis_SQLFreeStmt(s, GIS_SQL_CLOSE);
    const std::string text = "select B from T where ID=" + idText;
    if (gis_SQLExecDirect(s, text.c_str(), GIS_SQL_NTS) == 0 &&
        gis_SQLBindCol(s, 1, GIS_TYPE_LONGRAW, buffer, sizeof buffer, &ind) == 0 &&
        gis_SQLFetch(s) == 0) {
      out = std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
    }
  }
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  return out;
}

TEST_F(PgSemanticsTest, LocatorWritesReachTheSelectedRow) {
  ASSERT_EQ(Exec("insert into T(ID,B) values(1, EMPTY_BLOB())"), 0) << last_error_;
  ASSERT_EQ(Exec("insert into T(ID,B) values(2, EMPTY_BLOB())"), 0);
  EXPECT_EQ(ReadBlob(hdbc(), 1), "");
  const std::string doc("<a>\0binary\xff</a>", 15);
  ASSERT_EQ(WriteBlob(hdbc(), 1, doc), 0);
  EXPECT_EQ(ReadBlob(hdbc(), 1), doc);
  EXPECT_EQ(ReadBlob(hdbc(), 2), "");
  // A second piece goes to the same row although the first write moved it.
  ASSERT_EQ(WriteBlob(hdbc(), 2, "first-", "second"), 0);
  EXPECT_EQ(ReadBlob(hdbc(), 2), "first-second");
  // Rewriting replaces the whole value.
  ASSERT_EQ(WriteBlob(hdbc(), 1, "short"), 0);
  EXPECT_EQ(ReadBlob(hdbc(), 1), "short");
  EXPECT_EQ(One("select count(*) from T"), "2");
}

TEST_F(PgSemanticsTest, LocatorWriteWithoutRowFails) {
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLPrepare(s, "select B from T where ID=7 for update", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_BLOB, nullptr, 0, &ind), 0);
  ASSERT_EQ(gis_SQLExecute(s), 0);
  EXPECT_EQ(gis_SQLFetch(s), GIS_SQL_NO_DATA);
  void* token = nullptr;
  gis_SQLParamData(s, &token);
  EXPECT_LT(gis_SQLPutData(s, "x", 1), 0);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
}

TEST_F(PgSemanticsTest, WholeBlobParameterAndRowsets) {
  for (int id = 1; id <= 5; ++id) {
    ASSERT_EQ(Exec("insert into T(ID,NAME) values(" + std::to_string(id) + ", 'n" +
                   std::to_string(id) + "')"),
              0);
  }
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  const std::string doc("x\0y", 3);
  std::int16_t ind = 0;
  ASSERT_EQ(gis_SQLPrepare(s, "UPDATE T SET B=:1 WHERE ID=3", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindParameter(s, 1, 1, GIS_TYPE_BLOB, GIS_TYPE_LONGRAW, 0, 0,
                                 const_cast<char*>(doc.data()), 3, &ind),
            0);
  ASSERT_EQ(gis_SQLExecute(s), 0) << Error(s);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  EXPECT_EQ(ReadBlob(hdbc(), 3), doc);

  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  std::int32_t ids[3] = {};
  char names[3][8] = {};
  std::int16_t idInd[3] = {}, nameInd[3] = {};
  std::uint32_t rows = 0;
  ASSERT_EQ(gis_SQLSetStmtOption(s, GIS_SQL_ROWSET_SIZE, 3), 0);
  ASSERT_EQ(gis_SQLExecDirect(s, "select ID, NAME from T order by ID", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_INT, ids, 4, idInd), 0);
  ASSERT_EQ(gis_SQLBindCol(s, 2, GIS_TYPE_STRING, names, 8, nameInd), 0);
  ASSERT_EQ(gis_SQLExtendedFetch(s, GIS_SQL_FETCH_NEXT, 1, &rows, nullptr), 0);
  EXPECT_EQ(rows, 3u);
  EXPECT_EQ(ids[2], 3);
  EXPECT_STREQ(names[2], "n3");
  ASSERT_EQ(gis_SQLExtendedFetch(s, GIS_SQL_FETCH_NEXT, 1, &rows, nullptr), 0);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(ids[1], 5);
  EXPECT_EQ(gis_SQLExtendedFetch(s, GIS_SQL_FETCH_NEXT, 1, &rows, nullptr), GIS_SQL_NO_DATA);
  EXPECT_EQ(rows, 0u);
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

// Repeated single-row inserts of a unit sent several rows per statement, on
// a live server: every value reads back exactly as when it goes one row per
// statement, and a refusal anywhere in a batch of rows (a byte limit, a NULL
// in a NOT NULL column, a key in the way, the connection dropped) fails the
// unit with that refusal's own code and leaves none of its rows behind.
// Rows of a statement that lets them wait for the batch's end do so past
// statements that do not name their table.
#include <libpq-fe.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pg_fixture.h"

namespace metashelf {
namespace testing {
namespace {

class PgHeldRowsTest : public PgDriverTest {
 protected:
  void SetUp() override {
    PgDriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(Exec("CREATE TABLE R(ID NUMBER NOT NULL, V VARCHAR2(4000), N NUMBER)"), 0)
        << last_error_;
    ASSERT_EQ(Exec("CREATE UNIQUE INDEX R_ID ON R(ID)"), 0) << last_error_;
    ASSERT_EQ(Exec("CREATE TABLE S(ID NUMBER NOT NULL)"), 0) << last_error_;
  }

  static std::string Quoted(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
      out += c;
      if (c == '\'') out += '\'';
    }
    return out + "'";
  }

  std::string Insert(int id, const std::string& v, const std::string& n) {
    return "insert into R(ID,V,N) values(" + std::to_string(id) + "," + v + "," + n + ")";
  }

  // The connection's last failure: "state native".
  std::string ConnectionError() {
    char state[6] = {};
    std::int32_t native = 0;
    char message[512] = {};
    std::int16_t length = 0;
    if (gis_SQLError(nullptr, hdbc(), nullptr, state, &native, message, sizeof message, &length) !=
        GIS_SQL_SUCCESS) {
      return "<none>";
    }
    return std::string(state) + " " + std::to_string(native);
  }
};

TEST_F(PgHeldRowsTest, ValuesSentTogetherReadBackAsValuesSentAlone) {
  const std::string texts[] = {
      "plain",
      "it's",
      "back\\slash\\",
      "{braces}",
      "a,b,c",
      "\"quoted\"",
      "",
      "NULL",
      "tab\there",
      "caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac",
      "{\"a\",\\}",
      " ",
      "$1",
      std::string(4000, 'x'),
      std::string(1000, '\'') + "\xe2\x82\xac",
  };
  const char* numbers[] = {
      "0",    "-0",  "1.5", "-2.25e-300",       "1e125", "123456789012345678901234567890",
      "NULL", "0.1", "-7",  "3.14159265358979", "42",    "1e-130",
      "NULL", "9",   "8"};
  // Rows 1.. in one unit, rows 101.. one statement each outside any unit.
  const int count = static_cast<int>(sizeof texts / sizeof texts[0]);
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < count; ++i) {
      const std::string v = i == 6 && pass == 0 ? "NULL" : Quoted(texts[i]);
      ASSERT_EQ(Exec(Insert(pass * 100 + i + 1, v, numbers[i])), 0) << last_error_;
      if (pass == 1) continue;
      // A second shape in between sends the held rows before it.
      if (i == 7) {
        ASSERT_EQ(Exec("insert into R(ID) values(" + std::to_string(50 + i) + ")"), 0);
      }
    }
    if (pass == 0) {
      ASSERT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
    }
  }
  for (int i = 1; i <= count; ++i) {
    SCOPED_TRACE(i);
    const std::string held = "select V from R where ID=" + std::to_string(i);
    const std::string alone = "select V from R where ID=" + std::to_string(100 + i);
    EXPECT_EQ(One(held), One(alone));
    EXPECT_EQ(One("select N from R where ID=" + std::to_string(i)),
              One("select N from R where ID=" + std::to_string(100 + i)));
    if (i != 7) {
      EXPECT_EQ(One(held), texts[i - 1].empty() ? "<null>" : texts[i - 1]);
    }
  }
  EXPECT_EQ(One("select count(*) from R"), std::to_string(2 * count + 1));
  // The unit's rows did go several to a statement.
  EXPECT_NE(One("select count(*) from pg_prepared_statements where statement like '%), (%'"), "0");
}

// A statement that may scan is prepared again as its uses double, so that
// its plan follows a table that grows from nothing; its answers stay right
// while rows are held and queued around each new preparation.
TEST_F(PgHeldRowsTest, AStatementPreparedAgainAsItsUsesDoubleStillAnswersInsideAUnit) {
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  for (int i = 1; i <= 150; ++i) {
    ASSERT_EQ(Exec(Insert(i, "'v'", std::to_string(i))), 0) << last_error_;
    ASSERT_EQ(One("select count(*) from R where N <= " + std::to_string(i)), std::to_string(i));
  }
  ASSERT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
  // Made at first use, then again each time its uses doubled from 64.
  const std::string made =
      One("select count(*) from pg_prepared_statements where statement ilike '%count(*)%n <=%'");
  EXPECT_GE(std::atoi(made.c_str()), 3) << made;
}

TEST_F(PgHeldRowsTest, ARefusalAnywhereInABatchOfRowsFailsTheUnitWithItsOwnCode) {
  enum Fault { kBytes, kNull, kKey, kDropped };
  struct Case {
    const char* name;
    Fault fault;
    int at;             // the row (1-40) that is refused
    const char* error;  // "state native", or the state's class for a lost connection
  };
  const Case cases[] = {
      {"byte limit, first row", kBytes, 1, "22001 12899"},
      {"byte limit, middle row", kBytes, 20, "22001 12899"},
      {"NULL in NOT NULL, last row", kNull, 40, "23000 1400"},
      {"NULL in NOT NULL, middle row", kNull, 33, "23000 1400"},
      {"key in the way, last row of a full batch", kKey, 32, "23000 1"},
      {"connection dropped in the middle", kDropped, 20, "08"},
      {"connection dropped before the last row", kDropped, 40, "08"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (PQstatus(connection()->raw()) != CONNECTION_OK) {
      std::string error;
      ASSERT_TRUE(Reconnect(&error)) << error;
    }
    ASSERT_EQ(Exec("delete from R"), 0) << last_error_;
    ASSERT_EQ(Exec(Insert(1000, "'kept'", "1")), 0) << last_error_;
    const std::string pid = One("select pg_backend_pid() from dual");
    ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
    for (int i = 1; i <= 40; ++i) {
      std::string v = Quoted("row " + std::to_string(i));
      int id = i;
      if (i == c.at && c.fault == kBytes) v = Quoted(std::string(3998, 'x') + "\xc3\xa9\xc3\xa9");
      if (i == c.at && c.fault == kKey) id = 1000;
      std::string text = Insert(id, v, std::to_string(i));
      if (i == c.at && c.fault == kNull) text = "insert into R(ID,V,N) values(NULL,'n',1)";
      if (i == c.at && c.fault == kDropped) {
        PGconn* other = PQconnectdb(fresh_conninfo().c_str());
        ASSERT_EQ(PQstatus(other), CONNECTION_OK);
        PQclear(PQexec(other, ("select pg_terminate_backend(" + pid + ")").c_str()));
        PQfinish(other);
      }
      // Held or queued: nothing is refused before the unit's end. The rows
      // of a second table are held beside them.
      Exec(text);
      Exec("insert into S(ID) values(" + std::to_string(i) + ")");
    }
    EXPECT_LT(gis_SQLEndUnit(hdbc(), 1), 0);
    const std::string error = ConnectionError();
    EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error);
    PGconn* other = PQconnectdb(fresh_conninfo().c_str());
    ASSERT_EQ(PQstatus(other), CONNECTION_OK);
    PGresult* r =
        PQexec(other, "select string_agg(id::text, ','), (select count(*) from s) from r");
    EXPECT_STREQ(PQgetvalue(r, 0, 0), "1000");
    EXPECT_STREQ(PQgetvalue(r, 0, 1), "0");
    PQclear(r);
    PQfinish(other);
    if (c.fault != kDropped) {
      // The connection serves the next unit.
      ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
      for (int i = 1; i <= 3; ++i) EXPECT_EQ(Exec(Insert(i, "'x'", "1")), 0);
      EXPECT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
      EXPECT_EQ(One("select count(*) from R"), "4");
      ASSERT_EQ(Exec("delete from S"), 0);
    }
  }
}

TEST_F(PgHeldRowsTest, RowsForTheBatchEndWaitUntilTheirTableIsNamedOrTheBatchEnds) {
  ASSERT_EQ(Exec("CREATE TABLE HELD_WORDS(ID NUMBER NOT NULL PRIMARY KEY)"), 0) << last_error_;
  ASSERT_EQ(Exec("CREATE VIEW VIEW_OF_ROWS AS SELECT ID FROM HELD_WORDS"), 0) << last_error_;
  gis_SQLHSTMT insert = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &insert), GIS_SQL_SUCCESS);
  std::int32_t id = 0;
  ASSERT_EQ(gis_SQLPrepare(insert, "insert into HELD_WORDS(ID) values(:1)", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLSetStmtOption(insert, GIS_SQL_ROWS_TO_BATCH_END, 2), GIS_SQL_ERROR);
  ASSERT_EQ(gis_SQLSetStmtOption(insert, GIS_SQL_ROWS_TO_BATCH_END, 1), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLBindParameter(insert, 1, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0, 0, &id, 4, nullptr),
            GIS_SQL_SUCCESS);
  const auto add = [&](std::int32_t value) {
    id = value;
    return gis_SQLExecute(insert);
  };
  // In a batch the rows wait past other statements, a query through a view
  // that does not name the table included, until a statement names it.
  ASSERT_EQ(gis_SQLBeginBatch(hdbc()), GIS_SQL_SUCCESS);
  for (std::int32_t k = 1; k <= 3; ++k) {
    ASSERT_EQ(add(k), GIS_SQL_SUCCESS);
    ASSERT_EQ(Exec("insert into S(ID) values(" + std::to_string(k) + ")"), 0) << last_error_;
  }
  EXPECT_EQ(One("select count(*) from VIEW_OF_ROWS"), "0");
  EXPECT_EQ(One("select count(*) from held_words"), "3");
  EXPECT_EQ(One("select count(*) from VIEW_OF_ROWS"), "3");
  for (std::int32_t k = 4; k <= 70; ++k) ASSERT_EQ(add(k), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
  EXPECT_EQ(One("select count(*) from VIEW_OF_ROWS"), "70");
  // A batch undone drops them; one whose rows are refused at its end fails
  // whole; outside a batch they go before the next statement.
  ASSERT_EQ(gis_SQLBeginBatch(hdbc()), GIS_SQL_SUCCESS);
  ASSERT_EQ(add(71), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLEndUnit(hdbc(), 0), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLBeginBatch(hdbc()), GIS_SQL_SUCCESS);
  ASSERT_EQ(add(72), GIS_SQL_SUCCESS);
  ASSERT_EQ(add(5), GIS_SQL_SUCCESS);
  EXPECT_LT(gis_SQLEndUnit(hdbc(), 1), 0);
  EXPECT_EQ(ConnectionError(), "23000 1");
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  ASSERT_EQ(add(73), GIS_SQL_SUCCESS);
  EXPECT_EQ(One("select count(*) from VIEW_OF_ROWS"), "71");
  ASSERT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
  EXPECT_EQ(One("select count(*) from HELD_WORDS where ID > 69"), "2");
  EXPECT_EQ(One("select count(*) from HELD_WORDS where ID in (70, 73)"), "2");
  gis_SQLFreeStmt(insert, GIS_SQL_DROP);
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

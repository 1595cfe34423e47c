// Write units and statement savepoints on a live PostgreSQL server: row
// changes queued in a unit report their failures truthfully (at the next
// statement that waits, or at the unit's end), a failed unit leaves nothing
// behind whether or not the host holds a transaction, a failed statement in
// the host's transaction undoes only itself, and a connection dropped in
// the middle of a unit is reported as lost, never as success.
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pg_fixture.h"

namespace metashelf {
namespace testing {
namespace {

class PgPipelineTest : public PgDriverTest {
 protected:
  void SetUp() override {
    PgDriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_EQ(Exec("CREATE TABLE T(ID NUMBER NOT NULL, NAME VARCHAR2(40), B BLOB)"), 0)
        << last_error_;
    ASSERT_EQ(Exec("CREATE UNIQUE INDEX T_ID ON T(ID)"), 0) << last_error_;
  }

  // The connection's last failure as gis_SQLError reports it without a
  // statement: "state native".
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

  std::string Ids() { return Lines("select ID from T order by ID"); }

  // The bytes of B in row `id`, read whole ("<failed>" when they could not be).
  std::string StoredB(int id) {
    const std::string where = " from T where ID=" + std::to_string(id);
    const long length = std::atol(One("select dbms_lob.getlength(B)" + where).c_str());
    gis_SQLHSTMT s = nullptr;
    if (length < 1 || gis_SQLAllocStmt(hdbc(), &s) != GIS_SQL_SUCCESS) return "<failed>";
    std::string out(static_cast<std::size_t>(length), '\0');
    std::int16_t indicator = -1;
    const bool ok = gis_SQLExecDirect(s, ("select B" + where).c_str(), GIS_SQL_NTS) == 0 &&
                    gis_SQLBindCol(s, 1, GIS_TYPE_LONGRAW, &out[0],
                                   static_cast<std::int32_t>(out.size()), &indicator) == 0 &&
                    gis_SQLFetch(s) == 0;
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    return ok && indicator == 0 ? out : "<failed>";
  }

  driver::postgresql::PgConnection* Pg() {
    return static_cast<driver::postgresql::PgConnection*>(hdbc()->connection);
  }
  // Transaction control as the host object runs it.
  bool Host(const char* text) {
    driver::Diagnostic d;
    return Pg()->Run(text, {}, &d) != nullptr;
  }
};

TEST_F(PgPipelineTest, AFailureAnywhereInAUnitFailsItWholeAndLeavesTheRestStanding) {
  struct Case {
    const char* name;
    bool hostTransaction;
    int failAt;  // 1-5: the statement of the unit that meets the row in its way; 0: none
  };
  const Case cases[] = {
      {"no host transaction, all succeed", false, 0},
      {"no host transaction, first fails", false, 1},
      {"no host transaction, last fails", false, 5},
      {"host transaction, all succeed", true, 0},
      {"host transaction, middle fails", true, 3},
      {"host transaction, last fails", true, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Exec("delete from T"), 0) << last_error_;
    if (c.failAt > 0) {
      ASSERT_EQ(Exec("insert into T(ID) values(" + std::to_string(100 + c.failAt) + ")"), 0);
    }
    if (c.hostTransaction) {
      ASSERT_TRUE(Host("BEGIN"));
      ASSERT_EQ(Exec("insert into T(ID) values(1)"), 0) << last_error_;
    }
    ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
    // Queued: every insert is reported sent, the failing one included.
    for (int i = 1; i <= 5; ++i) {
      EXPECT_EQ(Exec("insert into T(ID,NAME) values(" + std::to_string(100 + i) + ", 'u')"), 0)
          << last_error_;
    }
    const std::int16_t end = gis_SQLEndUnit(hdbc(), 1);
    std::string expected = c.hostTransaction ? "1\n" : "";
    if (c.failAt == 0) {
      EXPECT_EQ(end, GIS_SQL_SUCCESS);
      expected += "101\n102\n103\n104\n105\n";
    } else {
      EXPECT_LT(end, 0);
      EXPECT_EQ(ConnectionError(), "23000 1");  // the unique key, as Oracle numbers it
      expected += std::to_string(100 + c.failAt) + "\n";
    }
    if (c.hostTransaction) {
      // The host's transaction goes on and commits what it did itself.
      EXPECT_EQ(Exec("insert into T(ID) values(2)"), 0) << last_error_;
      ASSERT_TRUE(Host("COMMIT"));
      expected.insert(2, "2\n");
    }
    EXPECT_EQ(Ids(), expected);
    EXPECT_EQ(PQtransactionStatus(Pg()->raw()), PQTRANS_IDLE);
  }
}

TEST_F(PgPipelineTest, AStatementThatWaitsReportsAQueuedFailureAndTheUnitRefusesTheRest) {
  ASSERT_EQ(Exec("insert into T(ID) values(7)"), 0);
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  EXPECT_EQ(Exec("insert into T(ID) values(8)"), 0);
  EXPECT_EQ(Exec("insert into T(ID) values(7)"), 0);  // queued: its failure is not known yet
  // The query reads the queue first and fails with the insert's reason.
  EXPECT_NE(One("select count(*) from T").find("<error: 23000 1 "), std::string::npos);
  EXPECT_LT(Exec("insert into T(ID) values(9)"), 0);
  EXPECT_EQ(last_error_.substr(0, 8), "23000 1 ");
  EXPECT_LT(gis_SQLEndUnit(hdbc(), 1), 0);
  EXPECT_EQ(ConnectionError(), "23000 1");
  EXPECT_EQ(Ids(), "7\n");
  // The connection serves the next unit.
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  EXPECT_EQ(Exec("insert into T(ID) values(9)"), 0);
  EXPECT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS);
  EXPECT_EQ(Ids(), "7\n9\n");
  // Given up on, a unit undoes even what succeeded; an end without a unit fails.
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  EXPECT_EQ(Exec("insert into T(ID) values(10)"), 0);
  EXPECT_EQ(gis_SQLEndUnit(hdbc(), 0), GIS_SQL_SUCCESS);
  EXPECT_EQ(Ids(), "7\n9\n");
  EXPECT_LT(gis_SQLEndUnit(hdbc(), 1), 0);
}

TEST_F(PgPipelineTest, AFailedStatementInTheHostsTransactionUndoesOnlyItself) {
  ASSERT_EQ(Exec("insert into T(ID) values(1)"), 0);
  ASSERT_TRUE(Host("BEGIN"));
  ASSERT_EQ(Exec("insert into T(ID) values(2)"), 0) << last_error_;
  // A key in the way, a division by zero, a table that is not there.
  EXPECT_LT(Exec("insert into T(ID) values(1)"), 0);
  EXPECT_EQ(last_error_.substr(0, 8), "23000 1 ");
  EXPECT_EQ(One("select ID/(ID-2) from T where ID=2").substr(0, 14), "<error: 22012 ");
  EXPECT_EQ(One("select count(*) from NO_SUCH_TABLE").substr(0, 14), "<error: 42S02 ");
  EXPECT_LT(Exec("update T set ID = 1 where ID = 2"), 0);
  ASSERT_EQ(Exec("insert into T(ID) values(3)"), 0) << last_error_;
  ASSERT_TRUE(Host("COMMIT"));
  EXPECT_EQ(Ids(), "1\n2\n3\n");
}

TEST_F(PgPipelineTest, BlobPiecesQueuedInAUnitAreWrittenWhole) {
  ASSERT_EQ(Exec("insert into T(ID,B) values(1, EMPTY_BLOB())"), 0) << last_error_;
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  gis_SQLHSTMT s = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
  std::int16_t indicator = 0;
  ASSERT_EQ(gis_SQLPrepare(s, "select B from T where ID=1 for update", GIS_SQL_NTS), 0);
  ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_BLOB, nullptr, 0, &indicator), 0);
  ASSERT_EQ(gis_SQLExecute(s), 0) << Error(s);
  ASSERT_EQ(gis_SQLFetch(s), 0) << Error(s);
  void* token = nullptr;
  ASSERT_EQ(gis_SQLParamData(s, &token), GIS_SQL_NEED_DATA);
  // The second and third pieces need the row's place after the queued first.
  for (const char* piece : {"abc", "defg", "h"}) {
    ASSERT_EQ(gis_SQLPutData(s, piece, static_cast<std::int32_t>(std::strlen(piece))), 0)
        << Error(s);
  }
  gis_SQLFreeStmt(s, GIS_SQL_DROP);
  ASSERT_EQ(gis_SQLEndUnit(hdbc(), 1), GIS_SQL_SUCCESS) << ConnectionError();
  EXPECT_EQ(One("select dbms_lob.getlength(B) from T where ID=1"), "8");
}

// A locator select inside a unit sends nothing: each piece written through
// its first row is queued as an update that finds that row itself. A second
// fetch runs the select (never giving the written row again), and a row that
// is not there fails the unit at its end, undoing the rest of it.
TEST_F(PgPipelineTest, HeldBackLocatorsWriteTheRowsTheirSelectFinds) {
  struct Case {
    const char* where;   // of the locator select
    const char* steps;   // F a fetch giving a row, N one giving none, a letter a piece put
    const char* stored;  // B of rows 1 and 2 after the unit; null: the unit fails
  };
  const Case cases[] = {
      {"ID=1", "Fab", "ab\n\n"}, {"ID=9", "Fa", nullptr}, {"ID<3", "FxFyN", "xy"},
      {"ID<3", "FFN", "\n\n"},   {"ID=2", "FN", "\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.where) + " " + c.steps);
    ASSERT_EQ(Exec("delete from T"), 0) << last_error_;
    ASSERT_EQ(Exec("insert into T(ID,B) values(1, EMPTY_BLOB())"), 0) << last_error_;
    ASSERT_EQ(Exec("insert into T(ID,B) values(2, EMPTY_BLOB())"), 0) << last_error_;
    ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
    ASSERT_EQ(Exec("insert into T(ID) values(5)"), 0) << last_error_;
    gis_SQLHSTMT s = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
    std::int16_t indicator = -1;
    const std::string select = std::string("select B from T where ") + c.where + " for update";
    ASSERT_EQ(gis_SQLPrepare(s, select.c_str(), GIS_SQL_NTS), 0);
    ASSERT_EQ(gis_SQLBindCol(s, 1, GIS_TYPE_BLOB, nullptr, 0, &indicator), 0);
    ASSERT_EQ(gis_SQLExecute(s), 0) << Error(s);
    for (const char* step = c.steps; *step != '\0'; ++step) {
      if (*step == 'F' || *step == 'N') {
        EXPECT_EQ(gis_SQLFetch(s), *step == 'F' ? 0 : GIS_SQL_NO_DATA) << Error(s);
        void* token = nullptr;
        if (*step == 'F') {
          EXPECT_EQ(indicator, 0);
          EXPECT_EQ(gis_SQLParamData(s, &token), GIS_SQL_NEED_DATA);
        }
      } else {
        EXPECT_EQ(gis_SQLPutData(s, step, 1), 0) << Error(s);
      }
    }
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    const std::int16_t end = gis_SQLEndUnit(hdbc(), 1);
    if (c.stored == nullptr) {
      EXPECT_LT(end, 0);
      EXPECT_EQ(ConnectionError(), "HY000 22920");
      EXPECT_EQ(Ids(), "1\n2\n");
      continue;
    }
    ASSERT_EQ(end, GIS_SQL_SUCCESS) << ConnectionError();
    std::string stored = Lines("select B from T where ID<3 order by ID");
    if (std::string(c.where) == "ID<3" && stored.size() == 4) {
      // Which row the select gives first is the server's choice.
      stored = stored[0] < stored[2] ? std::string{stored[0], stored[2]}
                                     : std::string{stored[2], stored[0]};
    }
    EXPECT_EQ(stored, c.stored);
    EXPECT_EQ(Ids(), "1\n2\n5\n");
  }
}

// A record's documents travel as whole values with their row's insert,
// queued in the record's unit: the bytes arrive exactly (NULs, sizes beyond
// the socket buffers), and a failure of that insert, the last statement
// before the unit's end, or a connection lost with it in flight, leaves
// nothing of the unit behind.
TEST_F(PgPipelineTest, WholeValuesQueuedWithTheirRowArriveExactlyOrNotAtAll) {
  std::string big(3 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) >> 3);
  struct Case {
    const char* name;
    std::string value;
    enum { kStored, kKeyInTheWay, kConnectionLost } outcome;
  };
  const Case cases[] = {
      {"text", "<metadata>x</metadata>", Case::kStored},
      {"bytes with NULs", std::string("\0\1\xff\0z", 5), Case::kStored},
      {"larger than the socket buffers", big, Case::kStored},
      {"the row's key in the way", "doc", Case::kKeyInTheWay},
      {"the connection lost with the value in flight", big, Case::kConnectionLost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(Exec("delete from T"), 0) << last_error_;
    if (c.outcome == Case::kKeyInTheWay) {
      ASSERT_EQ(Exec("insert into T(ID) values(2)"), 0);
    }
    const std::string pid = One("select pg_backend_pid() from dual");
    ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
    ASSERT_EQ(Exec("insert into T(ID) values(1)"), 0) << last_error_;
    gis_SQLHSTMT s = nullptr;
    ASSERT_EQ(gis_SQLAllocStmt(hdbc(), &s), 0);
    ASSERT_EQ(gis_SQLPrepare(s, "insert into T(ID,B) values(2,:1)", GIS_SQL_NTS), 0) << Error(s);
    std::string bound = c.value;
    ASSERT_EQ(gis_SQLBindParameter(s, 1, 1, GIS_TYPE_BLOB, GIS_TYPE_BLOB, 0, 0, &bound[0],
                                   static_cast<std::int32_t>(bound.size()), nullptr),
              0);
    if (c.outcome == Case::kConnectionLost) {
      PGconn* other = PQconnectdb(fresh_conninfo().c_str());
      ASSERT_EQ(PQstatus(other), CONNECTION_OK);
      PQclear(PQexec(other, ("select pg_terminate_backend(" + pid + ")").c_str()));
      PQfinish(other);
    }
    // Queued: sent, its result read only at the unit's end.
    const std::int16_t sent = gis_SQLExecute(s);
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    const std::int16_t end = gis_SQLEndUnit(hdbc(), 1);
    switch (c.outcome) {
      case Case::kStored:
        EXPECT_EQ(sent, 0);
        ASSERT_EQ(end, GIS_SQL_SUCCESS) << ConnectionError();
        EXPECT_EQ(One("select dbms_lob.getlength(B) from T where ID=2"),
                  std::to_string(c.value.size()));
        EXPECT_TRUE(StoredB(2) == c.value);
        EXPECT_EQ(Ids(), "1\n2\n");
        break;
      case Case::kKeyInTheWay:
        EXPECT_EQ(sent, 0);
        EXPECT_LT(end, 0);
        EXPECT_EQ(ConnectionError(), "23000 1");
        EXPECT_EQ(Ids(), "2\n");
        EXPECT_EQ(One("select dbms_lob.getlength(B) from T"), "<null>");
        break;
      case Case::kConnectionLost: {
        EXPECT_LT(end, 0);
        EXPECT_EQ(ConnectionError().substr(0, 2), "08");
        PGconn* other = PQconnectdb(fresh_conninfo().c_str());
        ASSERT_EQ(PQstatus(other), CONNECTION_OK);
        PGresult* r = PQexec(other, "select count(*) from t");
        EXPECT_STREQ(PQgetvalue(r, 0, 0), "0");
        PQclear(r);
        PQfinish(other);
        break;
      }
    }
  }
}

TEST_F(PgPipelineTest, AConnectionDroppedInTheMiddleOfAUnitIsReportedLost) {
  const std::string pid = One("select pg_backend_pid() from dual");
  ASSERT_TRUE(!pid.empty() && pid[0] >= '1' && pid[0] <= '9') << pid;
  ASSERT_EQ(gis_SQLBeginUnit(hdbc()), GIS_SQL_SUCCESS);
  EXPECT_EQ(Exec("insert into T(ID) values(1)"), 0);
  PGconn* other = PQconnectdb(fresh_conninfo().c_str());
  ASSERT_EQ(PQstatus(other), CONNECTION_OK);
  PQclear(PQexec(other, ("select pg_terminate_backend(" + pid + ")").c_str()));
  PQfinish(other);
  // Whatever was queued or sent later, the end cannot claim it written.
  Exec("insert into T(ID) values(2)");
  EXPECT_LT(gis_SQLEndUnit(hdbc(), 1), 0);
  EXPECT_EQ(ConnectionError().substr(0, 2), "08");
  // Later calls fail cleanly rather than hang or crash.
  EXPECT_LT(Exec("insert into T(ID) values(3)"), 0);
  EXPECT_LT(gis_SQLBeginUnit(hdbc()), 0);
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

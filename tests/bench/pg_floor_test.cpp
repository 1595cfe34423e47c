// The PostgreSQL floor on a hand-made owner schema: the scratch copies get
// the owner's columns and index shapes (the value index left for after the
// rows in the late copy), the rows present before, and then exactly the
// rows added since, every value surviving the binary round trip, whether
// written by pipelined inserts or by COPY.
#include "pg_floor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/postgresql_fresh.h"

namespace metashelf::bench {
namespace {

class PgFloorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    METASHELF_REQUIRE_POSTGRESQL();
    ASSERT_FALSE(fresh_.conninfo().empty()) << fresh_.error();
    conn_ = PQconnectdb(fresh_.conninfo().c_str());
    ASSERT_EQ(PQstatus(conn_), CONNECTION_OK) << PQerrorMessage(conn_);
    Exec("SET client_min_messages = warning");
    Exec("CREATE SCHEMA own");
    Exec(
        "CREATE TABLE own.krdb_meta_info(meta_id numeric NOT NULL PRIMARY KEY,"
        "remark varchar(512) COLLATE \"C\", crttime timestamp(0))");
    Exec("CREATE TABLE own.meta_structinfo_7(metaid numeric NOT NULL, struct_info bytea)");
    Exec(
        "CREATE TABLE own.meta_ndtext_7(metaid numeric NOT NULL, nodeguid numeric NOT NULL,"
        "position numeric NOT NULL, nodevalue varchar(4000) COLLATE \"C\")");
    Exec("CREATE INDEX meta_ndtext_7_id ON own.meta_ndtext_7(metaid)");
    Exec("CREATE INDEX meta_ndtext_7_nv ON own.meta_ndtext_7(nodeguid, left(nodevalue, 512))");
    Exec("INSERT INTO own.krdb_meta_info VALUES(1, 'before', '2026-12-07 10:00:00')");
  }
  void TearDown() override {
    if (conn_ != nullptr) PQfinish(conn_);
  }

  void Exec(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    PQclear(r);
    ASSERT_TRUE(status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
        << PQerrorMessage(conn_) << " in " << sql;
  }

  // Every row of `sql`, its columns joined by '|' (NULL as <null>).
  std::vector<std::string> Rows(const std::string& sql) {
    std::vector<std::string> rows;
    PGresult* r = PQexec(conn_, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
      rows.push_back(std::string("error: ") + PQerrorMessage(conn_));
    }
    for (int i = 0; PQresultStatus(r) == PGRES_TUPLES_OK && i < PQntuples(r); ++i) {
      std::string row;
      for (int c = 0; c < PQnfields(r); ++c) {
        row += (PQgetisnull(r, i, c) ? std::string("<null>") : PQgetvalue(r, i, c)) + "|";
      }
      rows.push_back(row);
    }
    PQclear(r);
    return rows;
  }

  // What an import adds: a catalog row, a structure row with a document,
  // node rows (long values, NULLs, numbers beyond 64 bits); and a row it
  // only updates.
  void Import() {
    Exec("INSERT INTO own.krdb_meta_info VALUES(2, 'added', '2026-12-07 11:30:15')");
    Exec("UPDATE own.krdb_meta_info SET remark = 'updated' WHERE meta_id = 1");
    Exec("INSERT INTO own.meta_structinfo_7 VALUES(2, '\\x00ff0010'::bytea)");
    Exec(
        "INSERT INTO own.meta_ndtext_7 SELECT 2, 10 + g % 4, g, CASE WHEN g % 10 = 0 THEN NULL "
        "ELSE repeat('v', g * 20) || g END FROM generate_series(0, 38) g");
    Exec("INSERT INTO own.meta_ndtext_7 VALUES(123456789012345678901234.5, 11, 0, 'wide id')");
  }

  // Rows in one table and not the other, both ways.
  std::vector<std::string> Difference(const std::string& a, const std::string& b) {
    return Rows("SELECT 'only in " + a + "', * FROM (SELECT * FROM " + a + " EXCEPT ALL SELECT * " +
                "FROM " + b + ") x UNION ALL SELECT 'only in " + b + "', * FROM (SELECT * FROM " +
                b + " EXCEPT ALL SELECT * FROM " + a + ") y");
  }

  // The index definitions of `schema`, spelled as if they were own's.
  std::vector<std::string> Indexes(const std::string& schema) {
    return Rows("SELECT indexname, replace(indexdef, ' ON " + schema +
                ".', ' ON own.') FROM pg_indexes WHERE schemaname = '" + schema + "' ORDER BY 1");
  }

  metashelf::testing::PgFreshDatabase fresh_;
  PGconn* conn_ = nullptr;
};

TEST_F(PgFloorTest, CopiesWriteExactlyTheAddedRowsWithTheOwnersIndexShapes) {
  PgFloor floor(conn_);
  ASSERT_TRUE(floor.Prepare("own", "s_late", true)) << floor.error();
  ASSERT_TRUE(floor.Prepare("own", "s_all", false)) << floor.error();
  ASSERT_TRUE(floor.Prepare("own", "s_copy", false)) << floor.error();
  // Before the rows: the late copy lacks only the value index.
  std::vector<std::string> withoutValueIndex = Indexes("own");
  withoutValueIndex.erase(withoutValueIndex.begin() + 2);  // krdb pkey, _id, _nv
  EXPECT_EQ(Indexes("s_late"), withoutValueIndex);
  EXPECT_EQ(Indexes("s_all"), Indexes("own"));

  const std::int64_t before = PgSchemaBytes(conn_, "own");
  Import();
  EXPECT_GT(PgSchemaBytes(conn_, "own"), before);
  EXPECT_EQ(PgSchemaBytes(conn_, "no_such_schema"), 0);

  ASSERT_TRUE(floor.Capture()) << floor.error();
  EXPECT_EQ(floor.rows(), 42);
  EXPECT_EQ(floor.leafRows(), 40);
  const std::pair<const char*, PgFloor::Mode> runs[] = {
      {"s_late", PgFloor::Mode::kPipelined},
      {"s_all", PgFloor::Mode::kPipelined},
      {"s_copy", PgFloor::Mode::kCopy},
  };
  for (const auto& [scratch, mode] : runs) {
    SCOPED_TRACE(scratch);
    FloorTime time;
    ASSERT_TRUE(floor.Run(scratch, mode, &time)) << floor.error();
    EXPECT_EQ(time.indexesBuilt, std::string(scratch) == "s_late" ? 1 : 0);
    const std::string s = scratch;
    EXPECT_EQ(Difference("own.meta_ndtext_7", s + ".meta_ndtext_7"), std::vector<std::string>{});
    EXPECT_EQ(Difference("own.meta_structinfo_7", s + ".meta_structinfo_7"),
              std::vector<std::string>{});
    EXPECT_EQ(Rows("SELECT * FROM " + s + ".krdb_meta_info ORDER BY meta_id"),
              (std::vector<std::string>{"1|before|2026-12-07 10:00:00|",
                                        "2|added|2026-12-07 11:30:15|"}));
    EXPECT_EQ(Indexes(s), Indexes("own"));
  }
}

TEST_F(PgFloorTest, ARowTheCopyRefusesFailsTheRunAndLeavesTheConnectionReady) {
  PgFloor floor(conn_);
  ASSERT_TRUE(floor.Prepare("own", "s_all", false)) << floor.error();
  Import();
  ASSERT_TRUE(floor.Capture()) << floor.error();
  Exec("CREATE UNIQUE INDEX in_the_way ON s_all.meta_structinfo_7(metaid)");
  for (const PgFloor::Mode mode : {PgFloor::Mode::kPipelined, PgFloor::Mode::kCopy}) {
    SCOPED_TRACE(static_cast<int>(mode));
    Exec("INSERT INTO s_all.meta_structinfo_7 VALUES(2, NULL)");
    FloorTime time;
    EXPECT_FALSE(floor.Run("s_all", mode, &time));
    EXPECT_NE(floor.error().find("meta_structinfo_7"), std::string::npos) << floor.error();
    EXPECT_EQ(PQtransactionStatus(conn_), PQTRANS_IDLE);
    EXPECT_EQ(PQpipelineStatus(conn_), PQ_PIPELINE_OFF);
    EXPECT_EQ(Rows("SELECT count(*) FROM s_all.krdb_meta_info"), std::vector<std::string>{"1|"});

    // With the obstacle gone the same floor runs again: nothing of the
    // failed run (statements, transaction) is left behind.
    Exec("DELETE FROM s_all.meta_structinfo_7");
    ASSERT_TRUE(floor.Run("s_all", mode, &time)) << floor.error();
    EXPECT_EQ(Difference("own.meta_ndtext_7", "s_all.meta_ndtext_7"), std::vector<std::string>{});
    EXPECT_FALSE(floor.Run("s_none", mode, &time));
    Exec(
        "DELETE FROM s_all.meta_ndtext_7; DELETE FROM s_all.meta_structinfo_7;"
        "DELETE FROM s_all.krdb_meta_info WHERE meta_id = 2");
  }
}

}  // namespace
}  // namespace metashelf::bench

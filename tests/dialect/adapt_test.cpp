// The SQLite target of the dialect adapter, from tables: Oracle input and the
// exact text it must become, and inputs that must be refused.
#include <gtest/gtest.h>

#include <chrono>

#include "dialect/dialect.h"
#include "dialect/tokenizer.h"
#include "support/adapt_cases.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

class SqliteAdaptTest : public ::testing::TestWithParam<Case> {};

TEST_P(SqliteAdaptTest, GivesExpectedText) {
  EXPECT_TRUE(AdaptsTo(Target::kSQLite, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(
    Rewrites, SqliteAdaptTest,
    ::testing::Values(
        Case{"SELECT COUNT(*) FROM GEO.KRDB_META_SCHEMA WHERE MTDB_ID=3",
             "SELECT COUNT(*) FROM \"GEO.KRDB_META_SCHEMA\" WHERE MTDB_ID=3"},
        Case{"SELECT GEO.KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL",
             "SELECT ms_nextval('GEO','KRSQ_SCHEMANODEID') FROM (SELECT 'X' AS DUMMY) DUAL"},
        Case{"select seq.nextval from dual",
             "select ms_nextval('','SEQ') from (SELECT 'X' AS DUMMY) DUAL"},
        Case{"ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 41",
             "SELECT ms_alter_sequence('GEO','KRSQ_SCHEMANODEID',41)"},
        Case{"ALTER SEQUENCE geo.s INCREMENT BY -2", "SELECT ms_alter_sequence('GEO','S',-2)"},
        Case{"SELECT SYSDATE FROM GEO.KRDB_META_SET WHERE COL_ID=4",
             "SELECT datetime('now','localtime') FROM \"GEO.KRDB_META_SET\" WHERE COL_ID=4"},
        // Quoted parts written as Oracle folds names are the unquoted ones;
        // other quoted names stay as written.
        Case{"select \"T\".\"A\" from \"G\".\"T\" where G.\"T\".B=1",
             "select \"T\".\"A\" from \"G.T\" T where \"T\".B=1"},
        Case{"select a from \"G\".\"t\", \"g\".T", "select a from \"G\".\"t\", \"g\".T"},
        Case{"select dbms_lob.getlength(STRUCT_INFO) from G.META_STRUCTINFO_7 where MetaID=5",
             "select ms_lob_length(STRUCT_INFO) from \"G.META_STRUCTINFO_7\" where MetaID=5"},
        Case{"insert into G.META_STRUCTINFO_7 values(5,EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())",
             "insert into \"G.META_STRUCTINFO_7\" values(5,X'',X'',X'')"},
        Case{"insert into G.T values(1,2,3,to_date('2001-01-01','YYYY-MM-DD'))",
             "insert into \"G.T\" values(1,2,3,to_date('2001-01-01','YYYY-MM-DD'))"},
        Case{"UPDATE G.KRDB_META_SCHEMA SET SCHEMADOC=:1 WHERE SCHEMA_ID=4",
             "UPDATE \"G.KRDB_META_SCHEMA\" SET SCHEMADOC=?1 WHERE SCHEMA_ID=4"},
        Case{"select a from t where b=:x and c=:y and d=:x",
             "select a from t where b=?1 and c=?2 and d=?1"},
        Case{"insert into t values('')", "insert into t values(NULL)"},
        Case{"select 'it''s', '' from t where a = 'x'''''",
             "select 'it''s', NULL from t where a = 'x'''''"},
        Case{"select ':1 SYSDATE dual -- ' from t", "select ':1 SYSDATE dual -- ' from t"},
        Case{"select STRUCT_INFO from G.META_STRUCTINFO_7 where MetaID=5 for update",
             "select STRUCT_INFO ,_ROWID_ from \"G.META_STRUCTINFO_7\" where MetaID=5"},
        Case{"CREATE TABLE G.META_NDTEXT_7(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,"
             "POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))",
             "CREATE TABLE \"G.META_NDTEXT_7\"(MetaID NUMERIC NOT NULL,NODEGUID NUMERIC NOT NULL,"
             "POSITION NUMERIC NOT NULL,NODEVALUE TEXT CONSTRAINT \"MS_BYTES_NODEVALUE\" "
             "CHECK(ms_byte_limit(NODEVALUE,4000,'NODEVALUE')))"},
        Case{"CREATE TABLE G.T(MetaID NUMBER(10,2), NODEVALUE DATE, B BLOB)",
             "CREATE TABLE \"G.T\"(MetaID NUMERIC, NODEVALUE TEXT, B BLOB)"},
        Case{"CREATE INDEX G.META_NDTEXT_7_NV ON G.META_NDTEXT_7(NODEGUID,NODEVALUE)",
             "CREATE INDEX \"G.META_NDTEXT_7_NV\" ON \"G.META_NDTEXT_7\"(NODEGUID,NODEVALUE)"},
        Case{"select 1 from t;", "select 1 from t"},
        Case{"select a from t minus select a from u", "select a from t EXCEPT select a from u"},
        Case{"(select a from t) minus (select a from u)",
             "SELECT * FROM (select a from t) EXCEPT SELECT * FROM (select a from u)"},
        // Compound selects: equal precedence, left to right, parenthesised operands kept.
        Case{"select a from t union all select a from u intersect select a from v",
             "select a from t union all select a from u intersect select a from v"},
        Case{"(select a from t union all select a from u) intersect select a from v",
             "SELECT * FROM (select a from t union all select a from u) intersect select a from v"},
        Case{"select a from t union all (select a from u intersect select a from v)",
             "select a from t union all SELECT * FROM (select a from u intersect select a from v)"},
        Case{"((select a from t) union all (select a from u))",
             "SELECT * FROM (SELECT * FROM (select a from t) union all SELECT * FROM (select a "
             "from u))"},
        Case{"select x from w where x in ((select a from t) intersect select a from u)",
             "select x from w where x in (SELECT * FROM (select a from t) intersect select a from "
             "u)"},
        Case{"select x from w where (x+1)*2 > (select max(a) from t)",
             "select x from w where (x+1)*2 > (select max(a) from t)"},
        // Owners' tables are "OWNER.TABLE" in the one database file: in every
        // table position, with the bare name as alias where it qualifies a
        // column, and never for alias.column.
        Case{"select a.NODEVALUE from g.t a, G.U where a.X = u.X and G.U.Y = 1",
             "select a.NODEVALUE from \"G.T\" a, \"G.U\" U where a.X = u.X and U.Y = 1"},
        Case{"select T.X from G.T join G.V on T.X = V.X",
             "select T.X from \"G.T\" T join \"G.V\" V on T.X = V.X"},
        Case{"delete from G.T where X in (select X from G.U)",
             "delete from \"G.T\" where X in (select X from \"G.U\")"},
        Case{"CREATE TABLE IF NOT EXISTS G.T(X NUMBER)",
             "CREATE TABLE IF NOT EXISTS \"G.T\"(X NUMERIC)"},
        Case{"CREATE INDEX G.T_X ON T(X)", "CREATE INDEX \"G.T_X\" ON \"G.T\"(X)"},
        Case{"DROP INDEX G.T_X", "DROP INDEX \"G.T_X\""},
        Case{"select name from G.sqlite_master where type='index'",
             "select name from SQLITE_MASTER where type='index'"}));

TEST(SqliteAdaptRefusals, RefusesWhatOracleRefusesOrWeCannotRun) {
  const char* refused[] = {
      "ALTER SEQUENCE G.S INCREMENT BY 0",
      "ALTER SEQUENCE G.S INCREMENT BY :1",
      "ALTER SEQUENCE G.S RESTART",
      "select 'unterminated from t",
      "select \"unterminated from t",
      "select /* open comment from t",
      "select 1 from t; drop table t",
      "BEGIN G.KRPG_MD.schema_Del(:1); G.KRPG_MD.schema_Del(:2); END;",
      "BEGIN G.KRPG_MD.schema_Del('x');END;",
      "BEGIN schema_Del(:1);END;",
      "BEGIN G.KRPG_MD.schema_Del(:1) END;",
      "DECLARE x NUMBER; BEGIN NULL; END;",
      "select to_date('2001-01-01','DD/MM/YYYY') from t",
      "select a from t where b = :1000",
      "select a from t, u where a=1 for update",
      "",
      "   ;  ",
      "select ((1) from t",
      "select (1)) from t",
      ")(",
  };
  const std::string deep = "select " + std::string(101, '(') + "1" + std::string(101, ')');
  Adapted deepOut;
  std::string deepError;
  EXPECT_FALSE(Adapt(deep, Target::kSQLite, &deepOut, &deepError));
  for (const char* text : refused) EXPECT_TRUE(Refuses(Target::kSQLite, text));
}

TEST(SqliteAdaptScale, LargeTextsAdaptInTimeGrowingWithTheirLength) {
  std::string wide = "CREATE TABLE G.T(C0 NUMBER(10)";
  for (int i = 1; i < 3000; ++i) wide += ",C" + std::to_string(i) + " NUMBER(10)";
  wide += ")";
  std::string compound = "select 1 from dual";
  for (int i = 0; i < 2000; ++i)
    compound += " union all (select " + std::to_string(i) + " from dual)";
  const std::string open(20000, '(');
  const auto start = std::chrono::steady_clock::now();
  Adapted a;
  std::string error;
  ASSERT_TRUE(Adapt(wide, Target::kSQLite, &a, &error)) << error;
  EXPECT_EQ(a.text.find("NUMBER"), std::string::npos);
  ASSERT_TRUE(Adapt(compound, Target::kSQLite, &a, &error)) << error;
  EXPECT_FALSE(Adapt(open, Target::kSQLite, &a, &error));
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
}

TEST(SqliteAdaptBlocks, ProcedureBlocksBecomeCallsInBothClosingForms) {
  for (const char* text : {"BEGIN GEO.KRPG_MD.schema_Add(:1,:2,:3,:4);END; ",
                           "BEGIN GEO.KRPG_MD.schema_Add(:1,:2,:3,:4); END; ",
                           "begin geo.krpg_md.SCHEMA_ADD(:1, :2, :3, :4) ; end"}) {
    Adapted a;
    std::string error;
    ASSERT_TRUE(Adapt(text, Target::kSQLite, &a, &error)) << text << ": " << error;
    EXPECT_EQ(a.kind, Adapted::Kind::kProcedureCall);
    EXPECT_EQ(Upper(a.call.owner), "GEO");
    EXPECT_EQ(a.call.package, "KRPG_MD");
    EXPECT_EQ(a.call.procedure, "SCHEMA_ADD");
    ASSERT_EQ(a.call.args.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(a.call.args[i].index, i + 1);
    EXPECT_EQ(a.callerParams, 4);
  }
}

TEST(SqliteAdaptForUpdate, RecordsTableAndColumns) {
  Adapted a;
  std::string error;
  ASSERT_TRUE(Adapt("select PICTURE_INFO from G.META_ADDITIONAL_3 where MetaID=9 for update",
                    Target::kSQLite, &a, &error));
  EXPECT_TRUE(a.forUpdate);
  EXPECT_EQ(a.lockTable, "\"G.META_ADDITIONAL_3\"");
  ASSERT_EQ(a.lockColumns.size(), 1u);
  EXPECT_EQ(a.lockColumns[0], "PICTURE_INFO");
  EXPECT_EQ(a.visibleColumns, 1);
}

}  // namespace
}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

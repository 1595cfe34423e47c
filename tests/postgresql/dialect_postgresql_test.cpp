// The PostgreSQL target of the dialect adapter, from tables: Oracle input
// and the exact text it must become, and inputs that must be refused.
#include <gtest/gtest.h>

#include "dialect/dialect.h"
#include "support/adapt_cases.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

// The catalog's text value tables, as its host names them to the adapter.
const Rules kTextValues{{{"META_NDTEXT_", "NODEVALUE", 512}}};

class PostgresAdaptTest : public ::testing::TestWithParam<Case> {};

TEST_P(PostgresAdaptTest, GivesExpectedText) {
  EXPECT_TRUE(AdaptsTo(Target::kPostgreSQL, GetParam(), kTextValues));
}

// The adapter keys by prefix exactly the columns it is told of, with the
// length it is told, and no others.
TEST(PostgresAdaptTest, KeysByPrefixOnlyTheColumnsItIsTold) {
  const Rules narrow{{{"T_TEXT_", "V", 8}}};
  const struct {
    const Rules* rules;
    Case c;
  } cases[] = {
      {nullptr,
       {"CREATE INDEX G.M_7_V ON G.META_NDTEXT_7(NODEGUID,NODEVALUE)",
        "CREATE INDEX M_7_V ON G.META_NDTEXT_7(NODEGUID,NODEVALUE)"}},
      {nullptr,
       {"select METAID from G.META_NDTEXT_7 where NODEVALUE='a'",
        "select METAID from G.META_NDTEXT_7 where NODEVALUE='a'"}},
      {&narrow,
       {"CREATE INDEX G.T_1_V ON G.T_TEXT_1(K,V)",
        "CREATE INDEX T_1_V ON G.T_TEXT_1(K,left(V,8))"}},
      {&narrow,
       {"select K from G.T_TEXT_1 where V=:1",
        "select K from G.T_TEXT_1 where (V=$1 AND left(V,8) = left($1,8))"}},
      {&narrow, {"select K from G.T_TEXT_X where V=:1", "select K from G.T_TEXT_X where V=$1"}},
      {&narrow,
       {"select METAID from G.META_NDTEXT_7 where NODEVALUE='a'",
        "select METAID from G.META_NDTEXT_7 where NODEVALUE='a'"}},
  };
  for (const auto& k : cases) {
    EXPECT_TRUE(AdaptsTo(Target::kPostgreSQL, k.c, k.rules ? *k.rules : Rules()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rewrites, PostgresAdaptTest,
    ::testing::Values(
        Case{"SELECT COUNT(*) FROM GEO.KRDB_META_SCHEMA WHERE MTDB_ID=3",
             "SELECT COUNT(*) FROM GEO.KRDB_META_SCHEMA WHERE MTDB_ID=3"},
        // A quoted name as Oracle folds names is the unquoted one; any
        // other quoted name keeps its case.
        Case{"select \"DC_FOLD\".\"A_1$\" from \"GEO\".\"DC_FOLD\" where \"Mixed\"=1 and \"a\"=2",
             "select \"dc_fold\".\"a_1$\" from \"geo\".\"dc_fold\" where \"Mixed\"=1 and \"a\"=2"},
        Case{"SELECT GEO.KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL",
             "SELECT metashelf_driver.ms_nextval('GEO.KRSQ_SCHEMANODEID') FROM (SELECT 'X' AS "
             "dummy) dual"},
        Case{"select seq.nextval from dual",
             "select metashelf_driver.ms_nextval('seq') from (SELECT 'X' AS dummy) dual"},
        Case{"ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 41",
             "SELECT metashelf_driver.ms_alter_sequence('GEO.KRSQ_SCHEMANODEID',41)"},
        Case{"SELECT SYSDATE FROM GEO.KRDB_META_SET WHERE COL_ID=4",
             "SELECT CAST(statement_timestamp() AS timestamp(0)) FROM GEO.KRDB_META_SET WHERE "
             "COL_ID=4"},
        Case{"select dbms_lob.getlength(STRUCT_INFO) from G.META_STRUCTINFO_7 where MetaID=5",
             "select octet_length(STRUCT_INFO) from G.META_STRUCTINFO_7 where MetaID=5"},
        Case{"insert into G.META_STRUCTINFO_7 values(5,EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())",
             "insert into G.META_STRUCTINFO_7 values(5,'\\x'::bytea,'\\x'::bytea,'\\x'::bytea)"},
        Case{"insert into G.T values(1,2,3,to_date('2001-01-01','YYYY-MM-DD'))",
             "insert into G.T values(1,2,3,CAST('2001-01-01 00:00:00' AS timestamp(0)))"},
        Case{"insert into G.T values(1,to_date('','YYYY-MM-DD'))",
             "insert into G.T values(1,CAST(NULL AS timestamp(0)))"},
        Case{"select a from t where d >= TO_DATE(:1,'YYYY-MM-DD')",
             "select a from t where d >= CAST($1 AS timestamp(0))"},
        Case{"UPDATE G.KRDB_META_SCHEMA SET SCHEMADOC=:1 WHERE SCHEMA_ID=4",
             "UPDATE G.KRDB_META_SCHEMA SET SCHEMADOC=$1 WHERE SCHEMA_ID=4"},
        Case{"insert into t values('')", "insert into t values(NULL)"},
        Case{"select STRUCT_INFO from G.META_STRUCTINFO_7 where MetaID=5 for update",
             "select STRUCT_INFO ,ctid from G.META_STRUCTINFO_7 where MetaID=5 FOR UPDATE"},
        Case{"CREATE TABLE G.META_NDTEXT_7(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,"
             "POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))",
             "CREATE TABLE G.META_NDTEXT_7(MetaID NUMERIC NOT NULL,NODEGUID NUMERIC NOT NULL,"
             "POSITION NUMERIC NOT NULL,NODEVALUE VARCHAR(4000) COLLATE \"C\" CONSTRAINT "
             "\"MS_BYTES_NODEVALUE\" CHECK(octet_length(NODEVALUE)<=4000))"},
        Case{
            "CREATE TABLE G.M(MetaID NUMBER(10,2), D DATE, B BLOB, C CLOB, R RAW(16))",
            "CREATE TABLE G.M(MetaID NUMERIC(10,2), D TIMESTAMP(0), B BYTEA, C TEXT COLLATE \"C\", "
            "R BYTEA)"},
        Case{"select METAID from T where V like '%a_b%'",
             "select METAID from T where V like '%a_b%' ESCAPE ''"},
        Case{"select METAID from T where V not like 'x' || :1 || '%' and W=1",
             "select METAID from T where V not like 'x' || $1 || '%' ESCAPE '' and W=1"},
        Case{"select METAID from T where V like 'a!%' escape '!'",
             "select METAID from T where V like 'a!%' escape '!'"},
        Case{"select 1 from dual union all select 2 from dual intersect select 2 from dual",
             "(select 1 from (SELECT 'X' AS dummy) dual union all select 2 from (SELECT 'X' AS "
             "dummy) dual) intersect select 2 from (SELECT 'X' AS dummy) dual"},
        Case{"select a from t intersect select a from u",
             "select a from t intersect select a from u"},
        Case{"(select a from t union all select a from u) intersect select a from v minus "
             "select a from w",
             "((select a from t union all select a from u) intersect select a from v) EXCEPT "
             "select a from w"},
        Case{"select a from t where a in (select b from u union all select b from v intersect "
             "select b from w)",
             "select a from t where a in ((select b from u union all select b from v) intersect "
             "select b from w)"},
        Case{"BEGIN GEO.KRPG_MD.schema_Add(:1,:2,:3,:4);END; ",
             "CALL GEO.krpg_md_schema_add($1,$2,$3,$4)"},
        Case{"BEGIN GEO.KRPG_MD.metaInfo_updateRemark(:1,:2); END; ",
             "CALL GEO.krpg_md_metainfo_updateremark($1,$2)"},
        Case{"select nvl(a, 0) from t", "select COALESCE(a, 0) from t"},
        Case{"CREATE INDEX GEO.META_NDTEXT_7_V ON GEO.META_NDTEXT_7(NODEGUID,NODEVALUE)",
             "CREATE INDEX META_NDTEXT_7_V ON GEO.META_NDTEXT_7(NODEGUID,left(NODEVALUE,512))"},
        Case{"CREATE INDEX GEO.META_NDNUMBER_7_V ON GEO.META_NDNUMBER_7(NODEGUID,NODEVALUE)",
             "CREATE INDEX META_NDNUMBER_7_V ON GEO.META_NDNUMBER_7(NODEGUID,NODEVALUE)"},
        Case{"select distinct METAID from G.META_NDTEXT_7 where NODEGUID=3 and NODEVALUE='ab'",
             "select distinct METAID from G.META_NDTEXT_7 where NODEGUID=3 and (NODEVALUE='ab' "
             "AND left(NODEVALUE,512) = left('ab',512))"},
        Case{"select METAID from G.META_NDTEXT_7 where NODEVALUE < :1 or NODEVALUE>=:2",
             "select METAID from G.META_NDTEXT_7 where (NODEVALUE < $1 AND left(NODEVALUE,512) <= "
             "left($1,512)) or (NODEVALUE>=$2 AND left(NODEVALUE,512) >= left($2,512))"},
        Case{"select METAID from G.META_NDTEXT_7 where not NODEVALUE between 'a' And 'b' and "
             "NODEGUID=1",
             "select METAID from G.META_NDTEXT_7 where not (NODEVALUE between 'a' And 'b' AND "
             "left(NODEVALUE,512) BETWEEN left('a',512) AND left('b',512)) and NODEGUID=1"},
        // Only comparisons the prefix index can serve, and only on text value tables.
        Case{"select METAID from G.META_NDTEXT_7 where NODEVALUE like '%a%' or NODEVALUE<>'b' or "
             "NODEVALUE='a'||'b' or NODEVALUE in ('c')",
             "select METAID from G.META_NDTEXT_7 where NODEVALUE like '%a%' ESCAPE '' or "
             "NODEVALUE<>'b' or NODEVALUE='a'||'b' or NODEVALUE in ('c')"},
        Case{"select METAID from G.META_NDNUMBER_7 where NODEVALUE=5 union all select METAID from "
             "G.META_NDTEXT_7 where NODEVALUE='5' intersect select METAID from G.META_NDTEXT_70 x "
             "where x.NODEVALUE='6'",
             "(select METAID from G.META_NDNUMBER_7 where NODEVALUE=5 union all select METAID from "
             "G.META_NDTEXT_7 where (NODEVALUE='5' AND left(NODEVALUE,512) = left('5',512))) "
             "intersect select METAID from G.META_NDTEXT_70 x where x.NODEVALUE='6'"},
        Case{"update G.META_NDTEXT_7 set NODEVALUE='b' where NODEVALUE='a'",
             "update G.META_NDTEXT_7 set NODEVALUE='b' where (NODEVALUE='a' AND "
             "left(NODEVALUE,512) = left('a',512))"},
        Case{"select * from G.META_SET where METAID in (select METAID from G.META_NDTEXT_7 where "
             "NODEGUID=1 and (NODEVALUE='x'))",
             "select * from G.META_SET where METAID in (select METAID from G.META_NDTEXT_7 where "
             "NODEGUID=1 and ((NODEVALUE='x' AND left(NODEVALUE,512) = left('x',512))))"},
        Case{"create unique index G.I on G.T(A)", "create unique index I on G.T(A)"},
        Case{"select a from t where v between -:1 And -:2",
             "select a from t where v between -CAST($1 AS numeric) And -CAST($2 AS numeric)"}));

TEST(PostgresAdaptTest, RefusesWhatCannotStayOracleFaithful) {
  const char* refused[] = {
      "ALTER SEQUENCE GEO.S INCREMENT BY 0",
      "select 1 from t; drop table t",
      "insert into t values(to_date('2001-02-30','YYYY-MM-DD'))",
      "insert into t values(to_date('2001','YYYY-MM-DD'))",
      "insert into t values(to_date('2001-02-03 12:34','YYYY-MM-DD'))",
      "select to_date(a,'YYYY-MM-DD') from t",
      "select a from t where d = to_date('2001-01-01','DD.MM.YYYY')",
  };
  for (const char* text : refused) EXPECT_TRUE(Refuses(Target::kPostgreSQL, text));
}

TEST(PostgresAdaptTest, OracleDateReadingOfLiteralsFollowsOracleRules) {
  Adapted a;
  std::string error;
  ASSERT_TRUE(Adapt("insert into t values(to_date('20010315','YYYY-MM-DD'))", Target::kPostgreSQL,
                    &a, &error))
      << error;
  EXPECT_EQ(a.text, "insert into t values(CAST('2001-03-15 00:00:00' AS timestamp(0)))");
}

TEST(PostgresAdaptTest, ParameterOfToDateIsMarkedForOracleReading) {
  Shaped shaped;
  std::string error;
  ASSERT_TRUE(LiftLiterals("insert into G.D values(5,7,1,to_date('2009-07-14','YYYY-MM-DD'))",
                           &shaped, &error));
  Adapted a;
  ASSERT_TRUE(Adapt(shaped.key, Target::kPostgreSQL, &a, &error)) << error;
  ASSERT_EQ(a.params.size(), 4u);
  ASSERT_EQ(a.dateFormats.size(), 4u);
  EXPECT_EQ(a.dateFormats[3], "YYYY-MM-DD");
  EXPECT_TRUE(a.dateFormats[0].empty());
  EXPECT_EQ(a.text, "insert into G.D values($1,$2,$3,CAST($4 AS timestamp(0)))");
}

}  // namespace
}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

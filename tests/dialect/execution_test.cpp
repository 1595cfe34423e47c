// Oracle texts run through the driver on every backend: the rows each gives
// must be Oracle's (set-operator precedence, '' as NULL, case-sensitive LIKE,
// binary text order, TO_DATE's rules, DBMS_LOB.GETLENGTH, SYSDATE, DUAL).
#include <gtest/gtest.h>

#include "dialect/dialect.h"
#include "driver/conformance.h"

namespace metashelf {
namespace testing {
namespace {

using Table = std::vector<std::vector<std::string>>;

struct Query {
  std::string oracle;  // "@" stands for the owner
  Table rows;          // {{"ERROR"}} for a text that must fail
};

class DialectExecutionTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    MustRun("CREATE TABLE " + Q("N") + "(V NUMBER, W VARCHAR2(20), D DATE, B BLOB)");
    const char* rows[] = {"1,'a',TO_DATE('2001-01-01','YYYY-MM-DD'),EMPTY_BLOB()",
                          "2,'B',TO_DATE('2001-03-15','YYYY-MM-DD'),NULL", "3,'_x',NULL,NULL",
                          "4,'Z',NULL,NULL", "5,'b',NULL,NULL"};
    for (const char* r : rows) MustRun("INSERT INTO " + Q("N") + " VALUES(" + r + ")");
  }
  void Check(const std::vector<Query>& queries) {
    for (const Query& q : queries) {
      const std::string sql = metashelf::driver::dialect::WithOwner(q.oracle, owner_);
      const int columns = q.rows.empty() ? 1 : static_cast<int>(q.rows[0].size());
      Table got = Rows(hdbc_, sql, columns);
      if (q.rows == Table{{"ERROR"}}) {
        EXPECT_TRUE(got.size() == 1 && got[0][0].rfind("ERROR", 0) == 0) << sql;
      } else {
        EXPECT_EQ(got, q.rows) << sql;
      }
    }
  }
};

TEST_P(DialectExecutionTest, CompoundSelectsEvaluateLeftToRightWithParentheses) {
  const char* v = "select V from @.N where V=";
  auto s = [&](int n) { return std::string(v) + std::to_string(n); };
  const std::string one_or_two_and_two = s(1) + " union all " + s(2) + " intersect " + s(2);
  const std::string grouped = s(1) + " union all (" + s(2) + " intersect " + s(3) + ")";
  const std::string leftGroup = "(" + s(1) + " union all " + s(2) + ") intersect " + s(2);
  const std::string nested = "((" + s(1) + ") union all (" + s(2) + ")) intersect (" + s(1) + ")";
  const std::string minusGroup = "(" + s(1) + " union all " + s(2) + ") minus (" + s(2) + ")";
  const std::string inner = "select V from @.N where V in ((" + s(4) + " union all " + s(5) +
                            ") intersect " + s(5) + ") order by 1";
  Check({
      {one_or_two_and_two, {{"2"}}},  // (1 union all 2) intersect 2, as Oracle reads it
      {grouped, {{"1"}}},             // 1 union all (2 intersect 3)
      {leftGroup, {{"2"}}},
      {nested, {{"1"}}},
      {inner, {{"5"}}},
      {minusGroup, {{"1"}}},
  });
}

TEST_P(DialectExecutionTest, OracleValueSemantics) {
  Check({
      // Quoted names written as Oracle folds them are the unquoted names.
      {"select \"V\" from @.N where \"W\"='a'", {{"1"}}},
      {"select n.\"V\" from @.N n where \"V\"=2", {{"2"}}},
      {"select count(*) from @.N where W like 'b%'", {{"1"}}},  // case-sensitive
      {"select count(*) from @.N where W like '_'", {{"4"}}},
      {"select W from @.N where W > 'Z' order by W", {{"_x"}, {"a"}, {"b"}}},  // binary order
      {"select W from @.N order by W", {{"B"}, {"Z"}, {"_x"}, {"a"}, {"b"}}},
      {"select count(*) from @.N where W = ''", {{"0"}}},  // '' is NULL
      {"select count(*) from dual where '' is null", {{"1"}}},
      {"select dbms_lob.getlength(B) from @.N where V<=2 order by V", {{"0"}, {"NULL"}}},
      {"select TO_CHAR(D,'YYYY-MM-DD') from @.N where D>=TO_DATE('2001-02-01','YYYY-MM-DD')",
       {{"2001-03-15"}}},
      {"select TO_CHAR(TO_DATE('20010315','YYYY-MM-DD'),'YYYY-MM-DD') from dual", {{"2001-03-15"}}},
      {"select TO_DATE('','YYYY-MM-DD') from dual", {{"NULL"}}},
      {"select TO_DATE('2001-02-30','YYYY-MM-DD') from dual", {{"ERROR"}}},
      {"select TO_DATE('2001','YYYY-MM-DD') from dual", {{"ERROR"}}},
      {"select TO_DATE('2001-02-03 12:34','YYYY-MM-DD') from dual", {{"ERROR"}}},
      {"select count(*) from dual where SYSDATE > TO_DATE('2020-01-01','YYYY-MM-DD')", {{"1"}}},
      {"select V from @.N where V between 2 And 3 order by V", {{"2"}, {"3"}}},
      {"select V from @.N where W = 'a' for update", {{"1"}}},
      {"select 'it''s' from dual", {{"it's"}}},
      {"select 'O''Brien''s \"coast\" ''''survey''''' from dual",
       {{"O'Brien's \"coast\" ''survey''"}}},
  });
}

TEST_P(DialectExecutionTest, PerSetTablesAsTheSystemCreatesThem) {
  MustRun("CREATE TABLE " + Q("META_NDNUMBER_7") +
          "(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,POSITION NUMBER NOT NULL,"
          "NODEVALUE NUMBER)");
  MustRun("insert into " + Q("META_NDNUMBER_7") +
          "(MetaID,NODEGUID,POSITION,NODEVALUE) values(1, 2, 0,-13.490195)");
  MustRun("insert into " + Q("META_NDNUMBER_7") +
          "(MetaID,NODEGUID,POSITION,NODEVALUE) values(2, 2, 0,10)");
  Check(
      {{"select distinct METAID from @.META_NDNUMBER_7 where NODEGUID=2 and NODEVALUE<0", {{"1"}}},
       {"select METAID from @.META_NDNUMBER_7 where NODEVALUE='10'", {{"2"}}}});
  MustRun("DROP TABLE " + Q("META_NDNUMBER_7"));
  Check({{"select count(*) from @.META_NDNUMBER_7", {{"ERROR"}}}});
}

METASHELF_ON_EVERY_BACKEND(DialectExecutionTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

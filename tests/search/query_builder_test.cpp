// The statement a search request becomes: sub-select shapes per table
// type, the expression's numbers, words, blanks and parentheses, and the
// requests that are refused.
#include "search/query_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "search/set_access.h"
#include "search/test_schema.h"

using metashelf::driver::scripted::ScriptedDriver;
using search_test::GuidOf;
using search_test::LoadSchemaWithGuid;

namespace {

SearchNode Condition(std::int32_t id, const std::string& path, const std::string& op,
                     const std::string& value1, const std::string& value2 = "") {
  SearchNode node;
  node.condID = id;
  node.nodePath = path;
  node.op = op;
  node.value1 = value1;
  node.value2 = value2;
  return node;
}

class QueryBuilderTest : public ::testing::Test {
 protected:
  void Use(std::unique_ptr<CSchema> loaded) {
    ASSERT_TRUE(loaded) << "the test schema was refused";
    schema = std::move(loaded);
    FillSetContext(set, driver.hdbc(), "GEO", 7, schema.get());
  }
  void SetUp() override { Use(LoadSchemaWithGuid("/rec/title", 1203)); }
  void TearDown() override { ReleaseSetSchema(set); }

  // The statement of `expression`, or "<refused>".
  std::string Build(const std::string& expression, const std::vector<SearchNode>& conditions) {
    CQueryBuilder builder(&set);
    std::string sql = "<refused>";
    const std::int32_t rc = builder.BuildSql(expression, conditions, sql);
    EXPECT_EQ(rc == 1, sql != "<refused>") << "result " << rc << " with statement " << sql;
    return sql;
  }

  std::string Sub(std::int32_t guid, const std::string& table, const std::string& test) {
    return "select distinct METAID from GEO." + table + "7 where NODEGUID=" + std::to_string(guid) +
           " and NODEVALUE" + test;
  }

  ScriptedDriver driver;
  COraMetaDataSet set;
  std::unique_ptr<CSchema> schema;
};

TEST_F(QueryBuilderTest, EachTableTypeHasItsSubSelect) {
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "like", "water")}),
            "select distinct METAID from GEO.META_NDTEXT_7 where NODEGUID=1203 and NODEVALUE "
            "like '%water%'");
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "=", "abc")}),
            "select distinct METAID from GEO.META_NDTEXT_7 where NODEGUID=1203 and "
            "NODEVALUE='abc'");
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "between", "a", "m")}),
            Sub(1203, "META_NDTEXT_", " between 'a' And 'm'"));

  Use(LoadSchemaWithGuid("/rec/size", 1203));
  EXPECT_EQ(Build("1", {Condition(1, "/rec/size", "between", "10", "20")}),
            "select distinct METAID from GEO.META_NDNUMBER_7 where NODEGUID=1203 and NODEVALUE "
            "between 10 And 20");
  EXPECT_EQ(Build("1", {Condition(1, "/rec/size", "<", "-2.5e3")}),
            Sub(1203, "META_NDNUMBER_", "<-2.5e3"));

  Use(LoadSchemaWithGuid("/rec/when", 1203));
  EXPECT_EQ(Build("1", {Condition(1, "/rec/when", ">=", "2001-01-01")}),
            "select distinct METAID from GEO.META_NDDATETIME_7 where NODEGUID=1203 and "
            "NODEVALUE>=TO_DATE('2001-01-01','YYYY-MM-DD')");
  EXPECT_EQ(Build("1", {Condition(1, "/rec/when", "between", "2000-02-29", "2001-12-31")}),
            Sub(1203, "META_NDDATETIME_",
                " between TO_DATE('2000-02-29','YYYY-MM-DD') And "
                "TO_DATE('2001-12-31','YYYY-MM-DD')"));
}

TEST_F(QueryBuilderTest, NumbersBecomeSubSelectsWhereTheyStand) {
  const std::int32_t title = GuidOf(*schema, "/rec/title");
  const std::int32_t size = GuidOf(*schema, "/rec/size");
  const std::int32_t when = GuidOf(*schema, "/rec/when");
  const std::string s1 = Sub(title, "META_NDTEXT_", "='a'");
  const std::string s2 = Sub(size, "META_NDNUMBER_", ">5");
  const std::string s3 = Sub(when, "META_NDDATETIME_", "<TO_DATE('2001-01-01','YYYY-MM-DD')");
  const std::string s12 = Sub(title, "META_NDTEXT_", " like '%12%'");
  const std::vector<SearchNode> conditions = {
      Condition(1, "/rec/title", "=", "a"), Condition(2, "/rec/size", ">", "5"),
      Condition(3, "/rec/when", "<", "2001-01-01"), Condition(12, "/rec/title", "like", "12"),
      Condition(7, "/rec/size", "=", "7")};

  EXPECT_EQ(Build("1", conditions), s1);
  EXPECT_EQ(Build("1 and 2", conditions), s1 + " intersect " + s2);
  EXPECT_EQ(Build("12 and 1", conditions), s12 + " intersect " + s1);
  EXPECT_EQ(Build("1 and 1", conditions), s1 + " intersect " + s1);
  EXPECT_EQ(Build("(1 or 2) and 3", conditions),
            "(" + s1 + " union all " + s2 + ") intersect " + s3);
  EXPECT_EQ(Build("1 or 2 and 3", conditions), s1 + " union all " + s2 + " intersect " + s3);
  EXPECT_EQ(Build(" ( 3 )\t", conditions), " ( " + s3 + " )\t");
  EXPECT_EQ(Build("007", conditions), Sub(size, "META_NDNUMBER_", "=7"));
  // An expression without numbers is only its words; the database refuses it.
  EXPECT_EQ(Build("( and )", conditions), "( intersect )");
}

TEST_F(QueryBuilderTest, TheFirstConditionOfANumberIsUsed) {
  const std::int32_t title = GuidOf(*schema, "/rec/title");
  EXPECT_EQ(Build("4", {Condition(4, "/rec/title", "=", "first"),
                        Condition(4, "/rec/title", "=", "second")}),
            Sub(title, "META_NDTEXT_", "='first'"));
}

TEST_F(QueryBuilderTest, QuotesInTextValuesAreDoubled) {
  const std::int32_t title = GuidOf(*schema, "/rec/title");
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "=", "O'Brien")}),
            Sub(title, "META_NDTEXT_", "='O''Brien'"));
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "like", "x' or '1'='1")}),
            Sub(title, "META_NDTEXT_", " like '%x'' or ''1''=''1%'"));
  EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "between", "'", "''")}),
            Sub(title, "META_NDTEXT_", " between '''' And ''''''"));
}

TEST_F(QueryBuilderTest, RequestsThatCannotBeWrittenAreRefused) {
  const SearchNode good = Condition(1, "/rec/title", "=", "a");
  struct Case {
    const char* why;
    std::string expression;
    SearchNode condition;
  };
  const std::string nul("a\0b", 3);
  const Case cases[] = {
      {"empty expression", "", good},
      {"upper-case word", "1 AND 1", good},
      {"other words", "1 union all select 1", good},
      {"statement end", "1;", good},
      {"number without condition", "1 or 2", good},
      {"number past 32 bits", "4294967297", good},
      {"operator outside the list", "1", Condition(1, "/rec/title", "BETWEEN", "a", "b")},
      {"operator with a payload", "1", Condition(1, "/rec/title", "= 'a' or 1=1 --", "a")},
      {"empty operator", "1", Condition(1, "/rec/title", "", "a")},
      {"like on a number node", "1", Condition(1, "/rec/size", "like", "5")},
      {"like on a date node", "1", Condition(1, "/rec/when", "like", "2001")},
      {"number value not a number", "1", Condition(1, "/rec/size", "=", "5 or 1=1")},
      {"upper bound not a number", "1", Condition(1, "/rec/size", "between", "1", "x")},
      {"impossible date", "1", Condition(1, "/rec/when", "=", "2001-02-30")},
      {"date with a payload", "1", Condition(1, "/rec/when", "=", "2001-01-01') or ('1")},
      {"upper bound not a date", "1", Condition(1, "/rec/when", "between", "2001-01-01", "")},
      {"unknown path", "1", Condition(1, "/rec/nothing", "=", "a")},
      {"empty path", "1", Condition(1, "", "=", "a")},
      {"path cut by a NUL", "1", Condition(1, std::string("/rec/title\0x", 12), "=", "a")},
      {"value with a NUL", "1", Condition(1, "/rec/title", "=", nul)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Build(c.expression, {c.condition}), "<refused>") << c.why;
  }
  EXPECT_EQ(Build("1", {}), "<refused>") << "no conditions";

  ReleaseSetSchema(set);
  EXPECT_EQ(Build("1", {good}), "<refused>") << "set without schema";
  CQueryBuilder orphan(nullptr);
  std::string sql = "kept";
  EXPECT_EQ(orphan.BuildSql("1", {good}, sql), 0);
  EXPECT_EQ(sql, "kept");
}

TEST_F(QueryBuilderTest, TableTypesOutsideOneToThreeAreRefused) {
  const std::string nodeInfo = search_test::NodeInfoOf(search_test::kTestSchemaText, 1);
  const std::string text = "path=\"/rec/title\"";
  const std::size_t line = nodeInfo.find(text);
  ASSERT_NE(line, std::string::npos);
  const std::size_t type = nodeInfo.find("tableType=\"1\"", line);
  ASSERT_NE(type, std::string::npos);
  for (const char* other : {"0", "4", "-1"}) {
    std::string edited = nodeInfo;
    edited.replace(type, 13, std::string("tableType=\"") + other + "\"");
    auto odd = std::make_unique<CSchema>();
    ASSERT_EQ(odd->SetNodeStructList(edited.c_str()), 1) << other;
    Use(std::move(odd));
    EXPECT_EQ(Build("1", {Condition(1, "/rec/title", "=", "a")}), "<refused>") << other;
  }
}

TEST_F(QueryBuilderTest, ReplaceAllEndsAsIfEverySearchStartedAgain) {
  CQueryBuilder builder(&set);
  struct Case {
    std::string text, from, to, result;
  };
  const Case cases[] = {
      {"1 and 2 and 3", "and", "intersect", "1 intersect 2 intersect 3"},
      {"1 or 2", "or", "union all", "1 union all 2"},
      {"aab", "ab", "b", "b"},   // each replacement makes a new occurrence
      {"aaabbb", "ab", "", ""},  // the occurrences nest
      {"xabx", "ab", "ba", "xbax"},
      {"abc", "", "z", "abc"},    // an empty pattern changes nothing
      {"aa", "a", "aa", "aaaa"},  // a replacement holding its pattern: one pass
      {"", "a", "b", ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(builder.ReplaceAll(text, c.from, c.to), 1);
    EXPECT_EQ(text, c.result) << c.text << " / " << c.from << " -> " << c.to;
  }
}

TEST_F(QueryBuilderTest, ValueConditionsHaveTheirThreeForms) {
  CQueryBuilder builder(&set);
  EXPECT_EQ(builder.BuildValueCondition("'", "'", Condition(1, "", "between", "a", "b")),
            " between 'a' And 'b'");
  EXPECT_EQ(builder.BuildValueCondition("", "", Condition(1, "", "like", "5")), " like %5%");
  // A like value is the text searched for: % and _ are escaped, and only
  // then is an escape clause written (a backslash is doubled with them).
  const struct {
    const char* value;
    const char* condition;
  } likes[] = {
      {"0%", " like '%0\\%%' escape '\\'"}, {"_", " like '%\\_%' escape '\\'"},
      {"a\\b", " like '%a\\b%'"},           {"1\\%_'", " like '%1\\\\\\%\\_''%' escape '\\'"},
      {"plain", " like '%plain%'"},
  };
  for (const auto& l : likes) {
    EXPECT_EQ(builder.BuildValueCondition("'", "'", Condition(1, "", "like", l.value)), l.condition)
        << l.value;
  }
  EXPECT_EQ(builder.BuildValueCondition("<", ">", Condition(1, "", "<>", "v", "ignored")), "<><v>");
}

}  // namespace

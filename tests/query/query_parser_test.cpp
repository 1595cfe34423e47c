// The search text parser: accepted texts and what they become, and the
// texts that must be refused (malformed, hostile, or wrong for the field).
#include "metashelf/query/query_parser.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using metashelf::query::FieldInfo;
using metashelf::query::ParsedQuery;
using metashelf::query::ParseQuery;
using metashelf::query::QueryError;

namespace {

const char kTitle[] = "/metadata/idinfo/citation/citeinfo/title";
const char kKey[] = "/metadata/idinfo/keywords/theme/themekey";
const char kWest[] = "/metadata/idinfo/spdom/bounding/westbc";
const char kPub[] = "/metadata/idinfo/citation/citeinfo/pubdate";

bool Resolve(const std::string& name, FieldInfo* info) {
  static const std::map<std::string, FieldInfo> fields = {
      {"title", {kTitle, 1}}, {kTitle, {kTitle, 1}},  {"keyword", {kKey, 1}},
      {"westbc", {kWest, 2}}, {"pubdate", {kPub, 3}}, {"group", {"/metadata/idinfo", 0}}};
  auto it = fields.find(name);
  if (it == fields.end()) return false;
  *info = it->second;
  return true;
}

struct Cond {
  std::string path, op, value1, value2;
};

struct Accepted {
  std::string text;
  std::string expression;
  std::vector<Cond> conditions;
};

ParsedQuery MustParse(const std::string& text) {
  ParsedQuery q;
  QueryError e;
  EXPECT_TRUE(ParseQuery(text, Resolve, &q, &e)) << text << ": " << e.message;
  return q;
}

}  // namespace

TEST(QueryParserTest, AcceptedTextsBecomeNumberedConditions) {
  const std::vector<Accepted> cases = {
      {"title like water", "1", {{kTitle, "like", "water", ""}}},
      {"title like water and (westbc >= -120 or keyword = Hydrology)",
       "1 and (2 or 3)",
       {{kTitle, "like", "water", ""}, {kWest, ">=", "-120", ""}, {kKey, "=", "Hydrology", ""}}},
      {"title LIKE water AND westbc>=-120",
       "1 and 2",
       {{kTitle, "like", "water", ""}, {kWest, ">=", "-120", ""}}},
      {"westbc between -120 and -100.5", "1", {{kWest, "between", "-120", "-100.5"}}},
      {"pubdate >= 2001-01-01 and pubdate < 2004-02-29",
       "1 and 2",
       {{kPub, ">=", "2001-01-01", ""}, {kPub, "<", "2004-02-29", ""}}},
      {"title = \"surface water\"", "1", {{kTitle, "=", "surface water", ""}}},
      {"title = 'O''Brien'", "1", {{kTitle, "=", "O'Brien", ""}}},
      {"title = \"say \\\"hi\\\"\"", "1", {{kTitle, "=", "say \"hi\"", ""}}},
      {"title != x", "1", {{kTitle, "<>", "x", ""}}},
      {"title == x", "1", {{kTitle, "=", "x", ""}}},
      {"title = \"and\"", "1", {{kTitle, "=", "and", ""}}},
      {"/metadata/idinfo/citation/citeinfo/title like Río", "1", {{kTitle, "like", "Río", ""}}},
      // Quotes and SQL inside a value stay a value; the library quotes it.
      {"title = \"x' or 1=1 --\"", "1", {{kTitle, "=", "x' or 1=1 --", ""}}},
      {"((title = x))", "1", {{kTitle, "=", "x", ""}}},
      // Free text and boxes: the value goes to the search indexes whole.
      {"text ~ water", "1", {{"", "text", "water", ""}}},
      {"text~'\"water quality\" lake*' or title = x",
       "1 or 2",
       {{"", "text", "\"water quality\" lake*", ""}, {kTitle, "=", "x", ""}}},
      {"bbox intersects -125,24,-66,50 and TEXT ~ \"NEAR and\"",
       "1 and 2",
       {{"", "intersects", "-125,24,-66,50", ""}, {"", "text", "NEAR and", ""}}},
      {"bbox WITHIN \"170, -10, -170, 10\"", "1", {{"", "within", "170, -10, -170, 10", ""}}},
  };
  for (const Accepted& c : cases) {
    const ParsedQuery q = MustParse(c.text);
    EXPECT_EQ(q.expression, c.expression) << c.text;
    ASSERT_EQ(q.conditions.size(), c.conditions.size()) << c.text;
    for (std::size_t i = 0; i < c.conditions.size(); ++i) {
      EXPECT_EQ(q.conditions[i].condID, static_cast<std::int32_t>(i + 1)) << c.text;
      EXPECT_EQ(q.conditions[i].nodePath, c.conditions[i].path) << c.text;
      EXPECT_EQ(q.conditions[i].op, c.conditions[i].op) << c.text;
      EXPECT_EQ(q.conditions[i].value1, c.conditions[i].value1) << c.text;
      EXPECT_EQ(q.conditions[i].value2, c.conditions[i].value2) << c.text;
    }
  }
}

// The database evaluates intersect and union all left to right with equal
// precedence; the expression must spell out that "and" binds tighter.
TEST(QueryParserTest, ExpressionCarriesTheParenthesesPrecedenceNeeds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"title = a or title = b and title = c", "1 or (2 and 3)"},
      {"title = a and title = b or title = c", "(1 and 2) or 3"},
      {"(title = a or title = b) and title = c", "(1 or 2) and 3"},
      {"title = a and (title = b and title = c)", "1 and 2 and 3"},
      {"title = a or (title = b or title = c) or title = d", "1 or 2 or 3 or 4"},
      {"(title = a or title = b) and (title = c or title = d and title = e)",
       "(1 or 2) and (3 or (4 and 5))"},
  };
  for (const auto& c : cases) EXPECT_EQ(MustParse(c.first).expression, c.second) << c.first;
}

TEST(QueryParserTest, RefusesMalformedAndHostileTexts) {
  const std::vector<std::string> refused = {
      "",
      "   ",
      "(",
      ")",
      "()",
      "title",
      "title like",
      "title like water and",
      "and title = x",
      "title = x or",
      "title = x)",
      "(title = x",
      "title = x title = y",
      "title = x ; drop table t",
      "text ~",
      "text ~ \"*\"",
      "text = water",
      "title ~ water",
      "bbox intersects",
      "bbox intersects 1,2,3",
      "bbox within -181,0,0,10",
      "bbox within 0,10,10,0",
      "bbox overlaps 0,0,1,1",
      "1 and 2",
      "nosuch = 1",
      "group = x",
      "title ~ x",
      "title =< x",
      "title = !x",
      "title not like x",
      "title = 'unterminated",
      "title = and",
      "westbc like 5",
      "pubdate like 2001",
      "westbc = abc",
      "westbc = 0x10",
      "westbc = 1e999",
      "westbc = nan",
      "westbc = inf",
      "westbc = '1 or 1=1'",
      "westbc = -",
      "westbc between 1 2",
      "westbc between 1 and",
      "westbc between 1 and x",
      "pubdate = 2001-02-30",
      "pubdate = 20010101",
      "pubdate = '2001-01-01'' or 1=1'",
      std::string("title = x\x01"),
      std::string("title = x\0y", 11),
      "title = \xff\xfe",
      "title = \xc0\xaf",  // overlong '/'
      std::string(20, '(') + "title = x" + std::string(20, ')'),
      "title = " + std::string(5000, 'x'),
      std::string(9000, ' ') + "title = x",
  };
  for (const std::string& text : refused) {
    ParsedQuery q;
    q.expression = "untouched";
    QueryError e;
    EXPECT_FALSE(ParseQuery(text, Resolve, &q, &e)) << "accepted: " << text.substr(0, 60);
    EXPECT_FALSE(e.message.empty()) << text.substr(0, 60);
    EXPECT_EQ(q.expression, "untouched");
  }
}

TEST(QueryParserTest, BoundsTheNumberOfConditions) {
  std::string text = "title = x";
  for (int i = 1; i < 64; ++i) text += " or title = x";
  EXPECT_EQ(MustParse(text).conditions.size(), 64u);
  ParsedQuery q;
  QueryError e;
  EXPECT_FALSE(ParseQuery(text + " or title = y", Resolve, &q, &e));
  EXPECT_NE(e.message.find("64"), std::string::npos);
}

TEST(QueryParserTest, ErrorsNameTheColumnAndTheCause) {
  ParsedQuery q;
  QueryError e;
  ASSERT_FALSE(ParseQuery("title like water and nosuch = 3", Resolve, &q, &e));
  EXPECT_EQ(e.column, 22u);
  EXPECT_EQ(e.message, "unknown field 'nosuch'");

  ASSERT_FALSE(ParseQuery("westbc >= west", Resolve, &q, &e));
  EXPECT_EQ(e.column, 11u);
  EXPECT_NE(e.message.find("not a number"), std::string::npos);

  ASSERT_FALSE(ParseQuery("(title = a", Resolve, &q, &e));
  EXPECT_NE(e.message.find("column 1"), std::string::npos);
}

TEST(QueryParserTest, NumbersAndDatesAreCheckedStrictly) {
  // A value is quoted so that blanks and signs reach the field's check.
  const auto accepted = [](const char* field, const std::string& value) {
    ParsedQuery q;
    QueryError e;
    return ParseQuery(std::string(field) + " = \"" + value + "\"", Resolve, &q, &e);
  };
  for (const char* ok : {"0", "-120", "+3.5", "1e-3", "2.", ".5", "13.490195"}) {
    EXPECT_TRUE(accepted("westbc", ok)) << ok;
  }
  for (const char* bad : {"", "-", ".", "1e", "0x1A", " 1", "1 ", "1,5", "inf", "nan", "1e400"}) {
    EXPECT_FALSE(accepted("westbc", bad)) << bad;
  }
  for (const char* ok : {"2001-01-01", "2000-02-29", "1999-12-31"})
    EXPECT_TRUE(accepted("pubdate", ok)) << ok;
  for (const char* bad : {"1900-02-29", "2001-13-01", "2001-04-31", "0000-01-01", "2001-1-01",
                          "2001/01/01", "20010101", "2001-01-01T00"}) {
    EXPECT_FALSE(accepted("pubdate", bad)) << bad;
  }
}

// Constraints as clients write them (CQL text, filter XML, wildcard
// patterns) read into the server's constraint tree, and the refusals.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "core/filter.h"
#include "core/filter_eval.h"
#include "core/filter_xml.h"
#include "core/whole_number.h"

namespace metashelf::server {
namespace {

// The tree in a compact prefix form: and(a = '1', not(b like 'x%')).
std::string Show(const Filter& f) {
  auto list = [&](const char* name) {
    std::string s = std::string(name) + "(";
    for (std::size_t i = 0; i < f.children.size(); ++i) {
      s += (i ? ", " : "") + Show(f.children[i]);
    }
    return s + ")";
  };
  switch (f.kind) {
    case Filter::Kind::kAll:
      return "all";
    case Filter::Kind::kAnd:
      return list("and");
    case Filter::Kind::kOr:
      return list("or");
    case Filter::Kind::kNot:
      return list("not");
    case Filter::Kind::kCompare:
      return f.property + " " + f.op + " '" + f.value + "'";
    case Filter::Kind::kLike:
      return f.property + " like '" + f.value + "'";
    case Filter::Kind::kBetween:
      return f.property + " between '" + f.value + "' '" + f.value2 + "'";
    case Filter::Kind::kIsNull:
      return f.property + " is null";
    case Filter::Kind::kBBox: {
      char b[128];
      std::snprintf(b, sizeof b, " bbox %g %g %g %g", f.box[0], f.box[1], f.box[2], f.box[3]);
      return f.property + b;
    }
  }
  return "?";
}

TEST(CqlText, ReadsWhatClientsSend) {
  const struct {
    const char* text;
    const char* tree;
  } cases[] = {
      {"dc:title LIKE '%water%'", "dc:title like '%water%'"},
      {"title ilike 'a_b'", "title like 'a_b'"},
      {"a = 1 AND b <> 'x' OR c >= 2.5", "or(and(a = '1', b <> 'x'), c >= '2.5')"},
      {"a = 1 and (b = 2 or c = 3)", "and(a = '1', or(b = '2', c = '3'))"},
      {"NOT a < 3", "not(a < '3')"},
      {"a NOT LIKE 'x'", "not(a like 'x')"},
      {"a != 'it''s'", "a <> 'it's'"},
      {"dct:modified BETWEEN '2001-01-01' AND '2002-01-01'",
       "dct:modified between '2001-01-01' '2002-01-01'"},
      {"x IS NULL", "x is null"},
      {"x IS NOT NULL", "not(x is null)"},
      {"\"my prop\" = TIMESTAMP('2020-01-02T00:00:00Z')", "my prop = '2020-01-02T00:00:00Z'"},
      {"BBOX(ows:BoundingBox, -10, 20, 30, 40)", "ows:BoundingBox bbox -10 20 30 40"},
      {"BBOX(ows:BoundingBox, -10, 20, 30, 40, 'urn:ogc:def:crs:EPSG::4326')",
       "ows:BoundingBox bbox -10 20 30 40"},
      {"S_INTERSECTS(geometry, BBOX(-10, 20, 30, 40))", "geometry bbox -10 20 30 40"},
      {"S_INTERSECTS(geometry, ENVELOPE(-10, 30, 40, 20))", "geometry bbox -10 20 30 40"},
      {"S_INTERSECTS(geometry, POLYGON((0 0, 5 -1, 4 9, 0 0)))", "geometry bbox 0 -1 5 9"},
      {"a LIKE 'x\\%y'", "a like 'x\\%y'"},
  };
  for (const auto& c : cases) {
    Filter f;
    FilterError e;
    ASSERT_TRUE(ParseCql(c.text, &f, &e)) << c.text << ": " << e.message;
    EXPECT_EQ(Show(f), c.tree) << c.text;
  }
}

TEST(CqlText, RefusesWithAReason) {
  const std::string deep = std::string(40, '(') + "a = 1" + std::string(40, ')');
  std::string wide = "a = 1";
  for (int i = 0; i < 70; ++i) wide += " or a = 1";
  const std::string cases[] = {
      "",
      "a =",
      "a LIKE 3",
      "'a' = 1",
      "a = 'open",
      "a = 1 b",
      "(a = 1",
      "a BETWEEN 1",
      "a IS 3",
      "BBOX(p, 1, 2, 3)",
      "a # 1",
      "a = 1 AND",
      deep,
      wide,
      std::string(20000, ' ') + "a = 1",
      "S_INTERSECTS(g, POINT(1 2))",
      "a = inf",
  };
  for (const std::string& text : cases) {
    Filter f;
    FilterError e;
    EXPECT_FALSE(ParseCql(text, &f, &e)) << text;
    EXPECT_FALSE(e.message.empty()) << text;
  }
}

TEST(FilterXml, ReadsOperatorsAndAxisOrder) {
  const char* const ogc =
      R"(xmlns:ogc="http://www.opengis.net/ogc" xmlns:gml="http://www.opengis.net/gml")";
  const struct {
    std::string body;
    const char* tree;  // null: refused
  } cases[] = {
      {"<ogc:PropertyIsEqualTo><ogc:PropertyName>dc:title</ogc:PropertyName>"
       "<ogc:Literal>A</ogc:Literal></ogc:PropertyIsEqualTo>",
       "dc:title = 'A'"},
      {"<ogc:PropertyIsLike wildCard='*' singleChar='.' escapeChar='!'>"
       "<ogc:PropertyName>t</ogc:PropertyName><ogc:Literal>*a.b!*c%</ogc:Literal>"
       "</ogc:PropertyIsLike>",
       "t like '%a_b*c\\%'"},
      {"<ogc:And><ogc:PropertyIsNull><ogc:PropertyName>x</ogc:PropertyName></ogc:PropertyIsNull>"
       "<ogc:Not><ogc:PropertyIsGreaterThanOrEqualTo><ogc:PropertyName>n</ogc:PropertyName>"
       "<ogc:Literal>3</ogc:Literal></ogc:PropertyIsGreaterThanOrEqualTo></ogc:Not></ogc:And>",
       "and(x is null, not(n >= '3'))"},
      {"<ogc:PropertyIsBetween><ogc:PropertyName>n</ogc:PropertyName><ogc:LowerBoundary>"
       "<ogc:Literal>1</ogc:Literal></ogc:LowerBoundary><ogc:UpperBoundary><ogc:Literal>2"
       "</ogc:Literal></ogc:UpperBoundary></ogc:PropertyIsBetween>",
       "n between '1' '2'"},
      {"<ogc:BBOX><ogc:PropertyName>ows:BoundingBox</ogc:PropertyName><gml:Envelope>"
       "<gml:lowerCorner>-100 30</gml:lowerCorner><gml:upperCorner>-80 45</gml:upperCorner>"
       "</gml:Envelope></ogc:BBOX>",
       "ows:BoundingBox bbox -100 30 -80 45"},
      {"<ogc:BBOX><gml:Envelope srsName='urn:ogc:def:crs:EPSG::4326'>"
       "<gml:lowerCorner>30 -100</gml:lowerCorner><gml:upperCorner>45 -80</gml:upperCorner>"
       "</gml:Envelope></ogc:BBOX>",
       "ows:BoundingBox bbox -100 30 -80 45"},
      {"<ogc:Or><ogc:PropertyIsNull><ogc:PropertyName>x</ogc:PropertyName></ogc:PropertyIsNull>"
       "</ogc:Or>",
       nullptr},
      {"<ogc:PropertyIsEqualTo><ogc:PropertyName>x</ogc:PropertyName></ogc:PropertyIsEqualTo>",
       nullptr},
      {"<ogc:BBOX><gml:Envelope><gml:lowerCorner>1</gml:lowerCorner></gml:Envelope></ogc:BBOX>",
       nullptr},
      {"<ogc:FeatureId fid='1'/>", nullptr},
      {"<ogc:PropertyIsLike wildCard='**'><ogc:PropertyName>t</ogc:PropertyName>"
       "<ogc:Literal>a</ogc:Literal></ogc:PropertyIsLike>",
       nullptr},
  };
  for (const auto& c : cases) {
    const std::string xml = std::string("<ogc:Filter ") + ogc + ">" + c.body + "</ogc:Filter>";
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str())) << xml;
    Filter f;
    FilterError e;
    const bool ok = ParseFilterXml(doc.document_element(), &f, &e);
    if (c.tree == nullptr) {
      EXPECT_FALSE(ok) << c.body;
      EXPECT_FALSE(e.message.empty());
    } else {
      ASSERT_TRUE(ok) << c.body << ": " << e.message;
      EXPECT_EQ(Show(f), c.tree);
    }
  }
}

// Numbers of requests read by the C rules whatever locale the process
// runs under (a comma-decimal one would stop strtod at the point).
TEST(RequestNumbers, ReadAlikeUnderACommaLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
  }
  Filter cql;
  Filter xml;
  FilterError e;
  const bool cqlRead = ParseCql("BBOX(ows:BoundingBox, -10.5, 20.25, 30, 40)", &cql, &e);
  pugi::xml_document doc;
  doc.load_string(
      "<ogc:Filter xmlns:ogc='http://www.opengis.net/ogc' xmlns:gml='http://www.opengis.net/gml'>"
      "<ogc:BBOX><gml:Envelope><gml:lowerCorner>-10.5 20.25</gml:lowerCorner>"
      "<gml:upperCorner>30 40</gml:upperCorner></gml:Envelope></ogc:BBOX></ogc:Filter>");
  const bool xmlRead = ParseFilterXml(doc.document_element(), &xml, &e);
  std::setlocale(LC_ALL, previous.c_str());
  ASSERT_TRUE(cqlRead && xmlRead) << e.message;
  EXPECT_EQ(Show(cql), "ows:BoundingBox bbox -10.5 20.25 30 40");
  EXPECT_EQ(Show(xml), "ows:BoundingBox bbox -10.5 20.25 30 40");
}

TEST(RequestNumbers, WholeNumbersAreDigitsOnly) {
  const std::pair<const char*, std::int64_t> cases[] = {{"0", 0},
                                                        {"17", 17},
                                                        {"000123", 123},
                                                        {"999999999999", 999999999999},
                                                        {"", -1},
                                                        {"+1", -1},
                                                        {"-1", -1},
                                                        {" 1", -1},
                                                        {"1e3", -1},
                                                        {"0x10", -1},
                                                        {"1.0", -1},
                                                        {"9999999999999", -1},
                                                        {"99999999999999999999999", -1}};
  for (const auto& [text, want] : cases) {
    std::int64_t got = -1;
    EXPECT_EQ(ParseWholeNumber(text, &got), want >= 0) << text;
    if (want >= 0) {
      EXPECT_EQ(got, want) << text;
    }
  }
  std::int64_t port = 0;
  EXPECT_TRUE(ParseWholeNumber("65535", &port, 5));
  EXPECT_FALSE(ParseWholeNumber("065535", &port, 5));
}

TEST(LikePattern, PiecesBetweenWildcards) {
  const struct {
    const char* pattern;
    std::vector<std::string> pieces;
    bool wildcard;
  } cases[] = {
      {"%water%", {"water"}, true},     {"water", {"water"}, false},
      {"a%b_c", {"a", "b", "c"}, true}, {"%", {}, true},
      {"x\\%y%", {"x%y"}, true},        {"", {}, false},
  };
  for (const auto& c : cases) {
    bool wildcard = false;
    EXPECT_EQ(LikePieces(c.pattern, &wildcard), c.pieces) << c.pattern;
    EXPECT_EQ(wildcard, c.wildcard) << c.pattern;
  }
}

TEST(DatePart, DatesAndDateTimes) {
  const std::pair<const char*, const char*> cases[] = {{"2020-03-01", "2020-03-01"},
                                                       {"2020-03-01T10:00:00Z", "2020-03-01"},
                                                       {"2020-03-01 10:00", "2020-03-01"},
                                                       {"2020-3-01", ""},
                                                       {"20200301", ""},
                                                       {"2020-03-01x", ""},
                                                       {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(DatePart(in), out) << in;
}

}  // namespace
}  // namespace metashelf::server

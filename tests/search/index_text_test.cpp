// The texts of the search indexes: record text, free-text queries as each
// engine reads them, boxes and periods. Nothing a user writes may become an
// operator of the engine or leave its quotes.
#include "search/index_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using metashelf::search::Fts5Query;
using metashelf::search::GeoBox;
using metashelf::search::TextTerm;

TEST(IndexTextTest, RecordTextKeepsValuesVerbatimAndLeavesMarkupOut) {
  const struct {
    const char* xml;
    const char* text;
  } cases[] = {
      {"<a><b>Water  quality</b>\n  <c>x&amp;y &#233;&#x41;</c></a>",
       "Water  quality\nx&y \xC3\xA9"
       "A\n"},
      {"<?xml version=\"1.0\"?><!-- note --><a x=\"attr &lt;v&gt;\"><![CDATA[<raw>]]></a>",
       "attr <v>\n<raw>\n"},
      {"<a xmlns=\"http://ns\" xsi:schemaLocation=\"http://ns a.xsd\" id='k'>t</a>", "k\nt\n"},
      {"<a>\n   \n</a>", ""},
      {"<a>&bogus; & &#xZZ;</a>", "&bogus; & &#xZZ;\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(metashelf::search::TextOfXml(c.xml), c.text) << c.xml;
  }
}

TEST(IndexTextTest, FreeTextBecomesQuotedTermsForEachEngine) {
  const struct {
    const char* query;
    const char* fts5;
    const char* tsquery;
  } cases[] = {
      {"water", "\"water\"", "phraseto_tsquery('simple','water')"},
      {"Water  Quality", "\"Water\" AND \"Quality\"",
       "phraseto_tsquery('simple','Water') && phraseto_tsquery('simple','Quality')"},
      {"\"lake erie\" wat*", "\"lake erie\" AND \"wat\" *",
       "phraseto_tsquery('simple','lake erie') && to_tsquery('simple','''wat'':*')"},
      {"\"a b\"*", "\"a b\" *",
       "tsquery_phrase(phraseto_tsquery('simple','a'),to_tsquery('simple','''b'':*'))"},
      {"NEAR(x y) OR -z ^w", "\"NEAR\" AND \"x\" AND \"y\" AND \"OR\" AND \"z\" AND \"w\"",
       nullptr},
      {"O'Brien's \"unclosed", "\"O\" AND \"Brien\" AND \"s\" AND \"unclosed\"", nullptr},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\"", "phraseto_tsquery('simple','caf\xC3\xA9')"},
  };
  for (const auto& c : cases) {
    std::vector<TextTerm> terms;
    ASSERT_TRUE(metashelf::search::ParseTextQuery(c.query, &terms)) << c.query;
    EXPECT_EQ(Fts5Query(terms), c.fts5) << c.query;
    if (c.tsquery != nullptr) {
      EXPECT_EQ(metashelf::search::TsQueryExpression(terms), c.tsquery) << c.query;
    }
  }
  for (const char* refused : {"", "  ", "\"\"", "* - ( ) \"", "a\xC3", "\xC0\xAF"}) {
    std::vector<TextTerm> terms;
    EXPECT_FALSE(metashelf::search::ParseTextQuery(refused, &terms)) << refused;
  }
}

TEST(IndexTextTest, BoxesPeriodsAndPatterns) {
  GeoBox box;
  ASSERT_TRUE(metashelf::search::ParseBox(" -125 , 24,-66, 50 ", &box));
  EXPECT_EQ(box.west, -125);
  EXPECT_EQ(box.north, 50);
  for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "a,0,0,0", "-181,0,0,1", "0,-91,0,1",
                          "0,10,1,5", "0,0,0x1,1", "0,0,inf,1", "0,0,1e999,1"}) {
    EXPECT_FALSE(metashelf::search::ParseBox(bad, &box)) << bad;
  }
  ASSERT_TRUE(metashelf::search::ParseBox("170,-10,-170,10", &box));
  const auto parts = metashelf::search::SplitAtAntimeridian(box);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].east, 180);
  EXPECT_EQ(parts[1].west, -180);

  const struct {
    const char* value;
    const char* first;
    const char* last;
  } periods[] = {{"2004", "2004-01-01", "2004-12-31"},
                 {" 2015-05\n", "2015-05-01", "2015-05-31"},
                 {"2000-02", "2000-02-01", "2000-02-29"},
                 {"1900-02", "1900-02-01", "1900-02-28"}};
  for (const auto& p : periods) {
    std::string first, last;
    ASSERT_TRUE(metashelf::search::ReducedDatePeriod(p.value, &first, &last)) << p.value;
    EXPECT_EQ(first, p.first);
    EXPECT_EQ(last, p.last);
  }
  for (const char* bad :
       {"2004-06-01", "0000", "2004-13", "2004-00", "204", "20045", "2004-1", "abcd", ""}) {
    std::string first, last;
    EXPECT_FALSE(metashelf::search::ReducedDatePeriod(bad, &first, &last)) << bad;
  }
  EXPECT_EQ(metashelf::search::PeriodCondition("between", "2003-06-01", "2005-01-01"),
            "LO<='2005-01-01' and HI>='2003-06-01'");
  EXPECT_EQ(metashelf::search::PeriodCondition("like", "x", ""), "");

  EXPECT_EQ(metashelf::search::TrigramPhrase("ab"), "");
  EXPECT_EQ(metashelf::search::TrigramPhrase("\xC3\xA9\xC3\xA9"), "");
  EXPECT_EQ(metashelf::search::TrigramPhrase("a\"b"), "\"a\"\"b\"");
  EXPECT_EQ(metashelf::search::LikeLiteral("100%_!", '!'), "100!%!_!!");
}

}  // namespace

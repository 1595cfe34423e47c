// The texts of the search indexes: record text, free-text queries as each
// engine reads them, boxes and periods. Nothing a user writes may become an
// operator of the engine or leave its quotes.
#include "search/index_text.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_map>
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

TEST(IndexTextTest, FreeTextBecomesQuotedTerms) {
  const struct {
    const char* query;
    const char* fts5;
  } cases[] = {
      {"water", "\"water\""},
      {"Water  Quality", "\"Water\" AND \"Quality\""},
      {"\"lake erie\" wat*", "\"lake erie\" AND \"wat\" *"},
      {"\"a b\"*", "\"a b\" *"},
      {"NEAR(x y) OR -z ^w", "\"NEAR\" AND \"x\" AND \"y\" AND \"OR\" AND \"z\" AND \"w\""},
      {"O'Brien's \"unclosed", "\"O\" AND \"Brien\" AND \"s\" AND \"unclosed\""},
      {"caf\xC3\xA9", "\"caf\xC3\xA9\""},
      {"water \xE2\x80\x94 \"\xE2\x80\xA2\" quality", "\"water\" AND \"quality\""},
  };
  for (const auto& c : cases) {
    std::vector<TextTerm> terms;
    ASSERT_TRUE(metashelf::search::ParseTextQuery(c.query, &terms)) << c.query;
    EXPECT_EQ(Fts5Query(terms), c.fts5) << c.query;
  }
  for (const char* refused :
       {"", "  ", "\"\"", "* - ( ) \"", "a\xC3", "\xC0\xAF", "\xE2\x80\x94 \xC2\xB0*"}) {
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

  using metashelf::search::Trigrams;
  EXPECT_TRUE(Trigrams("ab").empty());
  EXPECT_TRUE(Trigrams("\xC3\xA9\xC3\xA9").empty());
  EXPECT_EQ(Trigrams("abcabc"), (std::vector<std::string>{"abc", "bca", "cab"}));
  EXPECT_EQ(Trigrams("a\xC3\xA9\"b"), (std::vector<std::string>{"a\xC3\xA9\"", "\xC3\xA9\"b"}));
  EXPECT_EQ(metashelf::search::TrigramQuery({"a\"b", "NOT"}), "\"a\"\"b\" AND \"NOT\"");
  EXPECT_EQ(metashelf::search::LikeLiteral("100%_!", '!'), "100!%!_!!");
}

// A structure document with its markers filled: text values escaped where
// markup could read them, verbatim in CDATA; numbers and dates as asked;
// markers of values not given, and broken markers, stand for nothing.
TEST(IndexTextTest, MarkersAreFilledFromStoredValues) {
  static const char kNulValue[] = "nul\0 ]]> \x01t7<0\x02 &amp;";
  const std::unordered_map<std::uint64_t, std::string> texts = {
      {metashelf::search::LeafKey(7, 0), "a<b & \"c\""},
      {metashelf::search::LeafKey(7, 1), "x]]y"},
      {metashelf::search::LeafKey(7, 2), "it's\t>\n\r"},
      {metashelf::search::LeafKey(-2, 3), "neg"},
      {metashelf::search::LeafKey(7, 3), std::string(kNulValue, sizeof kNulValue - 1)},
  };
  metashelf::search::TextViews views(texts.begin(), texts.end());
  metashelf::search::SortByKey(&views);
  metashelf::search::MarkerValues values;
  values.views = &views;
  values.number = "0";
  values.date = "2000-01-01";
  const struct {
    std::string structure;
    std::string filled;
  } cases[] = {
      {"<t>\x01t7<0\x02</t>", "<t>a&lt;b &amp; &quot;c&quot;</t>"},
      {"<t a=\"\x01q7<0\x02\"/>", "<t a=\"a&lt;b &amp; &quot;c&quot;\"/>"},
      {"<t><![CDATA[\x01"
       "c7<1\x02]]></t>",
       "<t><![CDATA[x]]y]]></t>"},
      {"<n>\x01n9<0\x02</n><i>\x01i9<1\x02</i><d>\x01"
       "d4<0\x02</d>",
       "<n>0</n><i>0</i><d>2000-01-01</d>"},
      {"<t>\x01t-2<3\x02\x01t8<0\x02</t>", "<t>neg</t>"},
      {"<t>\x01t7<2\x02</t>", "<t>it&apos;s\t&gt;\n\r</t>"},
      {"<t>\x01t7\x02 \x01t7<x\x02 \x01</t>", "<t>  </t>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(metashelf::search::FillMarkers(c.structure, values), c.filled) << c.structure;
  }
  // The record's words come from the filled text, and reading them from
  // the structure document directly gives the same words.
  values.number = "";
  values.date = "";
  EXPECT_EQ(metashelf::search::TextOfXml(metashelf::search::FillMarkers(
                "<r><t>\x01t7<0\x02</t><n>\x01n9<0\x02</n><x>inline</x></r>", values)),
            "a<b & \"c\"\ninline\n");
  std::vector<std::string> structures = {
      "<r><t>\x01t7<0\x02</t><n>\x01n9<0\x02</n><x>inline</x></r>",
      "<t x='\x01t7<3\x02' xmlns:a=\"\x01t7<0\x02\">  \x01t7<3\x02 \x01t7<2\x02</t>",
      "<t><![CDATA[a \x01t7<1\x02 b]]>\x01t7<0\x02</t>",
      "<t><![CDATA[\x01t7<2\x02\x01t7<3\x02]]> after</t>",
      "<t><![CDATA[\x01"
      "c7<3\x02]]> after</t>",
      "<!-- \x01t7<0\x02 --><?p \x01t7<0\x02?><t>&lt;\x01t-2<3\x02&amp;</t>",
      "<t>\x01t7\x02\x01t7<x\x02\x01 \x01t8<0\x02 \x01t-2<3\x02</t><u \x01t7<0\x02/>",
  };
  for (const auto& c : cases) structures.push_back(c.structure);
  // Text left in the buffer from the record before does not remain.
  std::string viewed = "left from the record before";
  for (const std::string& structure : structures) {
    const std::string expected =
        metashelf::search::TextOfXml(metashelf::search::FillMarkers(structure, values));
    metashelf::search::TextOfStructure(structure, views, &viewed);
    EXPECT_EQ(viewed, expected) << structure;
  }
  for (const auto& [structure, holds] : std::vector<std::pair<std::string, bool>>{
           {"<d>2004</d>", true},
           {"<d> 2015-05\n</d>", true},
           {"<d a='1999'/>", true},
           {"<d><![CDATA[2004]]></d>", true},
           {"<d>20040601</d>", false},
           {"<d>2004-06-01</d>", false},
           {"<d>in 2004</d>", false},
           {"<d>\x01t1234<0\x02</d>", false},
           {"<d>204</d>", false},
       }) {
    EXPECT_EQ(metashelf::search::MayHoldReducedDate(structure), holds) << structure;
  }
}

}  // namespace

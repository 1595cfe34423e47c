// The pairs of adjacent words read from a tsvector's text form: quoting,
// weights, gaps, the last position many words share, the cut to a number of
// characters, and texts that are not a tsvector's.
#include "search/tsvector_pairs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using metashelf::search::ArrayLiteral;
using metashelf::search::TsvectorPairs;

TEST(TsvectorPairsTest, PairsOfAdjacentPositionsInByteOrder) {
  std::string longWord;
  for (int i = 0; i < 300; ++i) longWord += "\xC3\xA9";
  const struct {
    std::string tsvector;
    std::vector<std::string> pairs;
  } cases[] = {
      {"", {}},
      {"'c':3 'b':2 'a':1", {"a b", "b c"}},
      {"'a':1 'b':3", {}},
      {"'x':1A,3 'y':2B,4C", {"x y", "y x"}},
      {"'it''s':1 'a\\\\b':2 '''':3", {"a\\b '", "it's a\\b"}},
      {"'a':16382 'c':16383 'b':16383", {"a b", "a c"}},
      {"'" + longWord + "':1 'z':2", {longWord.substr(0, 2 * 256)}},
      {"'\xC3\xA9':1 'A':2 'a':3", {"A a", "\xC3\xA9 A"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> pairs = {"left over"};
    EXPECT_TRUE(TsvectorPairs(c.tsvector, 256, &pairs)) << c.tsvector;
    EXPECT_EQ(pairs, c.pairs) << c.tsvector;
  }
  for (const char* bad :
       {"a:1", "'a", "'a':", "'a':1,", "'a':0", "'a':16384", "'a':1  'b':2", "'a':1x", "'a\\"}) {
    std::vector<std::string> pairs;
    EXPECT_FALSE(TsvectorPairs(bad, 256, &pairs)) << bad;
    EXPECT_TRUE(pairs.empty()) << bad;
  }
  EXPECT_EQ(ArrayLiteral({"a\"b", "c\\d", "", "NULL", "{x,y}"}),
            "{\"a\\\"b\",\"c\\\\d\",\"\",\"NULL\",\"{x,y}\"}");
  EXPECT_EQ(ArrayLiteral({}), "{}");
}

}  // namespace

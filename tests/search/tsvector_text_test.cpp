// The forms PostgreSQL takes a record's words and a query in: the binary
// tsvector (positions capped and kept per lexeme, long words cut between
// characters, the size limit kept with the first words), the binary array
// of the keys of adjacent pairs (their definition is stored data), and the
// tsquery's text. The binary forms are read back here into the text forms
// the server would print; a real server reads them in the PostgreSQL
// search tests.
#include "search/tsvector_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using metashelf::search::KeyArray;
using metashelf::search::LexemeTerm;
using metashelf::search::PairKey;
using metashelf::search::TsvectorWriter;

// Reads numbers of network byte order off the front of a binary form.
struct Reader {
  std::string_view rest;
  std::uint64_t Next(int bytes) {
    std::uint64_t value = 0;
    for (int k = 0; k < bytes; ++k) value = value << 8 | static_cast<unsigned char>(rest[k]);
    rest.remove_prefix(static_cast<std::size_t>(bytes));
    return value;
  }
};

// The text form of a binary tsvector ("" for none).
std::string TsvectorText(std::string_view binary) {
  if (binary.empty()) return std::string();
  Reader in{binary};
  std::string text;
  for (std::uint64_t n = in.Next(4); n > 0; --n) {
    const std::string_view lexeme = in.rest.substr(0, in.rest.find('\0'));
    in.rest.remove_prefix(lexeme.size() + 1);
    if (!text.empty()) text += ' ';
    text += '\'';
    for (const char c : lexeme)
      text += c == '\'' || c == '\\' ? std::string(2, c) : std::string(1, c);
    text += '\'';
    for (std::uint64_t p = in.Next(2), k = 0; k < p; ++k) {
      text += (k == 0 ? ":" : ",") + std::to_string(in.Next(2));
    }
  }
  EXPECT_TRUE(in.rest.empty());
  return text;
}

// The array literal of a binary BIGINT[] ("" for none).
std::string KeysText(std::string_view binary) {
  if (binary.empty()) return std::string();
  Reader in{binary};
  EXPECT_EQ(in.Next(4), 1U);   // dimensions
  EXPECT_EQ(in.Next(4), 0U);   // no NULLs
  EXPECT_EQ(in.Next(4), 20U);  // of int8
  const std::uint64_t n = in.Next(4);
  EXPECT_EQ(in.Next(4), 1U);  // lower bound
  std::vector<std::int64_t> keys;
  for (std::uint64_t k = 0; k < n; ++k) {
    EXPECT_EQ(in.Next(4), 8U);
    keys.push_back(static_cast<std::int64_t>(in.Next(8)));
  }
  EXPECT_TRUE(in.rest.empty());
  return KeyArray(keys);
}

std::vector<std::string> Written(const std::vector<std::string>& words) {
  TsvectorWriter writer;
  writer.Add("left over");
  writer.Clear();
  for (const std::string& w : words) writer.Add(w);
  std::vector<std::string> out(2);
  writer.Write(&out[0], &out[1]);
  return {TsvectorText(out[0]), KeysText(out[1])};
}

std::string Keys(std::vector<std::int64_t> keys) {
  std::sort(keys.begin(), keys.end());
  return KeyArray(keys);
}

TEST(TsvectorTextTest, RecordWordsBecomeTsvectorAndPairKeys) {
  // Stored in every row: these numbers never change.
  EXPECT_EQ(PairKey("water", "quality"), 4120606729508302686);
  EXPECT_EQ(PairKey("a", "b"), -1910191339100817487);
  EXPECT_EQ(PairKey("b", "a"), -85525404290001923);

  std::vector<std::string> capped(16382, "a");
  for (const char* w : {"b", "c", "a"}) capped.emplace_back(w);
  std::string a256 = "'a':1";
  for (int p = 2; p <= 256; ++p) a256 += "," + std::to_string(p);
  const struct {
    std::vector<std::string> words;
    std::string tsvector;
    std::string pairs;
  } cases[] = {
      {{}, "", ""},
      {{"b", "a", "b"}, "'a':2 'b':1,3", Keys({PairKey("b", "a"), PairKey("a", "b")})},
      {{"it's", "a\\b", "it's"},
       "'a\\\\b':2 'it''s':1,3",
       Keys({PairKey("it's", "a\\b"), PairKey("a\\b", "it's")})},
      // Every word from the 16,383rd on lies there, adjacent to none.
      {capped, a256 + " 'b':16383 'c':16383", Keys({PairKey("a", "a"), PairKey("a", "b")})},
  };
  for (const auto& c : cases) {
    const auto got = Written(c.words);
    EXPECT_EQ(got[0], c.tsvector) << c.words.size();
    EXPECT_EQ(got[1], c.pairs) << c.words.size();
  }

  // Long words stand as their first 2,046 bytes, never half a character.
  const std::string x2045(2045, 'x');
  const struct {
    std::string word;
    std::size_t lexeme;
  } cuts[] = {{std::string(2046, 'x'), 2046},
              {std::string(100000, 'x'), 2046},
              {x2045 + "\xC3\xA9", 2045},
              {x2045 + "y\xC3\xA9", 2046}};
  for (const auto& c : cuts) {
    EXPECT_EQ(metashelf::search::LexemeOf(c.word), std::string_view(c.word).substr(0, c.lexeme));
  }

  // Past the size limit the words a record names first are kept, whatever
  // their byte order: 600 words of 2,000 bytes, in descending order.
  std::vector<std::string> large;
  for (int k = 999; k >= 400; --k) large.push_back(std::to_string(k) + std::string(1997, 'x'));
  const std::string tsvector = Written(large)[0];
  const std::size_t kept =
      static_cast<std::size_t>(std::count(tsvector.begin(), tsvector.end(), ':'));
  EXPECT_EQ(kept, metashelf::search::kTsvectorBytes / (2000 + 5));
  EXPECT_NE(tsvector.find("'999x"), std::string::npos);
  EXPECT_EQ(tsvector.find("'400x"), std::string::npos);
}

TEST(TsvectorTextTest, QueryTermsBecomeTsqueryAndPairKeys) {
  const std::vector<LexemeTerm> terms = {
      {{"water"}, false}, {{"lake", "erie"}, false}, {{"wat"}, true},
      {{"a", "b"}, true}, {{"it's", "a\\b"}, false},
  };
  EXPECT_EQ(metashelf::search::TsQueryText(terms),
            "'water' & ('lake' <-> 'erie') & 'wat':* & ('a' <-> 'b':*) & ('it''s' <-> 'a\\\\b')");
  const struct {
    LexemeTerm term;
    std::vector<std::int64_t> keys;
  } cases[] = {
      {{{"water"}, false}, {}},
      {{{"a", "b"}, true}, {}},
      {{{"a", "b", "c"}, true}, {PairKey("a", "b")}},
      {{{"the", "the", "the"}, false}, {PairKey("the", "the")}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(KeyArray(metashelf::search::TermPairKeys(c.term)), KeyArray(c.keys));
  }
}

}  // namespace

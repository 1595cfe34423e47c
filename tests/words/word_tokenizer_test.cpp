// The words SQLite's full-text index takes from a text: case folded,
// diacritics removed, other scripts kept, every other character a
// separator, nothing an operator; a word of 100 KB stays one word.
#include "metashelf/words/word_tokenizer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using metashelf::words::WordTokenizer;

std::vector<std::string> WordsOf(WordTokenizer* tokenizer, const std::string& text) {
  std::vector<std::string> words;
  EXPECT_TRUE(tokenizer->Tokenize(text, [&words](std::string_view w) { words.emplace_back(w); }));
  return words;
}

TEST(WordTokenizerTest, TakesTheWordsSqliteIndexes) {
  const std::unique_ptr<WordTokenizer> tokenizer = WordTokenizer::Open();
  ASSERT_NE(tokenizer, nullptr);
  const std::string huge(100000, 'x');
  const struct {
    std::string text;
    std::vector<std::string> words;
  } cases[] = {
      {"Water  QUALITY\n", {"water", "quality"}},
      {"Z\xC3\xBCrich \xC3\x89tang \xC5\x92UVRE stra\xC3\x9F"
       "e",
       {"zurich", "etang", "\xC5\x93uvre",
        "stra\xC3\x9F"
        "e"}},
      {"e-mail x.y@z.org 1.5 O'Brien's",
       {"e", "mail", "x", "y", "z", "org", "1", "5", "o", "brien", "s"}},
      {"NEAR(\"a*b\") AND -c ^d", {"near", "a", "b", "and", "c", "d"}},
      {"\xE6\x9D\xB1\xE4\xBA\xAC \xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0",
       {"\xE6\x9D\xB1\xE4\xBA\xAC", "\xD0\xBC\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"}},
      {"\xE2\x80\x94 \xE2\x80\xA6 '\\' \"", {}},
      {"", {}},
      {huge + " y", {huge, "y"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WordsOf(tokenizer.get(), c.text), c.words) << c.text.substr(0, 60);
  }
  // Bytes that are not UTF-8 are read without harm.
  WordsOf(tokenizer.get(), "a\xC3 b\xFF\xFE c\xE2\x80");
  // What the caller's function throws comes back through SQLite, which
  // stays usable.
  EXPECT_THROW(tokenizer->Tokenize("a b", [](std::string_view) { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(WordsOf(tokenizer.get(), "a b"), (std::vector<std::string>{"a", "b"}));
}

}  // namespace

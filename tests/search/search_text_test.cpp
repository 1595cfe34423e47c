// What a search request may contain, and the conversions of ids and texts
// that the search results go through.
#include "search/search_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

using namespace metashelf::search;

namespace {

TEST(SearchTextTest, ExpressionsHoldOnlyNumbersBlanksParenthesesAndTheTwoWords) {
  for (const char* accepted : {"1", "1 and 2", "(1 or 2) and 3", "007", "12 and 1", "1and2",
                               " ( ( 1 ) )\t\n", "()", "and or"}) {
    EXPECT_TRUE(IsAcceptedExpression(accepted)) << accepted;
  }
  for (const char* refused :
       {"1 AND 2", "1 Or 2", "1; drop table x", "1 -- x", "1 /* x */", "1 union all select 2",
        "1 or 'a'", "1 an 2", "1,2", "x", "1 and not 2", "1 minus 2"}) {
    EXPECT_FALSE(IsAcceptedExpression(refused)) << refused;
  }
  EXPECT_FALSE(IsAcceptedExpression(std::string("1\0 or 2", 7)));
}

TEST(SearchTextTest, OperatorsAreTheComparisonsAndTheTwoWords) {
  for (const char* op : {"=", "<>", "!=", "<", "<=", ">", ">=", "like", "between"}) {
    EXPECT_TRUE(IsAcceptedOperator(op)) << op;
  }
  for (const char* op :
       {"", "BETWEEN", "LIKE", "= ", "==", "in", "is", "||", "=1 or 1=1 --", "not like", "~"}) {
    EXPECT_FALSE(IsAcceptedOperator(op)) << op;
  }
}

TEST(SearchTextTest, NumbersAndDatesAreCheckedStrictly) {
  for (const char* number : {"0", "-12", "+3.5", ".5", "5.", "1e10", "-2.5E-3", "007"}) {
    EXPECT_TRUE(IsNumberText(number)) << number;
  }
  for (const char* number :
       {"", "-", ".", "1e", "1.2.3", " 1", "1 ", "0x10", "nan", "inf", "1;", "1 or 1=1", "--1"}) {
    EXPECT_FALSE(IsNumberText(number)) << number;
  }
  for (const char* date : {"2001-01-01", "2000-02-29", "1999-12-31", "0001-01-01"}) {
    EXPECT_TRUE(IsDateText(date)) << date;
  }
  for (const char* date :
       {"", "2001-1-01", "2001-13-01", "2001-00-10", "2001-02-29", "1900-02-29", "2001-04-31",
        "0000-01-01", "2001/01/01", "2001-01-01 ", "20010101", "2001-01-0x"}) {
    EXPECT_FALSE(IsDateText(date)) << date;
  }
}

TEST(SearchTextTest, QuotesAreDoubled) {
  EXPECT_EQ(QuoteDoubled("abc"), "abc");
  EXPECT_EQ(QuoteDoubled("O'Brien"), "O''Brien");
  EXPECT_EQ(QuoteDoubled("'; drop table x; --"), "''; drop table x; --");
  EXPECT_EQ(QuoteDoubled("''"), "''''");
}

TEST(SearchTextTest, ConditionNumbersFitThirtyTwoBits) {
  std::int32_t n = -1;
  EXPECT_TRUE(ParseConditionNumber("007", 3, &n));
  EXPECT_EQ(n, 7);
  EXPECT_TRUE(ParseConditionNumber("2147483647", 10, &n));
  EXPECT_EQ(n, 2147483647);
  EXPECT_FALSE(ParseConditionNumber("2147483648", 10, &n));
  EXPECT_FALSE(ParseConditionNumber("99999999999999999999999", 23, &n));
  EXPECT_TRUE(ParseConditionNumber("0000000000000000000012", 22, &n));
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(ParseConditionNumber("", 0, &n));
}

TEST(SearchTextTest, IdTextsConvertLikeADecimalReader) {
  struct Case {
    const char* text;
    std::int64_t id;
  };
  const Case cases[] = {{"12abc", 12},
                        {"", 0},
                        {"  42", 42},
                        {"-17", -17},
                        {"+5", 5},
                        {"abc", 0},
                        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
                        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
                        {"99999999999999999999", std::numeric_limits<std::int64_t>::max()},
                        {"-99999999999999999999", std::numeric_limits<std::int64_t>::min()}};
  for (const Case& c : cases) {
    char buffer[22] = {};
    std::strncpy(buffer, c.text, sizeof buffer - 1);
    EXPECT_EQ(ParseIdText(buffer, sizeof buffer), c.id) << c.text;
  }
  const char unterminated[4] = {'1', '2', '3', '4'};
  EXPECT_EQ(ParseIdText(unterminated, 3), 123);
}

TEST(SearchTextTest, Utf8PrefixNeverEndsInsideACharacter) {
  const std::string two = "\xC3\xA9";           // é
  const std::string four = "\xF0\x9F\x8C\x8D";  // a four-byte character
  EXPECT_EQ(Utf8PrefixLength("abc", 3, 5), 3u);
  EXPECT_EQ(Utf8PrefixLength("abcdef", 6, 4), 4u);
  std::string text = "ab" + two + "cd";
  EXPECT_EQ(Utf8PrefixLength(text.c_str(), text.size(), 3), 2u);
  EXPECT_EQ(Utf8PrefixLength(text.c_str(), text.size(), 4), 4u);
  text = "a" + four + "b";
  for (std::size_t room = 1; room <= 4; ++room) {
    EXPECT_EQ(Utf8PrefixLength(text.c_str(), text.size(), room), 1u) << room;
  }
  EXPECT_EQ(Utf8PrefixLength(text.c_str(), text.size(), 5), 5u);
  // Bytes that are not UTF-8 are cut where the room ends.
  const std::string stray(10, '\x80');
  EXPECT_EQ(Utf8PrefixLength(stray.c_str(), stray.size(), 6), 6u);
}

}  // namespace

// What a search request may contain: expressions, operators, condition
// numbers, and the values the shared rules accept for a comparison.
#include "search/request_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/sql_quote.h"

using namespace metashelf::search;
using metashelf::base::IsCalendarDate;
using metashelf::base::IsDecimalNumber;
using metashelf::base::QuoteDoubled;

namespace {

TEST(RequestChecksTest, ExpressionsHoldOnlyNumbersBlanksParenthesesAndTheTwoWords) {
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

TEST(RequestChecksTest, OperatorsAreTheComparisonsAndTheTwoWords) {
  for (const char* op : {"=", "<>", "!=", "<", "<=", ">", ">=", "like", "between"}) {
    EXPECT_TRUE(IsAcceptedOperator(op)) << op;
  }
  for (const char* op :
       {"", "BETWEEN", "LIKE", "= ", "==", "in", "is", "||", "=1 or 1=1 --", "not like", "~"}) {
    EXPECT_FALSE(IsAcceptedOperator(op)) << op;
  }
}

TEST(RequestChecksTest, NumbersAndDatesAreCheckedStrictly) {
  for (const char* number : {"0", "-12", "+3.5", ".5", "5.", "1e10", "-2.5E-3", "007"}) {
    EXPECT_TRUE(IsDecimalNumber(number)) << number;
  }
  for (const char* number :
       {"", "-", ".", "1e", "1.2.3", " 1", "1 ", "0x10", "nan", "inf", "1;", "1 or 1=1", "--1"}) {
    EXPECT_FALSE(IsDecimalNumber(number)) << number;
  }
  for (const char* date : {"2001-01-01", "2000-02-29", "1999-12-31", "0001-01-01"}) {
    EXPECT_TRUE(IsCalendarDate(date)) << date;
  }
  for (const char* date :
       {"", "2001-1-01", "2001-13-01", "2001-00-10", "2001-02-29", "1900-02-29", "2001-04-31",
        "0000-01-01", "2001/01/01", "2001-01-01 ", "20010101", "2001-01-0x"}) {
    EXPECT_FALSE(IsCalendarDate(date)) << date;
  }
}

TEST(RequestChecksTest, QuotesAreDoubled) {
  EXPECT_EQ(QuoteDoubled("abc"), "abc");
  EXPECT_EQ(QuoteDoubled("O'Brien"), "O''Brien");
  EXPECT_EQ(QuoteDoubled("'; drop table x; --"), "''; drop table x; --");
  EXPECT_EQ(QuoteDoubled("''"), "''''");
}

TEST(RequestChecksTest, ConditionNumbersFitThirtyTwoBits) {
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

}  // namespace

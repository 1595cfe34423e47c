// Oracle's TO_DATE reading rules for 'YYYY-MM-DD', and TO_CHAR writing.
#include "dialect/date_format.h"

#include <gtest/gtest.h>

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

struct DateCase {
  const char* text;
  const char* expected;  // storage text, "NULL", or an ORA code prefix for errors
};

class ToDateTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(ToDateTest, ReadsAsOracleDoes) {
  CivilTime v;
  bool isNull = false;
  Error error;
  const bool ok = ParseOracleDate(GetParam().text, "YYYY-MM-DD", &v, &isNull, &error);
  const std::string expected = GetParam().expected;
  if (expected.rfind("ORA-", 0) == 0) {
    EXPECT_FALSE(ok) << GetParam().text;
    // The number travels as a number; the message says it too.
    EXPECT_EQ(error.oracle, std::stoi(expected.substr(4))) << error.message;
    EXPECT_EQ(error.message.substr(0, 9), expected) << error.message;
    EXPECT_STREQ(StateOf(error), "22008");
  } else if (expected == "NULL") {
    EXPECT_TRUE(ok && isNull);
  } else {
    ASSERT_TRUE(ok) << GetParam().text << ": " << error.message;
    EXPECT_FALSE(isNull);
    EXPECT_EQ(StorageText(v), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Oracle, ToDateTest,
    ::testing::Values(DateCase{"2001-03-15", "2001-03-15 00:00:00"},
                      DateCase{"20010315", "2001-03-15 00:00:00"},
                      DateCase{"2001-3-5", "2001-03-05 00:00:00"},
                      DateCase{"2001/03/15", "2001-03-15 00:00:00"},
                      DateCase{"2000-02-29", "2000-02-29 00:00:00"}, DateCase{"", "NULL"},
                      DateCase{"2001", "ORA-01840"}, DateCase{"2001-02-30", "ORA-01839"},
                      DateCase{"1900-02-29", "ORA-01839"}, DateCase{"2001-13-01", "ORA-01843"},
                      DateCase{"2001-02-03 12:34", "ORA-01830"},
                      DateCase{"2001-0X-01", "ORA-01861"}, DateCase{"0000-01-01", "ORA-01841"},
                      DateCase{"2001-00-10", "ORA-01843"}, DateCase{"2001-01-00", "ORA-01847"},
                      DateCase{"abcd-01-01", "ORA-01858"}, DateCase{"2001x01-01", "ORA-01861"}));

TEST(ToDateFormats, OnlyKnownFormatsAndTimeMayBeOmitted) {
  EXPECT_TRUE(SupportedDateFormat("yyyy-mm-dd"));
  EXPECT_FALSE(SupportedDateFormat("DD-MON-RR"));
  CivilTime v;
  bool isNull = false;
  Error error;
  ASSERT_TRUE(ParseOracleDate("2001-02-03", "YYYY-MM-DD HH24:MI:SS", &v, &isNull, &error));
  EXPECT_EQ(StorageText(v), "2001-02-03 00:00:00");
  ASSERT_TRUE(ParseOracleDate("2001-02-03 04:05:06", "YYYY-MM-DD HH24:MI:SS", &v, &isNull, &error));
  EXPECT_EQ(StorageText(v), "2001-02-03 04:05:06");
  EXPECT_FALSE(
      ParseOracleDate("2001-02-03 24:00:00", "YYYY-MM-DD HH24:MI:SS", &v, &isNull, &error));
  std::string text;
  ASSERT_TRUE(FormatOracleDate(v, "YYYY-MM-DD", &text, &error));
  EXPECT_EQ(text, "2001-02-03");
  EXPECT_FALSE(FormatOracleDate(v, "MON", &text, &error));
  EXPECT_TRUE(ParseStorageText("2009-07-14", &v));
  EXPECT_FALSE(ParseStorageText("2009-02-30", &v));
  EXPECT_FALSE(ParseStorageText("2009-07-14 1", &v));
}

}  // namespace
}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

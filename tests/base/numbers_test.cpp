// Number texts: the accepted form, parsing, and the shortest round-trip
// printing, each over a table; and both again under a comma-decimal locale,
// which must change nothing.
#include "metashelf/base/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

using metashelf::base::FormatDouble;
using metashelf::base::IsDecimalNumber;
using metashelf::base::ParseDouble;
using metashelf::base::ShortestDouble;

TEST(Numbers, ParseDouble) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } kCases[] = {
      {"-105.694", true, -105.694},
      {"0", true, 0},
      {"+1.5", true, 1.5},
      {"1.", true, 1},
      {".5", true, 0.5},
      {"-.5e1", true, -5},
      {"1e308", true, 1e308},
      {"2E-3", true, 2e-3},
      {"1e-400", true, 0},
      {"1e400", false, 0},
      {"", false, 0},
      {".", false, 0},
      {"-", false, 0},
      {"1e", false, 0},
      {"1e+", false, 0},
      {"0x10", false, 0},
      {"inf", false, 0},
      {"nan", false, 0},
      {" 1", false, 0},
      {"1 ", false, 0},
      {"1,5", false, 0},
      {"1.2.3", false, 0},
      {"--1", false, 0},
      {"12abc", false, 0},
  };
  for (const auto& c : kCases) {
    double value = -7;
    EXPECT_EQ(ParseDouble(c.text, &value), c.ok) << c.text;
    EXPECT_EQ(IsDecimalNumber(c.text), c.ok || std::string(c.text) == "1e400") << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    } else {
      EXPECT_EQ(value, -7) << c.text << " changed the value";
    }
  }
}

struct Printed {
  double value;
  const char* plain;
  const char* upper;
};

const Printed kPrinted[] = {
    {-105.694, "-105.694", "-1.05694E+02"},
    {0.1, "0.1", "1E-01"},
    {0, "0", "0E+00"},
    {-0.0, "-0", "-0E+00"},
    {1, "1", "1E+00"},
    {123456789, "123456789", "1.23456789E+08"},
    {1e20, "1e+20", "1E+20"},
    {0.0001, "0.0001", "1E-04"},
    {1e-5, "1e-05", "1E-05"},
    {1234500000, "1.2345e+09", "1.2345E+09"},
    {0.30000000000000004, "0.30000000000000004", "3.0000000000000004E-01"},
    {1.0 / 3, "0.3333333333333333", "3.333333333333333E-01"},
    {std::numeric_limits<double>::max(), "1.7976931348623157e+308", "1.7976931348623157E+308"},
    {std::numeric_limits<double>::denorm_min(), "5e-324", "5E-324"},
};

void ExpectPrinted() {
  for (const auto& c : kPrinted) {
    EXPECT_EQ(ShortestDouble(c.value), c.plain);
    EXPECT_EQ(ShortestDouble(c.value, true), c.upper);
    double back = 0;
    ASSERT_TRUE(ParseDouble(ShortestDouble(c.value), &back)) << c.plain;
    EXPECT_EQ(back, c.value) << c.plain;
    ASSERT_TRUE(ParseDouble(ShortestDouble(c.value, true), &back)) << c.upper;
    EXPECT_EQ(back, c.value) << c.upper;
  }
  EXPECT_EQ(FormatDouble(12.345, 'f', 2), "12.35");
  EXPECT_EQ(FormatDouble(-180, 'g', 6), "-180");
  EXPECT_EQ(FormatDouble(2.5, 'g', 6), "2.5");
  EXPECT_EQ(FormatDouble(1234.5, 'e', 1), "1.2e+03");
  EXPECT_EQ(FormatDouble(1234.5, 'E', 1), "1.2E+03");
}

TEST(Numbers, ShortestDouble) {
  ExpectPrinted();
}

// GUI hosts set the user's locale; under a comma-decimal one the C library's
// strtod and printf read and write "1,5". These rules must not follow it.
TEST(Numbers, CommaDecimalLocaleChangesNothing) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
  }
  ExpectPrinted();
  double value = 0;
  EXPECT_TRUE(ParseDouble("-105.694", &value));
  EXPECT_EQ(value, -105.694);
  EXPECT_FALSE(ParseDouble("-105,694", &value));
  std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace

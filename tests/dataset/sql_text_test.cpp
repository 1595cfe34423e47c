// Values written into statement texts: the shortest number that reads back
// exactly, in both notations, agrees with a digit-by-digit search over
// awkward and random doubles; integers and quoted texts append as printf and
// quote doubling would write them.
#include "dataset/sql_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace metashelf {
namespace dataset {
namespace {

// The fewest digits that read back: tried one precision after another.
std::string Searched(double value, bool upperExponent) {
  char buffer[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, upperExponent ? "%.*E" : "%.*g",
                  upperExponent ? precision - 1 : precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

TEST(SqlText, ShortestNumberMatchesTheDigitSearch) {
  std::vector<double> values = {0.0,
                                -0.0,
                                1.0,
                                -1.0,
                                3.5,
                                0.0000004,
                                13.490195,
                                120.0,
                                100.0,
                                1e22,
                                1e21,
                                123456789.0,
                                0.1,
                                0.2 + 0.1,
                                1.0 / 3,
                                5e-324,
                                2.2250738585072014e-308,
                                std::numeric_limits<double>::max(),
                                -179.99999999999997,
                                9007199254740993.0,
                                1e-7,
                                1e16,
                                1e17,
                                12345678901234567890.0};
  std::mt19937_64 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    double d;
    const std::uint64_t bits = random();
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) values.push_back(d);
    values.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000000) - 1000000) /
                     std::pow(10.0, static_cast<double>(random() % 9)));
  }
  for (double v : values) {
    ASSERT_EQ(ShortestNumber(v), Searched(v, false)) << v;
    ASSERT_EQ(ShortestNumber(v, true), Searched(v, true)) << v;
  }
}

TEST(SqlText, IntegersAndQuotedTextsAppendAsWritten) {
  std::string text = "v";
  for (std::int64_t v :
       {std::int64_t{0}, std::int64_t{-7}, std::int64_t{1052},
        std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max()}) {
    AppendInt(&text, v);
    text += ',';
  }
  EXPECT_EQ(text, "v0,-7,1052,-9223372036854775808,9223372036854775807,");
  std::string quoted;
  const char value[] = "'it''s' '";
  AppendQuoted(&quoted, value, std::strlen(value));
  EXPECT_EQ(quoted, "''it''''s'' ''");
  EXPECT_EQ(QuoteLiteral("O'Brien"), "O''Brien");
  EXPECT_EQ(QuoteLiteral(nullptr), "");
}

}  // namespace
}  // namespace dataset
}  // namespace metashelf

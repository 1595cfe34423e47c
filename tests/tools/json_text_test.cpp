// JSON string literals of the tool's output.
#include "json_text.h"

#include <gtest/gtest.h>

using metashelf::cli::JsonString;

TEST(JsonTextTest, JsonStringEscapesAndRepairs) {
  EXPECT_EQ(JsonString("plain"), "\"plain\"");
  EXPECT_EQ(JsonString("a\"b\\c\nd\x01"), "\"a\\\"b\\\\c\\nd\\u0001\"");
  EXPECT_EQ(JsonString("Río"), "\"Río\"");
  EXPECT_EQ(JsonString("bad\xff"), "\"bad\xEF\xBF\xBD\"");
}

// When an import builds the value indexes after its rows.
#include "index_plan.h"

#include <gtest/gtest.h>

namespace metashelf::cli {
namespace {

TEST(IndexPlanTest, AutoBuildsAfterOnlyForLargeSqliteImportsThatOutweighTheCollection) {
  constexpr ValueIndexMode kAuto = ValueIndexMode::kAuto;
  EXPECT_TRUE(BuildValueIndexesAfter(kAuto, "sqlite", 1000, 0));
  EXPECT_FALSE(BuildValueIndexesAfter(kAuto, "sqlite", 999, 0));
  // The build covers the records already there: at least half as many.
  EXPECT_TRUE(BuildValueIndexesAfter(kAuto, "sqlite", 5000, 10000));
  EXPECT_FALSE(BuildValueIndexesAfter(kAuto, "sqlite", 4999, 10000));
  EXPECT_FALSE(BuildValueIndexesAfter(kAuto, "postgresql", 100000, 0));
  // Asked for, either way holds whatever the sizes and backend.
  EXPECT_TRUE(BuildValueIndexesAfter(ValueIndexMode::kAfter, "postgresql", 1, 1000000));
  EXPECT_FALSE(BuildValueIndexesAfter(ValueIndexMode::kInPlace, "sqlite", 1000000, 0));
}

TEST(IndexPlanTest, ModesAreParsedByTheirOptionNames) {
  ValueIndexMode mode = ValueIndexMode::kAuto;
  EXPECT_TRUE(ParseValueIndexMode("in-place", &mode));
  EXPECT_EQ(mode, ValueIndexMode::kInPlace);
  EXPECT_TRUE(ParseValueIndexMode("after", &mode));
  EXPECT_EQ(mode, ValueIndexMode::kAfter);
  EXPECT_TRUE(ParseValueIndexMode("auto", &mode));
  EXPECT_EQ(mode, ValueIndexMode::kAuto);
  for (const char* bad : {"", "inplace", "AFTER", "after "}) {
    EXPECT_FALSE(ParseValueIndexMode(bad, &mode)) << bad;
  }
  EXPECT_EQ(mode, ValueIndexMode::kAuto);
}

}  // namespace
}  // namespace metashelf::cli

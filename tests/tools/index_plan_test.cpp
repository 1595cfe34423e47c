// When an import builds the value indexes after its rows.
#include "index_plan.h"

#include <gtest/gtest.h>

namespace metashelf::cli {
namespace {

TEST(IndexPlanTest, AutoBuildsAfterOnlyWhereItPaysAndTheImportOutweighsTheCollection) {
  const MsValueIndexPolicy pays{1000, true};  // as SQLite says
  const MsValueIndexPolicy never{0, false};   // as PostgreSQL says
  struct Case {
    ValueIndexMode mode;
    const MsValueIndexPolicy& policy;
    std::size_t incoming;
    std::int64_t existing;
    bool after;
  };
  const Case cases[] = {
      {ValueIndexMode::kAuto, pays, 1000, 0, true},
      {ValueIndexMode::kAuto, pays, 999, 0, false},
      // The build covers the records already there: at least half as many.
      {ValueIndexMode::kAuto, pays, 5000, 10000, true},
      {ValueIndexMode::kAuto, pays, 4999, 10000, false},
      {ValueIndexMode::kAuto, never, 100000, 0, false},
      // Asked for, either way holds whatever the sizes and policy.
      {ValueIndexMode::kAfter, never, 1, 1000000, true},
      {ValueIndexMode::kInPlace, pays, 1000000, 0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildValueIndexesAfter(c.mode, c.policy, c.incoming, c.existing), c.after)
        << static_cast<int>(c.mode) << " from " << c.policy.buildAfterFrom << " " << c.incoming
        << " into " << c.existing;
  }
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

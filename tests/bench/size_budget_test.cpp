// Fitting the next size of a run into what is left of its time budget.
#include "size_budget.h"

#include <gtest/gtest.h>

namespace metashelf::bench {
namespace {

TEST(SizeBudgetTest, KeepsASizeThatFitsAndShrinksOneThatDoesNotToARoundSize) {
  // 10 ms a record, stretched by a quarter: 100,000 records take 1,250 s.
  EXPECT_DOUBLE_EQ(ProjectSeconds(100000, 0.01), 1250);
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 1300), 100000);
  // 610 s hold 48,800 records: two significant digits.
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 610), 48000);
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 543), 43000);
  // Small sizes round to whole records below a hundred.
  EXPECT_EQ(FitSize(1000, 10, 1.0, 99), 79);
}

TEST(SizeBudgetTest, LeavesOutASizeNoLargerThanThePreviousOne) {
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 120), 0);  // 9,600 would fit
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 125), 0);  // exactly 10,000
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 0), 0);    // nothing left
  EXPECT_EQ(FitSize(100000, 10000, 0.01, -30), 0);  // already over
  EXPECT_EQ(FitSize(100000, 10000, 0.01, 140), 11000);
}

TEST(SizeBudgetTest, WithoutATimeSoFarTheSizeStands) {
  EXPECT_EQ(FitSize(100000, 10000, 0, 1), 100000);
}

TEST(SizeBudgetTest, FitsTheSecondImportByTheFirstOnesTimeWithHalfAgainAsMargin) {
  EXPECT_DOUBLE_EQ(ProjectSecondImport(100), 150);
  EXPECT_TRUE(SecondImportFits(100, 150));
  EXPECT_FALSE(SecondImportFits(100, 149));
  EXPECT_FALSE(SecondImportFits(1, 0));
  EXPECT_FALSE(SecondImportFits(1, -20));  // the budget is already spent
}

}  // namespace
}  // namespace metashelf::bench

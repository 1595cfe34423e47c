// The exported factory and release functions.
#include <gtest/gtest.h>

#include "metashelf/metashelf.h"

TEST(FactoriesTest, NewObjectsStartClosed) {
  CMetaDataBase_abs* catalog = nullptr;
  CMetaDataSet_abs* set = nullptr;
  ASSERT_EQ(NewMdb(&catalog), 1);
  ASSERT_EQ(NewMds(&set), 1);
  ASSERT_NE(catalog, nullptr);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(catalog->mtdb_HasOpened(), 0);
  EXPECT_EQ(set->HasOpened(), 0);
  EXPECT_EQ(DeleteMdb(catalog), 1);
  EXPECT_EQ(DeleteMds(set), 1);
}

TEST(FactoriesTest, EitherReleaseNameDestroysEitherKind) {
  CMetaDataBase_abs* catalog = nullptr;
  CMetaDataSet_abs* set = nullptr;
  ASSERT_EQ(NewMdb(&catalog), 1);
  ASSERT_EQ(NewMds(&set), 1);
  // Under the sanitizers a wrong destructor or a leak fails this test.
  EXPECT_EQ(DeleteMds(catalog), 1);
  EXPECT_EQ(DeleteMdb(set), 1);
}

TEST(FactoriesTest, NullPointersAreHarmless) {
  EXPECT_EQ(DeleteMdb(nullptr), 1);
  EXPECT_EQ(DeleteMds(nullptr), 1);
  EXPECT_EQ(NewMdb(nullptr), 0);
  EXPECT_EQ(NewMds(nullptr), 0);
}

TEST(FactoriesTest, ExportedObjectsCannotBeCopied) {
  EXPECT_FALSE(std::is_copy_constructible<COraMetaDataBase>::value);
  EXPECT_FALSE(std::is_copy_assignable<COraMetaDataBase>::value);
  EXPECT_FALSE(std::is_copy_constructible<COraMetaDataSet>::value);
  EXPECT_FALSE(std::is_copy_assignable<COraMetaDataSet>::value);
}

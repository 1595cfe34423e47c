// CBlobData, CSmartFile and CSmartArray: bounds, negative sizes, growth.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "metashelf/blob_data.h"
#include "metashelf/smart_array.h"
#include "metashelf/smart_file.h"

TEST(BlobDataTest, PutReplacesAndGetHonoursOffsetAndLength) {
  CBlobData blob;
  EXPECT_EQ(blob.GetDataLength(), 0);
  ASSERT_EQ(blob.PutData("hello world", 11), 1);
  ASSERT_EQ(blob.PutData("abcdef", 6), 1);  // replaces, never appends
  EXPECT_EQ(blob.GetDataLength(), 6);

  char out[8] = {};
  EXPECT_EQ(blob.GetData(out, 2, 3), 3);
  EXPECT_EQ(std::string(out, 3), "cde");
  EXPECT_EQ(blob.GetData(out, 4, 100), 2);  // cut at the end
  EXPECT_EQ(blob.GetData(out, 6, 1), 0);
  EXPECT_EQ(blob.GetData(out, -1, 1), 0);
  EXPECT_EQ(blob.GetData(nullptr, 0, 1), 0);
}

TEST(BlobDataTest, RefusesNegativeLengthAndNullData) {
  CBlobData blob;
  blob.PutData("xy", 2);
  EXPECT_EQ(blob.PutData("z", -1), 0);
  EXPECT_EQ(blob.PutData(nullptr, 3), 0);
  EXPECT_EQ(blob.GetDataLength(), 2);
  EXPECT_EQ(blob.PutData(nullptr, 0), 1);
  EXPECT_EQ(blob.GetDataLength(), 0);
}

TEST(SmartFileTest, WritePastEndZeroFillsAndCutKeepsPositionInside) {
  CSmartFile file;
  ASSERT_TRUE(file.Seek(4));
  ASSERT_TRUE(file.Write("ab", 2));
  EXPECT_EQ(file.GetLength(), 6);
  EXPECT_EQ(file.Data()[0], 0);
  EXPECT_EQ(file.GetPosition(), 6);

  ASSERT_TRUE(file.SetLength(3));
  EXPECT_EQ(file.GetPosition(), 3);
  EXPECT_FALSE(file.SetLength(-1));
  EXPECT_FALSE(file.Seek(-2));
  EXPECT_FALSE(file.Write(nullptr, 1));
  EXPECT_FALSE(file.Write("a", -1));

  char buf[4];
  ASSERT_TRUE(file.Seek(0));
  EXPECT_EQ(file.Read(buf, 10), 3);
  EXPECT_EQ(file.Read(buf, 10), 0);
}

TEST(SmartArrayTest, AppendReturnsIndexAndOutOfRangeGivesNothing) {
  CSmartArray<std::int64_t> ids;
  EXPECT_EQ(ids.Add(7), 0);
  EXPECT_EQ(ids.Add(-9000000000LL), 1);
  EXPECT_EQ(ids.GetSize(), 2);

  std::int64_t v = 42;
  EXPECT_TRUE(ids.GetAt(1, &v));
  EXPECT_EQ(v, -9000000000LL);
  v = 42;
  EXPECT_FALSE(ids.GetAt(2, &v));
  EXPECT_FALSE(ids.GetAt(-1, &v));
  EXPECT_EQ(v, 42);
  EXPECT_EQ(ids[5], 0);
}

TEST(SmartArrayTest, SetSizeRefusesNegativesAndEmptiesForReuse) {
  CSmartArray<std::int32_t> ids;
  for (int i = 0; i < 100; ++i) ids.Add(i);
  EXPECT_FALSE(ids.SetSize(-1));
  EXPECT_EQ(ids.GetSize(), 100);
  ASSERT_TRUE(ids.SetSize(0));
  EXPECT_EQ(ids.GetSize(), 0);
  EXPECT_EQ(ids.Add(5), 0);  // appends after emptying start at 0
  EXPECT_EQ(ids[0], 5);
  ASSERT_TRUE(ids.SetSize(3));
  EXPECT_EQ(ids[1], 0);  // new elements are zero
  EXPECT_EQ(ids.Add(9), 3);
}

// A record's attachment: one put through a locator, size and read in one
// fetch, update only of an existing row, deletes of every row; only for a
// record the set holds, each write one unit of work.
#include <gtest/gtest.h>

#include "dataset/set_fixture.h"

using metashelf::driver::Value;
using settest::SetTest;

namespace {

TEST_F(SetTest, AttachmentOfTwoKilobytesGoesInWholeAndComesBack) {
  OpenSet();
  std::string data(2048, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  driver.OnExecute("for update").Rows({{Value::Null()}});
  ASSERT_EQ(set.AddMetaAdditional(5, &data[0], 2048), 1);
  const std::vector<std::string> expected = {
      "AllocStmt",
      "Prepare SELECT COUNT(*) FROM GEO.KRDB_META_INFO WHERE META_ID=5 AND COL_ID=17",
      "BindCol 1 type 3 len 4",
      "Execute",
      "Fetch",
      "FreeStmt 1",
      "BeginUnit BEGIN",
      "AllocStmt",
      "ExecDirect insert into GEO.META_ADDITIONAL_17 values(5,EMPTY_BLOB())",
      "FreeStmt 0",
      "Prepare select PICTURE_INFO from GEO.META_ADDITIONAL_17 where MetaID=5 for update",
      "BindCol 1 type 113 len 0",
      "Execute",
      "Fetch",
      "ParamData -> 99",
      "PutData 2048",
      "EndUnit COMMIT",
      "FreeStmt 1"};
  EXPECT_EQ(driver.Trace(), expected);
  EXPECT_EQ(driver.Calls()[15].data, data);

  driver.OnExecute("getlength(PICTURE_INFO)").Rows({{Value::Int(2048)}});
  driver.OnExecute("select PICTURE_INFO from").Rows({{Value::Bytes(data)}});
  std::int32_t size = -1;
  ASSERT_EQ(set.GetMetaAdditionalSize(5, size), 1);
  EXPECT_EQ(size, 2048);
  std::string back(2048, 'x');
  ASSERT_EQ(set.GetMetaAdditional(5, &back[0], 2048), 1);
  EXPECT_EQ(back, data);
  EXPECT_EQ(driver.Texts().back(),
            "select PICTURE_INFO from GEO.META_ADDITIONAL_17 where MetaID=5");
}

TEST_F(SetTest, AttachmentOperationsWithoutARow) {
  OpenSet();
  char data[4] = {1, 2, 3, 4};
  EXPECT_EQ(set.UpdateMetaAdditional(5, data, 4), 0);
  EXPECT_TRUE(driver.Texts().size() == 2u);  // the lookup and the select: no insert
  std::int32_t size = -1;
  EXPECT_EQ(set.GetMetaAdditionalSize(5, size), 0);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(set.DelMetaAdditional(5), 1);
  EXPECT_EQ(driver.Texts().back(), "delete from GEO.META_ADDITIONAL_17 where MetaID=5");
  driver.OnExecute("delete from").Status(-1);
  EXPECT_EQ(set.DelMetaAdditional(5), 0);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");
}

TEST_F(SetTest, AttachmentCallsOnARecordTheSetDoesNotHoldRunNothing) {
  OpenSet();
  holds.Rows({{Value::Int(0)}});
  char data[4] = {1, 2, 3, 4};
  std::int32_t size = -1;
  EXPECT_EQ(set.AddMetaAdditional(5, data, 4), 0);
  EXPECT_EQ(set.UpdateMetaAdditional(5, data, 4), 0);
  EXPECT_EQ(set.DelMetaAdditional(5), 0);
  EXPECT_EQ(set.GetMetaAdditionalSize(5, size), 0);
  EXPECT_EQ(set.GetMetaAdditional(5, data, 4), 0);
  // Five lookups, nothing else.
  EXPECT_EQ(driver.Texts(),
            std::vector<std::string>(
                5, "SELECT COUNT(*) FROM GEO.KRDB_META_INFO WHERE META_ID=5 AND COL_ID=17"));
}

TEST_F(SetTest, AttachmentsStillWorkAfterCloseAndNeverOnAFreshSet) {
  OpenSet();
  ASSERT_EQ(set.Close(), 1);
  EXPECT_EQ(set.DelMetaAdditional(8), 1);
  EXPECT_EQ(driver.Texts().back(), "delete from GEO.META_ADDITIONAL_17 where MetaID=8");
  COraMetaDataSet fresh;
  char data[1] = {0};
  std::int32_t size = 0;
  EXPECT_EQ(fresh.AddMetaAdditional(1, data, 1), 0);
  EXPECT_EQ(fresh.DelMetaAdditional(1), 0);
  EXPECT_EQ(fresh.GetMetaAdditionalSize(1, size), 0);
  EXPECT_EQ(fresh.GetMetaAdditional(1, data, 1), 0);
}

}  // namespace

// Writing, replacing, deleting and reading whole records on the scripted
// driver: registration first, documents through locators, one row per
// routed leaf node, and nothing written for a record that cannot be stored.
#include <gtest/gtest.h>

#include "dataset/set_fixture.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using settest::SetTest;

namespace {

const char kRecord[] =
    "<?xml version=\"1.0\"?>\n<rec><title>A'B</title><size>12</size>"
    "<west> 13.490195 </west><when>2009-07-14</when></rec>";

class RecordTest : public SetTest {
 protected:
  void SetUp() override {
    SetTest::SetUp();
    OpenSet();
    // Every select for update finds its row.
    driver.OnExecute("for update").Rows({{Value::Null()}}).Times(-1);
  }

  // A record whose parts are set directly, with one leaf of `path`.
  std::unique_ptr<CBaseMetaData> RecordWithLeaf(const char* path, const std::string& value) {
    auto record = std::make_unique<CBaseMetaData>(schema_);
    record->SetStructInfo("<rec>x</rec>");
    record->SetPrologInfo("<?xml version=\"1.0\"?>\n");
    CSmartArray<CLeafNode*> leaves;
    CLeafNode leaf;
    const std::int32_t guid = Guid(path);
    const std::int32_t position = 0;
    leaf.SetNodeGUID(guid);
    leaf.SetNodePosition(position);
    leaf.SetNodeValue(value.c_str());
    leaves.Add(&leaf);
    record->SetLeafNodeList(leaves);
    return record;
  }
};

TEST_F(RecordTest, AddRegistersThenWritesDocumentsAndRoutedNodes) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1) << record.LastError();
  EXPECT_EQ(set.AddMetaData(&record), 5);
  EXPECT_EQ(catalog.log, std::vector<std::string>{"meta_Add 17"});
  const auto texts = driver.Texts();
  ASSERT_GE(texts.size(), 3u);
  EXPECT_EQ(texts[0],
            "insert into GEO.META_STRUCTINFO_17 values(5,EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())");
  EXPECT_EQ(texts[1], "select STRUCT_INFO from GEO.META_STRUCTINFO_17 where MetaID=5 for update");
  EXPECT_EQ(texts[2], "select PROLOG_INFO from GEO.META_STRUCTINFO_17 where MetaID=5 for update");
  const std::string title = std::to_string(Guid("/rec/title"));
  const std::string size = std::to_string(Guid("/rec/size"));
  const std::string west = std::to_string(Guid("/rec/west"));
  const std::string when = std::to_string(Guid("/rec/when"));
  EXPECT_EQ(TextsWith("META_NDTEXT_17"),
            std::vector<std::string>{"insert into GEO.META_NDTEXT_17(MetaID,NODEGUID,POSITION,"
                                     "NODEVALUE) values(5, " +
                                     title + ", 0,'A''B')"});
  EXPECT_EQ(TextsWith("META_NDNUMBER_17"),
            (std::vector<std::string>{
                "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, " +
                    size + ", 0,12)",
                "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, " +
                    west + ", 0,13.490195)"}));
  EXPECT_EQ(TextsWith("META_NDDATETIME_17"),
            std::vector<std::string>{"insert into GEO.META_NDDATETIME_17 values(5," + when +
                                     ",0,to_date('2009-07-14','YYYY-MM-DD'))"});
}

TEST_F(RecordTest, ValuesTheTablesCannotHoldRefuseTheRecordBeforeAnyWrite) {
  EXPECT_EQ(set.AddMetaData(RecordWithLeaf("/rec/size", "twelve").get()), 0);
  EXPECT_EQ(set.AddMetaData(RecordWithLeaf("/rec/when", "2009-02-30").get()), 0);
  EXPECT_EQ(set.AddMetaData(RecordWithLeaf("/rec/title", std::string(4001, 'x')).get()), 0);
  EXPECT_EQ(set.UpdateMetaData(5, RecordWithLeaf("/rec/size", "1x").get()), 0);
  EXPECT_TRUE(catalog.log.empty());
  EXPECT_TRUE(driver.Calls().empty());
  CBaseMetaData empty(schema_);  // no structure, no prolog
  EXPECT_EQ(set.AddMetaData(&empty), 0);
  EXPECT_EQ(set.UpdateMetaData(5, &empty), 0);
  EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(RecordTest, EmptyNumberIsStoredAsNullAndBlanksAroundANumberAreNotPartOfIt) {
  EXPECT_EQ(set.AddMetaData(RecordWithLeaf("/rec/west", "").get()), 5);
  EXPECT_EQ(set.AddMetaData(RecordWithLeaf("/rec/west", "\n -7.25e2\t").get()), 5);
  const std::string west = std::to_string(Guid("/rec/west"));
  EXPECT_EQ(
      TextsWith("META_NDNUMBER_17"),
      (std::vector<std::string>{
          "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION) values(5, " + west + ", 0)",
          "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, " + west +
              ", 0,-725)"}));
}

TEST_F(RecordTest, AFailingRowStatementIsReportedAndEndsTheWrite) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1);
  driver.faults().FailNth(Call::kExecDirect, 3);  // the second node insert
  EXPECT_EQ(set.AddMetaData(&record), 0);
  EXPECT_EQ(driver.faults().Count(Call::kExecDirect), 3);

  driver.faults().Clear();
  driver.faults().FailNth(Call::kPutData, 2);  // the prolog document
  EXPECT_EQ(set.AddMetaData(&record), 0);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");  // the half-written record is undone
  EXPECT_EQ(set.UpdateMetaData(5, &record), 1);
}

TEST_F(RecordTest, UpdateExaminesTheRecordThenDeletesAndRewrites) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1);
  EXPECT_EQ(set.UpdateMetaData(9, &record), 1);
  EXPECT_EQ(catalog.log, std::vector<std::string>{"meta_UpdateTime 9"});
  const auto texts = driver.Texts();
  ASSERT_GE(texts.size(), 6u);
  EXPECT_EQ(texts[0], "SELECT COUNT(*) FROM GEO.KRDB_META_INFO WHERE META_ID=9 AND COL_ID=17");
  EXPECT_EQ(texts[1], "delete from GEO.META_STRUCTINFO_17 where MetaID=9");
  EXPECT_EQ(texts[2], "delete from GEO.META_NDDATETIME_17 where MetaID=9");
  EXPECT_EQ(texts[3], "delete from GEO.META_NDTEXT_17 where MetaID=9");
  EXPECT_EQ(texts[4], "delete from GEO.META_NDNUMBER_17 where MetaID=9");
  EXPECT_EQ(texts[5],
            "insert into GEO.META_STRUCTINFO_17 values(9,EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())");

  driver.ClearCalls();
  driver.OnExecute("delete from GEO.META_NDTEXT_17").Status(-1);
  EXPECT_EQ(set.UpdateMetaData(9, &record), 0);
  EXPECT_EQ(TextsWith("insert").size(), 0u);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");  // the deleted rows come back

  // A record of another collection is neither read nor replaced nor deleted.
  driver.ClearCalls();
  catalog.log.clear();
  holds.Rows({{Value::Int(0)}});
  CBaseMetaData back(schema_);
  EXPECT_EQ(set.GetMetaData(9, &back), 0);
  EXPECT_EQ(set.UpdateMetaData(9, &record), 0);
  EXPECT_EQ(set.DelMetaData(9), 0);
  EXPECT_TRUE(catalog.log.empty());
  EXPECT_EQ(driver.Texts().size(), 3u);  // the three lookups
}

TEST_F(RecordTest, ClosedSetRefusesEveryRecordOperation) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1);
  COraMetaDataSet closed;
  EXPECT_EQ(closed.AddMetaData(&record), -1);
  EXPECT_EQ(closed.UpdateMetaData(5, &record), -1);
  EXPECT_EQ(closed.DelMetaData(5), 0);
  EXPECT_EQ(closed.GetMetaData(5, &record), 0);
  CMetadataSync sync;
  EXPECT_EQ(closed.AddMetaData(&sync), -1);
  EXPECT_EQ(closed.UpdateMetaData(5, &sync), 0);
  EXPECT_TRUE(catalog.log.empty());
  EXPECT_TRUE(driver.Calls().empty());
}

TEST_F(RecordTest, DeleteUnregistersThenDeletesRowsAndAttachment) {
  EXPECT_EQ(set.DelMetaData(5), 1);
  EXPECT_EQ(catalog.log, std::vector<std::string>{"meta_Del 5"});
  const std::vector<std::string> expected = {
      "SELECT COUNT(*) FROM GEO.KRDB_META_INFO WHERE "
      "META_ID=5 AND COL_ID=17",
      "delete from GEO.META_STRUCTINFO_17 where MetaID=5",
      "delete from GEO.META_NDDATETIME_17 where MetaID=5",
      "delete from GEO.META_NDTEXT_17 where MetaID=5",
      "delete from GEO.META_NDNUMBER_17 where MetaID=5",
      "delete from GEO.META_ADDITIONAL_17 where MetaID=5"};
  EXPECT_EQ(driver.Texts(), expected);

  driver.ClearCalls();
  driver.OnExecute("delete from GEO.META_NDDATETIME_17").Status(-1);
  EXPECT_EQ(set.DelMetaData(5), 0);
  EXPECT_EQ(driver.Texts().size(), 3u);
  EXPECT_EQ(driver.Trace().back(), "EndUnit ROLLBACK");  // registration and rows come back

  driver.ClearCalls();
  catalog.metaDelResult = 0;
  EXPECT_EQ(set.DelMetaData(5), 0);
  EXPECT_EQ(driver.Texts().size(), 1u);  // the lookup only
}

class ReadTest : public RecordTest {
 protected:
  // Scripts the rows that `record` was stored as under id 5.
  void ScriptStored(const CBaseMetaData& record, bool withLabel = true) {
    auto part = [](std::int32_t size, auto get) {
      std::string s(static_cast<std::size_t>(size), '\0');
      get(&s[0], size);
      return s;
    };
    std::int32_t n = 0;
    record.GetStructInfoSize(n);
    structInfo = part(n, [&](char* b, std::int32_t l) { record.GetStructInfo(b, l); });
    record.GetPrologInfoSize(n);
    prolog = part(n, [&](char* b, std::int32_t l) { record.GetPrologInfo(b, l); });
    record.GetValueLabelSize(n);
    label = withLabel ? part(n, [&](char* b, std::int32_t l) { record.GetValueLabel(b, l); }) : "";
    Script("STRUCT_INFO", structInfo);
    Script("PROLOG_INFO", prolog);
    Script("LABEL_INFO", label);
    record.GetLeafNodeListSize(n);
    std::vector<CLeafNode> leaves(static_cast<std::size_t>(n));
    CSmartArray<CLeafNode*> list;
    for (auto& leaf : leaves) list.Add(&leaf);
    record.GetLeafNodeList(list, n);
    std::vector<std::vector<Value>> text, number, date;
    for (const auto& leaf : leaves) {
      std::int32_t guid = 0, position = 0;
      leaf.GetNodeGUID(guid);
      leaf.GetNodePosition(position);
      CNodeInfo info;
      schema_->GetNodeInfoByGUID(guid, &info);
      short type = 0;
      info.GetTableType(type);
      std::vector<Value> row = {Value::Int(guid), Value::Int(position), Value::Text(leaf.Value())};
      if (type == 2) row[2] = Value::Double(std::strtod(leaf.Value().c_str(), nullptr));
      (type == 1 ? text : type == 2 ? number : date).push_back(row);
    }
    driver.OnExecute("FROM GEO.META_NDTEXT_17").Rows(text);
    driver.OnExecute("FROM GEO.META_NDNUMBER_17").Rows(number);
    driver.OnExecute("FROM GEO.META_NDDATETIME_17").Rows(date);
  }
  void Script(const std::string& column, const std::string& bytes) {
    driver.OnExecute("getlength(" + column + ")")
        .Rows({{Value::Int(static_cast<std::int64_t>(bytes.size()))}});
    driver.OnExecute("select " + column + " from").Rows({{Value::Bytes(bytes)}});
  }
  std::string structInfo, prolog, label;
};

TEST_F(ReadTest, StoredRowsRebuildTheRecord) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1);
  ScriptStored(record);
  CBaseMetaData back(schema_);
  ASSERT_EQ(set.GetMetaData(5, &back), 1);
  EXPECT_EQ(back.GetMetaID(), 5);
  std::string original, rebuilt;
  ASSERT_EQ(record.ToXml(original), 1);
  ASSERT_EQ(back.ToXml(rebuilt), 1);
  EXPECT_EQ(rebuilt, original);
  std::int32_t count = 0;
  back.GetLeafNodeListSize(count);
  EXPECT_EQ(count, 4);
  // Text rows first, then numbers, then dates.
  const auto texts = driver.Texts();
  EXPECT_NE(texts[texts.size() - 3].find("META_NDTEXT_17"), std::string::npos);
  EXPECT_NE(texts[texts.size() - 1].find("META_NDDATETIME_17"), std::string::npos);
}

TEST_F(ReadTest, MissingRowOrEmptyPrologReadsNothing) {
  CBaseMetaData back(schema_);
  EXPECT_EQ(set.GetMetaData(5, &back), 0);  // no row at all
  std::int32_t size = -1;
  back.GetStructInfoSize(size);
  EXPECT_EQ(size, 0);

  Script("STRUCT_INFO", "<rec/>");
  Script("PROLOG_INFO", "");
  EXPECT_EQ(set.GetMetaData(5, &back), 0);
  back.GetStructInfoSize(size);
  EXPECT_EQ(size, 6);  // the structure was set before the prolog was found empty
}

TEST_F(ReadTest, AFailingNodeReadIsReported) {
  CBaseMetaData record(schema_);
  ASSERT_EQ(record.LoadXml(kRecord, sizeof kRecord - 1), 1);
  ScriptStored(record);
  driver.faults().FailNth(Call::kExtendedFetch, 2);
  CBaseMetaData back(schema_);
  EXPECT_EQ(set.GetMetaData(5, &back), 0);
}

}  // namespace

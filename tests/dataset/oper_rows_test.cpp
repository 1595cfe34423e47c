// The row operations of one set's tables: document writes through BLOB
// locators, length queries, node-row inserts and the rowset reads.
#include <gtest/gtest.h>

#include <memory>

#include "dataset/meta_set_oper.h"
#include "dataset/set_fixture.h"

using metashelf::driver::Call;
using metashelf::driver::Value;
using metashelf::driver::scripted::ScriptedDriver;

namespace {

class OperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settest::SchemaDocs docs = settest::ParseTestSchema();
    schema.SetNodeStructList(docs.nodeInfo.c_str());
  }
  ~OperTest() override {
    for (std::int32_t i = 0; i < list.GetSize(); ++i) delete list[i];
  }
  std::string ValueAt(std::int32_t i) { return list[i]->Value(); }
  std::string Tag(std::int32_t i) { return list[i]->Tag(); }

  ScriptedDriver driver;
  CSchema schema;
  COraMetaSetOper oper{"GEO", driver.hdbc(), &schema};
  CSmartArray<CLeafNode*> list;
};

TEST_F(OperTest, StructureDocumentGoesInThroughALocatorInOnePut) {
  const std::vector<std::string> expected = {
      "AllocStmt",
      "ExecDirect insert into GEO.META_STRUCTINFO_17 "
      "values(5,EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())",
      "FreeStmt 0",
      "Prepare select STRUCT_INFO from GEO.META_STRUCTINFO_17 where MetaID=5 for update",
      "BindCol 1 type 113 len 0",
      "Execute",
      "Fetch",
      "ParamData -> 99",
      "PutData 4",
      "FreeStmt 1"};
  driver.ClearCalls();
  driver.OnExecute("for update").Rows({{Value::Null()}});
  ASSERT_EQ(oper.InsertStructInfo(17, 5, "<a/>", 4), 1);
  EXPECT_EQ(driver.Trace(), expected);
  EXPECT_EQ(driver.Calls()[8].data, "<a/>");
}

TEST_F(OperTest, DocumentWriteWithoutItsRowFails) {
  // No row to select: the fetch reports no data and nothing is put. The
  // inserted row keeps its empty documents.
  EXPECT_EQ(oper.InsertStructInfo(17, 5, "<a/>", 4), 0);
  EXPECT_EQ(driver.faults().Count(Call::kPutData), 0);
  driver.ClearCalls();
  EXPECT_EQ(oper.WritePrologInfo(17, 5, "p", 1), 0);
  const auto trace = driver.Trace();
  EXPECT_EQ(trace[trace.size() - 2], "Fetch -> 100");
  EXPECT_EQ(driver.Texts()[0],
            "select PROLOG_INFO from GEO.META_STRUCTINFO_17 where MetaID=5 for update");
}

TEST_F(OperTest, LengthQueriesNeedExactSuccessAndKeepMinusOneWithoutARow) {
  std::int32_t length = 99;
  EXPECT_EQ(oper.GetStructInfoLength(17, 5, &length), 0);
  EXPECT_EQ(length, -1);
  EXPECT_EQ(driver.Texts()[0],
            "select dbms_lob.getlength(STRUCT_INFO) from GEO.META_STRUCTINFO_17 where MetaID=5");
  driver.OnExecute("getlength(LABEL_INFO)").Rows({{Value::Int(0)}});
  EXPECT_EQ(oper.GetValueLabelLength(17, 5, &length), 1);
  EXPECT_EQ(length, 0);
  driver.OnExecute("getlength(PROLOG_INFO)").Status(1).Rows({{Value::Int(7)}});
  EXPECT_EQ(oper.GetPrologInfoLength(17, 5, &length), 0);
}

TEST_F(OperTest, DocumentReadArrivesInOneFetch) {
  driver.OnExecute("select PROLOG_INFO").Rows({{Value::Bytes("<?xml?>")}});
  char buffer[8] = {};
  ASSERT_EQ(oper.ReadPrologInfo(17, 5, buffer, 7), 1);
  EXPECT_STREQ(buffer, "<?xml?>");
  EXPECT_EQ(driver.Trace()[2], "BindCol 1 type 24 len 7");
}

TEST_F(OperTest, NodeInsertsFormatTheirValuesIntoTheText) {
  EXPECT_EQ(oper.InsertNodeText(17, 5, 1052, 3, "O'Brien's map"), 1);
  EXPECT_EQ(oper.InsertNodeText(17, 5, 1052, 4, ""), 1);
  EXPECT_EQ(oper.InsertNodeNumber(17, 5, 1053, 0, 3.5), 1);
  EXPECT_EQ(oper.InsertNodeNumber(17, 5, 1053, 1, 0.0000004), 1);
  EXPECT_EQ(oper.InsertNodeNumber(17, 5, 1053, 2, 13.490195), 1);
  EXPECT_EQ(oper.InsertNodeNumberNull(17, 5, 1053, 3), 1);
  EXPECT_EQ(oper.InsertNodeDateTime(17, 5, 1054, 0, "2009-07-14"), 1);
  EXPECT_EQ(oper.DeleteNodeNumber(17, 5), 1);
  const std::vector<std::string> expected = {
      "insert into GEO.META_NDTEXT_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, 1052, "
      "3,'O''Brien''s map')",
      "insert into GEO.META_NDTEXT_17(MetaID,NODEGUID,POSITION) values(5, 1052, 4)",
      "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, 1053, "
      "0,3.5)",
      "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, 1053, "
      "1,4e-07)",
      "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION,NODEVALUE) values(5, 1053, "
      "2,13.490195)",
      "insert into GEO.META_NDNUMBER_17(MetaID,NODEGUID,POSITION) values(5, 1053, 3)",
      "insert into GEO.META_NDDATETIME_17 values(5,1054,0,to_date('2009-07-14','YYYY-MM-DD'))",
      "delete from GEO.META_NDNUMBER_17 where MetaID=5"};
  EXPECT_EQ(driver.Texts(), expected);
}

TEST_F(OperTest, ValuesTheTablesCannotHoldAreRefusedWithoutAStatement) {
  EXPECT_EQ(oper.InsertNodeText(17, 5, 1, 0, std::string(4001, 'x').c_str()), 0);
  EXPECT_EQ(oper.InsertNodeDateTime(17, 5, 1, 0, "2001-02-30"), 0);
  EXPECT_EQ(oper.InsertNodeDateTime(17, 5, 1, 0, "20010315"), 0);
  EXPECT_EQ(oper.InsertNodeDateTime(17, 5, 1, 0, nullptr), 0);
  EXPECT_EQ(oper.InsertNodeNumber(17, 5, 1, 0, 1.0 / 0.0), 0);
  EXPECT_TRUE(driver.Calls().empty());
  EXPECT_EQ(oper.InsertNodeText(17, 5, 1, 0, std::string(4000, 'x').c_str()), 1);
  EXPECT_EQ(oper.InsertNodeDateTime(17, 5, 1, 0, "2000-02-29"), 1);
  driver.faults().FailNth(Call::kExecDirect, 1);
  EXPECT_EQ(oper.InsertNodeText(17, 5, 1, 0, "a"), 0);
}

TEST_F(OperTest, TextListReadsRowsetsOfOneHundred) {
  std::vector<std::vector<Value>> rows;
  for (int i = 0; i < 250; ++i) {
    rows.push_back({Value::Int(1052), Value::Int(i),
                    i == 7 ? Value::Null() : Value::Text("v" + std::to_string(i))});
  }
  rows[3][2] = Value::Text(std::string(4000, 'w'));
  driver.OnExecute("META_NDTEXT_17").Rows(rows);
  ASSERT_EQ(oper.ReadNodeTextList(17, 5, list), 1);
  ASSERT_EQ(list.GetSize(), 250);
  EXPECT_EQ(Tag(3), "1052<3");
  EXPECT_EQ(ValueAt(0), "v0");
  EXPECT_EQ(ValueAt(3), std::string(4000, 'w'));
  EXPECT_EQ(ValueAt(7), "");  // NULL reads as an empty value
  EXPECT_EQ(ValueAt(249), "v249");
  const std::vector<std::string> expected = {
      "AllocStmt",
      "Prepare SELECT NODEGUID,POSITION,NODEVALUE FROM GEO.META_NDTEXT_17 WHERE METAID=5",
      "SetStmtOption 9 100",
      "Execute",
      "BindCol 1 type 3 len 4",
      "BindCol 2 type 3 len 4",
      "BindCol 3 type 5 len 4001",
      "ExtendedFetch",
      "ExtendedFetch",
      "ExtendedFetch",
      "ExtendedFetch -> 100",
      "FreeStmt 1"};
  EXPECT_EQ(driver.Trace(), expected);
  std::vector<std::int64_t> sizes;
  for (const auto& c : driver.Calls()) {
    if (c.call == Call::kExtendedFetch) sizes.push_back(c.length);
  }
  EXPECT_EQ(sizes, (std::vector<std::int64_t>{100, 100, 50, 0}));
}

TEST_F(OperTest, EmptyTableAppendsNothingAndAFailingFetchEndsTheRead) {
  ASSERT_EQ(oper.ReadNodeDateTimeList(17, 5, list), 1);
  EXPECT_EQ(list.GetSize(), 0);
  EXPECT_EQ(driver.Texts()[0],
            "SELECT NODEGUID,POSITION,TO_CHAR(NODEVALUE,'YYYY-MM-DD') FROM "
            "GEO.META_NDDATETIME_17 WHERE METAID=5");
  std::vector<std::vector<Value>> rows(150,
                                       {Value::Int(9), Value::Int(0), Value::Text("2009-07-14")});
  driver.OnExecute("META_NDDATETIME_17").Rows(rows);
  driver.faults().FailNth(Call::kExtendedFetch, 2);
  EXPECT_EQ(oper.ReadNodeDateTimeList(17, 5, list), 0);
  EXPECT_EQ(list.GetSize(), 100);
  EXPECT_EQ(ValueAt(0), "2009-07-14");
  EXPECT_EQ(Tag(0), "9<0");
}

TEST_F(OperTest, NumbersReadBackByTheirNodesDataType) {
  const std::int32_t size = settest::GuidOf(schema, "/rec/size");    // integer
  const std::int32_t west = settest::GuidOf(schema, "/rec/west");    // decimal
  const std::int32_t ratio = settest::GuidOf(schema, "/rec/ratio");  // double
  driver.OnExecute("META_NDNUMBER_17")
      .Rows({{Value::Int(west), Value::Int(0), Value::Double(2e19)},
             {Value::Int(size), Value::Int(0), Value::Double(12.5)},
             {Value::Int(size), Value::Int(1), Value::Double(-12.5)},
             {Value::Int(size), Value::Int(2), Value::Double(3e9)},
             {Value::Int(west), Value::Int(1), Value::Double(12.5)},
             {Value::Int(999999), Value::Int(0), Value::Double(12.5)},
             {Value::Int(ratio), Value::Int(0), Value::Double(1.23456789)},
             {Value::Int(west), Value::Int(2), Value::Double(0.0000004)},
             {Value::Int(west), Value::Int(3), Value::Null()},
             {Value::Int(west), Value::Int(4), Value::Double(-0.1)}});
  ASSERT_EQ(oper.ReadNodeNumberList(17, 5, list), 1);
  ASSERT_EQ(list.GetSize(), 10);
  EXPECT_EQ(ValueAt(0), "2E+19");
  EXPECT_EQ(ValueAt(1), "12");
  EXPECT_EQ(ValueAt(2), "-12");
  EXPECT_EQ(ValueAt(3), "3000000000");
  EXPECT_EQ(ValueAt(4), "12.5");
  EXPECT_EQ(ValueAt(5), "12.5");
  EXPECT_EQ(ValueAt(6), "1.23456789");
  EXPECT_EQ(ValueAt(7), "4e-07");
  EXPECT_EQ(ValueAt(8), "");
  EXPECT_EQ(ValueAt(9), "-0.1");
  EXPECT_EQ(driver.Trace()[6], "BindCol 3 type 4 len 8");
}

TEST_F(OperTest, NoConnectionMeansNothingHappens) {
  COraMetaSetOper closed("GEO", nullptr, &schema);
  std::int32_t length = 3;
  EXPECT_EQ(closed.InsertStructInfo(17, 5, "x", 1), 0);
  EXPECT_EQ(closed.GetStructInfoLength(17, 5, &length), 0);
  EXPECT_EQ(closed.ReadNodeTextList(17, 5, list), 0);
  EXPECT_EQ(closed.DeleteStructInfo(17, 5), 0);
}

}  // namespace

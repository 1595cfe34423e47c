// The four schema documents: one UPDATE binding the bytes on store; the
// length first, then the bytes on read. Also the LOB length and database
// time helpers of the catalog handle.
#include <cstring>

#include "scripted_catalog.h"

namespace {

using SchemaDocumentsTest = ScriptedCatalogTest;

struct Column {
  std::int32_t (COraMetaDataBase::*store)(std::int32_t, CBlobData*);
  std::int32_t (COraMetaDataBase::*read)(std::int32_t, CBlobData*);
  const char* name;
};

const Column kColumns[] = {
    {&COraMetaDataBase::SetSchemaDoc, &COraMetaDataBase::GetSchemaDoc, "SCHEMADOC"},
    {&COraMetaDataBase::SetNodeInfo, &COraMetaDataBase::GetNodeInfo, "NODEINFO"},
    {&COraMetaDataBase::SetXPathDoc, &COraMetaDataBase::GetXPathDoc, "XPATHDOC"},
    {&COraMetaDataBase::SetN2EMAP, &COraMetaDataBase::GetN2EMAP, "N2EMAP"},
};

TEST_F(SchemaDocumentsTest, StoreBindsExactlyTheBlobBytes) {
  const std::string doc("<a>\0b</a>", 9);  // bytes, not a C string
  for (const Column& c : kColumns) {
    driver.ClearCalls();
    CBlobData blob;
    blob.PutData(doc.data(), static_cast<std::int32_t>(doc.size()));
    EXPECT_EQ((catalog.*c.store)(8, &blob), 1) << c.name;
    EXPECT_EQ(driver.Trace(), (Lines{"AllocStmt",
                                     "Prepare UPDATE GEO.KRDB_META_SCHEMA SET " +
                                         std::string(c.name) + "=:1 WHERE SCHEMA_ID=8",
                                     "BindParameter 1 type 113/24 len 9", "Execute", "FreeStmt 1"}))
        << c.name;
    EXPECT_EQ(driver.ExecutedParams(0).at(0).bytes, doc) << c.name;
  }
}

TEST_F(SchemaDocumentsTest, StoreReportsAFailedUpdate) {
  CBlobData blob;
  blob.PutData("x", 1);
  driver.OnExecute("UPDATE").Status(-1);
  EXPECT_EQ(catalog.SetSchemaDoc(8, &blob), 0);
  EXPECT_EQ(catalog.SetSchemaDoc(8, nullptr), 0);
  EXPECT_EQ(closed.SetSchemaDoc(8, &blob), 0);
  CBlobData empty;  // an empty document is stored as zero bytes
  driver.ClearCalls();
  EXPECT_EQ(catalog.SetN2EMAP(8, &empty), 1);
  EXPECT_EQ(driver.Trace().at(2), "BindParameter 1 type 113/24 len 0");
}

TEST_F(SchemaDocumentsTest, ReadTakesTheLengthThenTheBytes) {
  const std::string doc = "<schema>ä</schema>";
  for (const Column& c : kColumns) {
    driver.ClearCalls();
    driver.OnExecute("GETLENGTH").Rows({{Value::Int(static_cast<std::int64_t>(doc.size()))}});
    driver.OnExecute(std::string("SELECT ") + c.name).Rows({{Value::Bytes(doc)}});
    CBlobData blob;
    EXPECT_EQ((catalog.*c.read)(9, &blob), 1) << c.name;
    EXPECT_EQ(std::string(blob.Bytes().begin(), blob.Bytes().end()), doc) << c.name;
    const std::string length = std::to_string(doc.size());
    EXPECT_EQ(driver.Trace(),
              (Lines{"AllocStmt",
                     "Prepare SELECT DBMS_LOB.GETLENGTH(" + std::string(c.name) +
                         ") FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_ID=9",
                     "BindCol 1 type 3 len 4", "Execute", "Fetch", "FreeStmt 1", "AllocStmt",
                     "Prepare SELECT " + std::string(c.name) +
                         " FROM GEO.KRDB_META_SCHEMA WHERE SCHEMA_ID=9",
                     "BindCol 1 type 24 len " + length, "Execute", "Fetch", "FreeStmt 1"}))
        << c.name;
  }
}

TEST_F(SchemaDocumentsTest, EmptyOrMissingDocumentLeavesTheBlobAlone) {
  CBlobData blob;
  blob.PutData("keep", 4);
  driver.OnExecute("GETLENGTH").Rows({{Value::Int(0)}});
  EXPECT_EQ(catalog.GetSchemaDoc(9, &blob), 0);
  driver.OnExecute("GETLENGTH").Rows({{Value::Null()}});  // NULL document
  EXPECT_EQ(catalog.GetNodeInfo(9, &blob), 0);
  EXPECT_EQ(catalog.GetXPathDoc(9, &blob), 0);  // no row: the length query fails
  EXPECT_EQ(driver.Texts().size(), 3u);         // never read past the length
  EXPECT_EQ(blob.GetDataLength(), 4);
  EXPECT_EQ(closed.GetN2EMAP(9, &blob), 0);
  EXPECT_EQ(catalog.GetN2EMAP(9, nullptr), 0);
}

TEST_F(SchemaDocumentsTest, ReadNeedsEveryStepToReturnExactlyZero) {
  CBlobData blob;
  blob.PutData("keep", 4);
  driver.OnExecute("GETLENGTH").Rows({{Value::Int(3)}});
  driver.OnExecute("SELECT N2EMAP").Status(1).Rows({{Value::Bytes("abc")}});
  EXPECT_EQ(catalog.GetN2EMAP(9, &blob), 0);
  EXPECT_EQ(blob.GetDataLength(), 4);
}

TEST_F(SchemaDocumentsTest, SysDateTimePreparesBindsExecutesAndFetches) {
  driver.OnExecute("SYSDATE").Rows({{Value::Date(2020, 2, 29, 23, 59, 58)}});
  OCIDate date{};
  EXPECT_EQ(catalog.GetSysDateTime(date, 17), 1);
  EXPECT_EQ(date.month, 2);
  EXPECT_EQ(driver.Trace(),
            (Lines{"AllocStmt", "Prepare SELECT SYSDATE FROM GEO.KRDB_META_SET WHERE COL_ID=17",
                   "BindCol 1 type 156 len 8", "Execute", "Fetch", "FreeStmt 1"}));
  driver.OnExecute("SYSDATE").Status(-1);
  EXPECT_EQ(catalog.GetSysDateTime(date, 17), 0);
}

}  // namespace

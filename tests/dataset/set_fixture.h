// Shared pieces of the set's unit tests: a small schema loaded the way a
// set loads it, a catalog whose registry operations answer from memory
// (so that the scripted driver sees only the set's own statements), and a
// set opened on collection 17 of owner GEO.
#ifndef METASHELF_TESTS_DATASET_SET_FIXTURE_H_
#define METASHELF_TESTS_DATASET_SET_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/scripted/scripted.h"
#include "metashelf/blob_data.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "support/fake_database.h"

namespace settest {

// rec/title (text, repeating), rec/size (integer), rec/west (decimal),
// rec/when (date), rec/ratio (double).
inline const char* SchemaText() {
  return "<schemaText name='t'><element name='rec'>"
         "<element name='title' maxOccurs='unbounded'/>"
         "<element name='size' type='integer'/>"
         "<element name='west' type='decimal'/>"
         "<element name='when' type='date'/>"
         "<element name='ratio' type='double'/>"
         "</element></schemaText>";
}

struct SchemaDocs {
  std::string schemaDoc, nodeInfo, xpathDoc;
};

inline void CountingIds(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* next = static_cast<std::int64_t*>(context);
  for (int i = 0; i < count; ++i) ids.push_back((*next)++);
}

inline SchemaDocs ParseTestSchema() {
  SchemaDocs docs;
  std::int64_t next = 1000;
  CSchemaRegister reg(&next);
  EXPECT_GT(
      reg.ParseSchema(SchemaText(), docs.schemaDoc, docs.nodeInfo, docs.xpathDoc, &CountingIds), 0)
      << reg.LastError();
  return docs;
}

inline std::int32_t GuidOf(const CSchema& schema, const char* path) {
  CNodeInfo info;
  EXPECT_EQ(schema.GetNodeInfoByPath(path, &info), 1) << path;
  std::int32_t guid = -1;
  info.GetNodeGUID(guid);
  return guid;
}

// A catalog whose schema, collection and record registry answer from
// memory; mds_Add and mds_Del (not virtual) still run on the driver.
class MemoryCatalog : public COraMetaDataBase {
 public:
  SchemaDocs docs = ParseTestSchema();
  std::string n2emap = "<n2emap/>";
  std::string schemaName = "TEST_SCHEMA";
  std::int32_t schemaID = 3;
  std::int64_t nextMetaID = 5;
  int nameExists = 0;
  std::int32_t metaDelResult = 1;
  std::vector<std::string> log;  // registry calls, in order

  int mds_IsExist(const char*) override { return nameExists; }
  std::int32_t mds_GetInfo(std::int32_t colID, X_CLS_MDS* info) override {
    log.push_back("mds_GetInfo " + std::to_string(colID));
    std::memset(info, 0, sizeof *info);
    info->colID = colID;
    info->schemaID = schemaID;
    return 1;
  }
  std::int32_t GetNodeInfo(std::int32_t id, CBlobData* blob) override {
    return Put("GetNodeInfo", id, docs.nodeInfo, blob);
  }
  std::int32_t GetSchemaDoc(std::int32_t id, CBlobData* blob) override {
    return Put("GetSchemaDoc", id, docs.schemaDoc, blob);
  }
  std::int32_t GetN2EMAP(std::int32_t id, CBlobData* blob) override {
    return Put("GetN2EMAP", id, n2emap, blob);
  }
  std::int32_t schema_GetName(std::int32_t, char* buffer, short size) override {
    if (size < 1) return 0;
    std::strncpy(buffer, schemaName.c_str(), static_cast<std::size_t>(size) - 1);
    buffer[size - 1] = '\0';
    return 1;
  }
  std::int64_t meta_Add(std::int32_t colID, const char*) override {
    log.push_back("meta_Add " + std::to_string(colID));
    return nextMetaID;
  }
  std::int32_t meta_Del(std::int64_t metaID) override {
    log.push_back("meta_Del " + std::to_string(metaID));
    return metaDelResult;
  }
  std::int32_t meta_UpdateTime(std::int64_t metaID) override {
    log.push_back("meta_UpdateTime " + std::to_string(metaID));
    return 1;
  }
  std::int32_t meta_GetNum(std::int32_t, std::int32_t* count) override {
    *count = 42;
    return 1;
  }

 private:
  std::int32_t Put(const char* what, std::int32_t id, const std::string& text, CBlobData* blob) {
    log.push_back(std::string(what) + " " + std::to_string(id));
    if (text.empty()) return 0;
    blob->PutData(text.data(), static_cast<std::int32_t>(text.size()));
    return 1;
  }
};

class SetTest : public ::testing::Test {
 protected:
  // The registry lookup that tells whether the set holds a record.
  static constexpr const char* kHoldsLookup = "GEO.KRDB_META_INFO WHERE META_ID=";

  void SetUp() override {
    // Every record asked about is held unless a test says otherwise
    // (holds.Rows({{Value::Int(0)}})).
    holds.Rows({{metashelf::driver::Value::Int(1)}}).Times(-1);
    database.AddCatalog(7, "GEO");
    ASSERT_EQ(catalog.mtdb_Open(&database, 7, 0), 1);
  }

  // Opens `set` on collection 17 and forgets the calls made so far.
  void OpenSet() {
    ASSERT_EQ(set.Open(&catalog, 17), 1);
    CSchema* schema = nullptr;
    ASSERT_EQ(set.GetCSchemaPtr(&schema), 1);
    schema_ = schema;
    driver.ClearCalls();
    catalog.log.clear();
  }

  std::int32_t Guid(const char* path) { return GuidOf(*schema_, path); }

  // Statement texts run so far that contain `part`.
  std::vector<std::string> TextsWith(const std::string& part) {
    std::vector<std::string> out;
    for (const auto& t : driver.Texts()) {
      if (t.find(part) != std::string::npos) out.push_back(t);
    }
    return out;
  }

  metashelf::driver::scripted::ScriptedDriver driver;
  metashelf::driver::scripted::Result& holds = driver.OnExecute(kHoldsLookup);
  FakeDatabase database{driver.hdbc()};
  MemoryCatalog catalog;
  COraMetaDataSet set;
  CSchema* schema_ = nullptr;
};

}  // namespace settest

#endif  // METASHELF_TESTS_DATASET_SET_FIXTURE_H_

// The catalog on real databases (SQLite always, PostgreSQL when the run has
// a server): schemas with their documents and node identifier blocks,
// collections, record registrations, catalog removal, and names that must
// come back exactly as given and never change a statement.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "support/backends.h"

namespace {

const char kDefaultMap[] = "<?xml version='1.0' encoding='gbk'?> <N2EMAP />";

std::string TinySchema(const std::string& root) {
  return "<schemaText name='tiny'><element name='" + root +
         "'><element name='title'/><element name='pubdate' type='date'/></element></schemaText>";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string BlobText(const CBlobData& blob) {
  return std::string(blob.Bytes().begin(), blob.Bytes().end());
}

// Hands out identifiers the way the catalog sequence moves: a block of n
// starting at f, and the next block at f + n + 1.
struct SequenceModel {
  std::int64_t next;
  static void Draw(int count, std::vector<std::int64_t>& ids, void* context) {
    auto* model = static_cast<SequenceModel*>(context);
    for (int i = 0; i < count; ++i) ids.push_back(model->next + i);
    model->next += count + 1;
  }
};

class CatalogOnDatabaseTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    fresh = std::make_unique<metashelf::testing::FreshDatabase>(GetParam());
    if (!fresh->db) GTEST_SKIP() << fresh->error;
    db = fresh->db.get();
    mtdbID = db->db_CreateMtdb("catalog");
    ASSERT_GT(mtdbID, 0) << db->LastError();
    ASSERT_EQ(catalog.mtdb_Open(db, mtdbID, 0), 1);
  }

  std::int32_t AddTiny(const std::string& name) {
    return catalog.schema_Add(name.c_str(), TinySchema("metadata").c_str(), nullptr);
  }

  std::unique_ptr<metashelf::testing::FreshDatabase> fresh;
  CHostDataBase* db = nullptr;
  std::int32_t mtdbID = 0;
  COraMetaDataBase catalog;
};

TEST_P(CatalogOnDatabaseTest, FgdcSchemaDocumentsReadBackByteForByte) {
  const std::string text = ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
  ASSERT_FALSE(text.empty());
  const std::int32_t id = catalog.schema_Add("FGDC", text.c_str(), "shipped");
  ASSERT_GT(id, 0);

  CBlobData schemaDoc, nodeInfo, xpathDoc, map;
  ASSERT_EQ(catalog.GetSchemaDoc(id, &schemaDoc), 1);
  ASSERT_EQ(catalog.GetNodeInfo(id, &nodeInfo), 1);
  ASSERT_EQ(catalog.GetXPathDoc(id, &xpathDoc), 1);
  ASSERT_EQ(catalog.GetN2EMAP(id, &map), 1);
  EXPECT_EQ(BlobText(map), kDefaultMap);

  // Parse the text again with identifiers handed out as the sequence should
  // have moved, starting from the first node's: the documents must be the
  // very bytes the catalog stored.
  const std::string info = BlobText(nodeInfo);
  const std::size_t at = info.find(" guid=\"");
  ASSERT_NE(at, std::string::npos);
  SequenceModel model{std::stoll(info.substr(at + 7))};
  std::string expectedDoc, expectedInfo, expectedXPath;
  CSchemaRegister parser(&model);
  ASSERT_GT(parser.ParseSchema(text.c_str(), expectedDoc, expectedInfo, expectedXPath,
                               &SequenceModel::Draw),
            256);  // more than one block
  EXPECT_TRUE(BlobText(schemaDoc) == expectedDoc);
  EXPECT_TRUE(info == expectedInfo);
  EXPECT_TRUE(BlobText(xpathDoc) == expectedXPath);

  X_CLS_SCHEMA row;
  ASSERT_EQ(catalog.schema_GetInfo(id, &row), 1);
  EXPECT_EQ(row.mtdbID, mtdbID);
  EXPECT_STREQ(row.schemaName, "FGDC");
  EXPECT_STREQ(row.remark, "shipped");
  OCIDate created;
  std::memcpy(&created, row.crtTime, sizeof created);
  EXPECT_GE(created.year, 2020);

  // The set side can load what was stored.
  CSchema schema;
  EXPECT_EQ(schema.SetNodeStructList(info.c_str()), 1);
  EXPECT_EQ(schema.GetNodeCount(), 961);
}

TEST_P(CatalogOnDatabaseTest, IdentifierBlocksMoveTheRealSequence) {
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(3, ids);
  ASSERT_EQ(ids.size(), 3u);
  const std::int64_t f = ids[0];
  EXPECT_EQ(ids, (std::vector<std::int64_t>{f, f + 1, f + 2}));
  catalog.OraGenGuid(1, ids);
  ASSERT_EQ(ids.size(), 4u);
  EXPECT_EQ(ids[3], f + 4);  // one value between blocks is never handed out
  catalog.OraGenGuid(2, ids);
  ASSERT_EQ(ids.size(), 6u);
  EXPECT_EQ(ids[4], f + 6);  // a block of one leaves the next at f + 2
  EXPECT_EQ(ids[5], f + 7);
}

// Hosts reserving blocks inside their own transactions at once (as
// registering schemas in several catalogs of one server does) neither wait
// for each other's commit nor deadlock, and never share an identifier.
TEST_P(CatalogOnDatabaseTest, ConcurrentHostsReserveBlocksOfTheirOwn) {
  constexpr int kHosts = 4;
  constexpr int kBlocks = 6;
  constexpr int kSize = 40;
  std::vector<std::int64_t> ids[kHosts];
  std::vector<std::thread> hosts;
  for (int h = 0; h < kHosts; ++h) {
    hosts.emplace_back([&, h] {
      std::string error;
      std::unique_ptr<CHostDataBase> host = CHostDataBase::Open(fresh->uri, &error);
      ASSERT_TRUE(host) << error;
      COraMetaDataBase mine;
      ASSERT_EQ(mine.mtdb_Open(host.get(), mtdbID, 0), 1);
      ASSERT_EQ(host->Begin(), 1) << host->LastError();
      for (int b = 0; b < kBlocks; ++b) mine.OraGenGuid(kSize, ids[h]);
      EXPECT_EQ(host->Commit(), 1) << host->LastError();
      mine.mtdb_Close();
    });
  }
  for (std::thread& t : hosts) t.join();
  std::vector<std::int64_t> all;
  for (const auto& mine : ids) {
    EXPECT_EQ(mine.size(), static_cast<std::size_t>(kBlocks * kSize));
    all.insert(all.end(), mine.begin(), mine.end());
  }
  std::sort(all.begin(), all.end());
  EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end()) << "an identifier twice";
}

TEST_P(CatalogOnDatabaseTest, SchemaRegistryReadsWhatWasWritten) {
  std::int32_t count = -1;
  CSmartArray<std::int32_t> ids;
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(catalog.schema_GetIDList(ids), 0);

  const std::int32_t a = AddTiny("alpha");
  ASSERT_GT(a, 0);
  EXPECT_EQ(AddTiny("alpha"), 0);  // a name is registered once
  const std::int32_t b = AddTiny("beta");
  ASSERT_GT(b, 0);
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 2);
  ASSERT_EQ(catalog.schema_GetIDList(ids), 1);
  std::vector<std::int32_t> listed{ids[0], ids[1]};
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::int32_t>{std::min(a, b), std::max(a, b)}));

  char name[] = "beta";
  std::int32_t id = -1;
  EXPECT_EQ(catalog.schema_GetID(name, &id), 1);
  EXPECT_EQ(id, b);
  char missing[] = "gamma";
  id = -1;
  EXPECT_EQ(catalog.schema_GetID(missing, &id), 0);
  EXPECT_EQ(id, -1);

  char renamed[] = "alpha2";
  EXPECT_EQ(catalog.schema_UpdateName(a, renamed), 1);
  char remark[] = "changed";
  EXPECT_EQ(catalog.schema_UpdateRemark(a, remark), 1);
  char buffer[32];
  EXPECT_EQ(catalog.schema_GetName(a, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "alpha2");
  X_CLS_SCHEMA row;
  ASSERT_EQ(catalog.schema_GetInfo(a, &row), 1);
  EXPECT_STREQ(row.remark, "changed");
  EXPECT_EQ(catalog.schema_IsExist("alpha"), 0);
  EXPECT_EQ(catalog.schema_IsExist("alpha2"), 1);

  // A document stored empty reads as nothing and leaves the blob alone.
  CBlobData empty;
  EXPECT_EQ(catalog.SetXPathDoc(a, &empty), 1);
  CBlobData kept;
  kept.PutData("keep", 4);
  EXPECT_EQ(catalog.GetXPathDoc(a, &kept), 0);
  EXPECT_EQ(BlobText(kept), "keep");

  EXPECT_EQ(catalog.schema_Del(a), 1);
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(catalog.schema_GetInfo(a, &row), 0);
}

TEST_P(CatalogOnDatabaseTest, CollectionsPerSchemaAndPerCatalog) {
  const std::int32_t a = AddTiny("alpha");
  const std::int32_t b = AddTiny("beta");
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  std::int32_t count = -1;
  CSmartArray<std::int32_t> ids;
  EXPECT_EQ(catalog.mds_GetNum(&count), 1);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(catalog.mds_GetIDList(ids, a), 1);  // none yet: 1 and nothing
  EXPECT_EQ(ids.GetSize(), 0);

  const std::int32_t roads = catalog.mds_Add(a, "roads", "main roads");
  const std::int32_t rivers = catalog.mds_Add(a, "rivers", nullptr);
  const std::int32_t towns = catalog.mds_Add(b, "towns", "");
  ASSERT_GT(roads, 0);
  ASSERT_GT(rivers, 0);
  ASSERT_GT(towns, 0);
  EXPECT_EQ(catalog.mds_Add(b, "roads", ""), 0);  // names are unique

  EXPECT_EQ(catalog.mds_GetNum(&count, a), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(catalog.mds_GetNum(&count), 1);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(catalog.mds_GetIDList(ids, a), 1);
  ASSERT_EQ(ids.GetSize(), 2);
  std::vector<std::int32_t> ofA{ids[0], ids[1]};
  std::sort(ofA.begin(), ofA.end());
  EXPECT_EQ(ofA, (std::vector<std::int32_t>{std::min(roads, rivers), std::max(roads, rivers)}));
  CSmartArray<std::int32_t> all;
  ASSERT_EQ(catalog.mds_GetIDList(all), 1);
  EXPECT_EQ(all.GetSize(), 3);

  char name[] = "rivers";
  std::int32_t id = -1;
  EXPECT_EQ(catalog.mds_GetID(name, &id), 1);
  EXPECT_EQ(id, rivers);
  char buffer[32];
  EXPECT_EQ(catalog.mds_GetName(towns, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "towns");
  X_CLS_MDS info;
  ASSERT_EQ(catalog.mds_GetInfo(roads, &info), 1);
  EXPECT_EQ(info.colID, roads);
  EXPECT_EQ(info.schemaID, a);
  EXPECT_STREQ(info.colName, "roads");
  EXPECT_STREQ(info.remark, "main roads");
  EXPECT_EQ(FindMtdbByMds(db, towns), mtdbID);
  EXPECT_EQ(FindMtdbByMds(db, towns + 1000), 0);

  char newName[] = "highways";
  char newRemark[] = "all of them";
  EXPECT_EQ(catalog.mds_UpdateName(roads, newName), 1);
  EXPECT_EQ(catalog.mds_UpdateRemark(roads, newRemark), 1);
  ASSERT_EQ(catalog.mds_GetInfo(roads, &info), 1);
  EXPECT_STREQ(info.colName, "highways");
  EXPECT_STREQ(info.remark, "all of them");
  EXPECT_EQ(catalog.mds_IsExist("roads"), 0);

  EXPECT_EQ(catalog.mds_Del(rivers), 0);  // 0 is success
  EXPECT_EQ(catalog.mds_GetInfo(rivers, &info), 0);
  EXPECT_EQ(info.colID, 0);
  EXPECT_EQ(catalog.mds_GetNum(&count), 1);
  EXPECT_EQ(count, 2);
}

TEST_P(CatalogOnDatabaseTest, RecordsAreListedInIdOrder) {
  const std::int32_t schema = AddTiny("alpha");
  const std::int32_t col = catalog.mds_Add(schema, "roads", "");
  const std::int32_t empty = catalog.mds_Add(schema, "empty", "");
  ASSERT_GT(col, 0);
  ASSERT_GT(empty, 0);
  std::vector<std::int64_t> added;
  for (int i = 0; i < 5; ++i) {
    const std::int64_t id = catalog.meta_Add(col, i == 0 ? nullptr : "r");
    ASSERT_GT(id, 0);
    added.push_back(id);
  }
  std::int32_t count = -1;
  EXPECT_EQ(catalog.meta_GetNum(col, &count), 1);
  EXPECT_EQ(count, 5);
  CSmartArray<std::int64_t> ids;
  ASSERT_EQ(catalog.meta_GetIDList(col, ids), 1);
  std::vector<std::int64_t> listed;
  for (std::int32_t i = 0; i < ids.GetSize(); ++i) listed.push_back(ids[i]);
  std::sort(added.begin(), added.end());
  EXPECT_EQ(listed, added);  // already ascending as the database gave them

  CSmartArray<std::int64_t> none;
  EXPECT_EQ(catalog.meta_GetIDList(empty, none), 1);
  EXPECT_EQ(none.GetSize(), 0);

  X_CLS_METAINFO info;
  ASSERT_EQ(catalog.meta_GetInfo(added[0], &info), 1);
  EXPECT_EQ(info.metaID, added[0]);
  EXPECT_EQ(info.colID, col);
  EXPECT_STREQ(info.remark, "");
  std::int16_t year = 0;
  std::uint16_t word = 0;
  std::memcpy(&year, info.crtTime, 2);
  std::memcpy(&word, info.crtTime + 2, 2);
  EXPECT_GE(year, 2020);
  EXPECT_GE(word & 15, 1);         // month
  EXPECT_GE((word >> 4) & 63, 1);  // day

  char remark[] = "checked";
  EXPECT_EQ(catalog.meta_UpdateRemark(added[1], remark), 1);
  ASSERT_EQ(catalog.meta_GetInfo(added[1], &info), 1);
  EXPECT_STREQ(info.remark, "checked");
  EXPECT_EQ(catalog.meta_UpdateTime(added[1]), 1);

  EXPECT_EQ(catalog.meta_Del(added[2]), 1);
  EXPECT_EQ(catalog.meta_GetInfo(added[2], &info), 0);
  EXPECT_EQ(info.metaID, added[2]);
  EXPECT_EQ(catalog.meta_GetNum(col, &count), 1);
  EXPECT_EQ(count, 4);
}

TEST_P(CatalogOnDatabaseTest, CatalogIsRemovedOnlyWhenNoSchemaHasCollections) {
  const std::int32_t a = AddTiny("alpha");
  const std::int32_t b = AddTiny("beta");
  const std::int32_t col = catalog.mds_Add(b, "roads", "");
  ASSERT_GT(col, 0);

  // Another catalog on the same database keeps its schema whatever happens.
  const std::int32_t otherID = db->db_CreateMtdb("other");
  ASSERT_GT(otherID, 0);
  COraMetaDataBase other;
  ASSERT_EQ(other.mtdb_Open(db, otherID, 0), 1);
  ASSERT_GT(other.schema_Add("gamma", TinySchema("metadata").c_str(), nullptr), 0);

  COraMetaDataBase remover;
  EXPECT_EQ(remover.mtdb_Remove(db, mtdbID), 0);
  std::int32_t count = -1;
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 2);  // neither schema was deleted

  ASSERT_EQ(catalog.mds_Del(col), 0);
  EXPECT_EQ(remover.mtdb_Remove(db, mtdbID), 1);
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 0);
  X_CLS_SCHEMA row;
  EXPECT_EQ(catalog.schema_GetInfo(a, &row), 0);
  COraMetaDataBase again;
  EXPECT_EQ(again.mtdb_Open(db, mtdbID, 0), -1);

  EXPECT_EQ(other.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(remover.mtdb_Remove(db, mtdbID), 0);  // gone: nothing more is touched
  EXPECT_EQ(other.schema_GetNum(&count), 1);
  EXPECT_EQ(count, 1);
}

TEST_P(CatalogOnDatabaseTest, HostileNamesComeBackExactlyAndChangeNoStatement) {
  const std::vector<std::string> names = {"O'Brien's schema",
                                          "100% pure",
                                          "back\\slash\\",
                                          "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC",
                                          "x'); DROP TABLE KRDB_META_SET; --",
                                          "' OR '1'='1",
                                          "''",
                                          "%",
                                          "_"};
  const std::int32_t plain = AddTiny("plain");
  ASSERT_GT(plain, 0);
  ASSERT_GT(catalog.mds_Add(plain, "plain", ""), 0);
  // Before they exist, none of them matches the rows that are there.
  for (const std::string& n : names) {
    EXPECT_EQ(catalog.schema_IsExist(n.c_str()), 0) << n;
    EXPECT_EQ(catalog.mds_IsExist(n.c_str()), 0) << n;
  }

  for (const std::string& n : names) {
    std::vector<char> name(n.begin(), n.end());
    name.push_back('\0');
    const std::int32_t schema = AddTiny(n);
    ASSERT_GT(schema, 0) << n;
    EXPECT_EQ(catalog.schema_IsExist(n.c_str()), 1) << n;
    std::int32_t id = -1;
    EXPECT_EQ(catalog.schema_GetID(name.data(), &id), 1) << n;
    EXPECT_EQ(id, schema) << n;
    char buffer[128];
    EXPECT_EQ(catalog.schema_GetName(schema, buffer, sizeof buffer), 1) << n;
    EXPECT_EQ(std::string(buffer), n);

    const std::int32_t col = catalog.mds_Add(schema, n.c_str(), n.c_str());
    ASSERT_GT(col, 0) << n;
    EXPECT_EQ(catalog.mds_IsExist(n.c_str()), 1) << n;
    id = -1;
    EXPECT_EQ(catalog.mds_GetID(name.data(), &id), 1) << n;
    EXPECT_EQ(id, col) << n;
    EXPECT_EQ(catalog.mds_GetName(col, buffer, sizeof buffer), 1) << n;
    EXPECT_EQ(std::string(buffer), n);
    X_CLS_MDS info;
    ASSERT_EQ(catalog.mds_GetInfo(col, &info), 1) << n;
    EXPECT_EQ(std::string(info.remark), n);

    const std::int64_t record = catalog.meta_Add(col, n.c_str());
    ASSERT_GT(record, 0) << n;
    X_CLS_METAINFO meta;
    ASSERT_EQ(catalog.meta_GetInfo(record, &meta), 1) << n;
    EXPECT_EQ(std::string(meta.remark), n);
  }

  std::int32_t count = -1;
  EXPECT_EQ(catalog.schema_GetNum(&count), 1);
  EXPECT_EQ(count, static_cast<std::int32_t>(names.size()) + 1);
  EXPECT_EQ(catalog.mds_GetNum(&count), 1);
  EXPECT_EQ(count, static_cast<std::int32_t>(names.size()) + 1);
}

METASHELF_ON_EVERY_BACKEND(CatalogOnDatabaseTest);

}  // namespace

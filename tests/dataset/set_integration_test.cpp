// Records, attachments and whole collections on real databases: what is
// written reads back unchanged, replacing and deleting leave exactly what
// they should, and removal leaves nothing of the collection.
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dataset/real_set.h"

using settest::CorpusFiles;
using settest::RealSetTest;

namespace {

TEST_P(RealSetTest, EveryCorpusRecordReadsBackUnchanged) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  ASSERT_EQ(db->Begin(), 1);  // one commit, not one per statement
  for (const auto& path : files) {
    SCOPED_TRACE(path);
    auto record = Load(path);
    const std::int64_t id = set.AddMetaData(record.get());
    ASSERT_GT(id, 0);
    CBaseMetaData back(schema);
    ASSERT_EQ(set.GetMetaData(id, &back), 1);
    EXPECT_EQ(Xml(back), Xml(*record));
  }
  ASSERT_EQ(db->Commit(), 1);
  std::int32_t count = 0;
  ASSERT_EQ(set.GetNum(&count), 1);
  EXPECT_EQ(count, static_cast<std::int32_t>(files.size()));
}

// The number of leaf nodes of `record` that go to each value table.
std::vector<std::int32_t> RoutedLeaves(const CBaseMetaData& record, const CSchema& schema) {
  std::vector<std::int32_t> counts(4, 0);
  std::int32_t n = 0;
  record.GetLeafNodeListSize(n);
  std::vector<CLeafNode> leaves(static_cast<std::size_t>(n));
  CSmartArray<CLeafNode*> list;
  for (auto& leaf : leaves) list.Add(&leaf);
  record.GetLeafNodeList(list, n);
  for (const auto& leaf : leaves) {
    std::int32_t guid = 0;
    leaf.GetNodeGUID(guid);
    CNodeInfo info;
    short type = 0;
    if (schema.GetNodeInfoByGUID(guid, &info) == 1) info.GetTableType(type);
    if (type >= 1 && type <= 3) ++counts[static_cast<std::size_t>(type)];
  }
  return counts;
}

TEST_P(RealSetTest, UpdateLeavesExactlyTheNewRecordsRows) {
  const auto files = CorpusFiles();
  if (files.size() < 2) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  auto first = Load(files[0]);
  auto second = Load(files[1]);
  const std::int64_t id = set.AddMetaData(first.get());
  ASSERT_GT(id, 0);
  char picture[3] = {'p', 'n', 'g'};
  ASSERT_EQ(set.AddMetaAdditional(id, picture, 3), 1);
  ASSERT_EQ(set.UpdateMetaData(id, second.get()), 1);

  const auto expected = RoutedLeaves(*second, *schema);
  EXPECT_EQ(RowsOf("META_STRUCTINFO_", id), 1);
  EXPECT_EQ(RowsOf("META_NDTEXT_", id), expected[1]);
  EXPECT_EQ(RowsOf("META_NDNUMBER_", id), expected[2]);
  EXPECT_EQ(RowsOf("META_NDDATETIME_", id), expected[3]);
  EXPECT_EQ(RowsOf("META_ADDITIONAL_", id), 1);  // the attachment stays
  CBaseMetaData back(schema);
  ASSERT_EQ(set.GetMetaData(id, &back), 1);
  EXPECT_EQ(Xml(back), Xml(*second));
}

TEST_P(RealSetTest, DeleteLeavesNothingOfTheRecord) {
  const auto files = CorpusFiles();
  if (files.empty()) GTEST_SKIP() << "corpus folder " << METASHELF_CORPUS_DIR << " is absent";
  auto record = Load(files[0]);
  const std::int64_t keep = set.AddMetaData(record.get());
  const std::int64_t id = set.AddMetaData(record.get());
  ASSERT_GT(id, 0);
  char picture[3] = {'p', 'n', 'g'};
  ASSERT_EQ(set.AddMetaAdditional(id, picture, 3), 1);
  ASSERT_GT(Traces(id), 3);
  ASSERT_EQ(set.DelMetaData(id), 1);
  EXPECT_EQ(Traces(id), 0);
  CBaseMetaData back(schema);
  EXPECT_EQ(set.GetMetaData(id, &back), 0);
  EXPECT_EQ(set.GetMetaData(keep, &back), 1);  // the other record is untouched
}

TEST_P(RealSetTest, AttachmentsOfAnySizeRoundTrip) {
  for (const std::int32_t size : {0, 2048, 5 * 1024 * 1024}) {
    SCOPED_TRACE(size);
    std::string data(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 131) >> 3);
    const std::int64_t id = AddTinyRecord();
    ASSERT_GT(id, 0);
    ASSERT_EQ(set.AddMetaAdditional(id, data.empty() ? nullptr : &data[0], size), 1);
    std::int32_t stored = -1;
    ASSERT_EQ(set.GetMetaAdditionalSize(id, stored), 1);
    EXPECT_EQ(stored, size);
    std::string back(static_cast<std::size_t>(size) + 1, 'x');
    ASSERT_EQ(set.GetMetaAdditional(id, &back[0], size), 1);
    EXPECT_TRUE(back.compare(0, data.size(), data) == 0);

    std::string other(17, 'z');
    ASSERT_EQ(set.UpdateMetaAdditional(id, &other[0], 17), 1);
    ASSERT_EQ(set.GetMetaAdditionalSize(id, stored), 1);
    EXPECT_EQ(stored, 17);
  }
  char one[1] = {'a'};
  const std::int64_t held = AddTinyRecord();
  ASSERT_GT(held, 0);
  EXPECT_EQ(set.UpdateMetaAdditional(held, one, 1), 0);  // never creates a row
  EXPECT_EQ(RowsOf("META_ADDITIONAL_", held), 0);
  ASSERT_EQ(set.AddMetaAdditional(held, one, 1), 1);
  ASSERT_EQ(set.AddMetaAdditional(held, one, 1), 1);
  EXPECT_EQ(RowsOf("META_ADDITIONAL_", held), 2);
  EXPECT_EQ(set.DelMetaAdditional(held), 1);
  EXPECT_EQ(RowsOf("META_ADDITIONAL_", held), 0);
  // An id the set does not hold is refused by every attachment call.
  const std::int64_t unheld = held + 1000;
  std::int32_t size = -1;
  EXPECT_EQ(set.AddMetaAdditional(unheld, one, 1), 0);
  EXPECT_EQ(set.UpdateMetaAdditional(unheld, one, 1), 0);
  EXPECT_EQ(set.GetMetaAdditionalSize(unheld, size), 0);
  EXPECT_EQ(set.GetMetaAdditional(unheld, one, 1), 0);
  EXPECT_EQ(set.DelMetaAdditional(unheld), 0);
  EXPECT_EQ(RowsOf("META_ADDITIONAL_", unheld), 0);
}

TEST_P(RealSetTest, ValuesKeepTheirQuotesNumbersAndEmptiness) {
  const char xml[] =
      "<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo>"
      "<title>O'Brien's \"coast\" ''survey''</title></citeinfo></citation>"
      "<spdom><bounding><westbc>-0.0000004</westbc><eastbc>\n13.490195</eastbc>"
      "<northbc>123456789.123456789</northbc><southbc>1e-7</southbc></bounding></spdom>"
      "</idinfo></metadata>";
  CBaseMetaData record(schema);
  ASSERT_EQ(record.LoadXml(xml, sizeof xml - 1), 1) << record.LastError();
  const std::int64_t id = set.AddMetaData(&record);
  ASSERT_GT(id, 0);
  CBaseMetaData back(schema);
  ASSERT_EQ(set.GetMetaData(id, &back), 1);
  EXPECT_EQ(Xml(back), Xml(record));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDTEXT_") +
                  " WHERE NODEVALUE='O''Brien''s \"coast\" ''''survey'''''"),
            1);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDNUMBER_") +
                  " WHERE NODEVALUE=-0.0000004 OR NODEVALUE=13.490195"),
            2);
}

TEST_P(RealSetTest, ARecordNoSearchCouldFindIsRefusedBeforeAnythingIsWritten) {
  const struct {
    const char* xml;
    bool stored;
  } cases[] = {
      {"<gmd:MD_Metadata xmlns:gmd='http://www.isotc211.org/2005/gmd'><gmd:fileIdentifier>"
       "<gco:CharacterString xmlns:gco='http://www.isotc211.org/2005/gco'>x</gco:CharacterString>"
       "</gmd:fileIdentifier></gmd:MD_Metadata>",
       false},
      {"<schemaText name='s'><element name='metadata'/></schemaText>", false},
      {"<metadata><survey><vessel>Ranger</vessel></survey></metadata>", false},
      {"<metadata><survey><vessel>Ranger</vessel></survey><idinfo><citation><citeinfo>"
       "<title>t</title></citeinfo></citation></idinfo></metadata>",
       true},
      {"<metadata/>", true},  // nothing to search, nothing hidden
  };
  const std::int32_t before = Count("SELECT COUNT(*) FROM " + owner + ".KRDB_META_INFO");
  std::int32_t stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xml);
    CBaseMetaData record(schema);
    ASSERT_EQ(record.LoadXml(c.xml, std::strlen(c.xml)), 1) << record.LastError();
    const std::int64_t id = set.AddMetaData(&record);
    EXPECT_EQ(id > 0, c.stored) << id;
    stored += id > 0;
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + owner + ".KRDB_META_INFO"), before + stored);
}

TEST_P(RealSetTest, SynchronisedPropertiesMakeAndRefreshARecord) {
  CMetadataSync sync;
  sync.SetProperty("title", "Coastal survey 2009");
  sync.SetProperty("westbc", "-70.5");
  const std::int64_t id = set.AddMetaData(&sync);
  ASSERT_GT(id, 0);
  CBaseMetaData stored(schema);
  ASSERT_EQ(set.GetMetaData(id, &stored), 1);
  EXPECT_NE(Xml(stored).find("Coastal survey 2009"), std::string::npos);

  CMetadataSync change;
  change.SetProperty("title", "Coastal survey 2010");
  ASSERT_EQ(set.UpdateMetaData(id, &change), 1);
  CBaseMetaData updated(schema);
  ASSERT_EQ(set.GetMetaData(id, &updated), 1);
  const std::string xml = Xml(updated);
  EXPECT_NE(xml.find("Coastal survey 2010"), std::string::npos);
  EXPECT_EQ(xml.find("Coastal survey 2009"), std::string::npos);
  EXPECT_NE(xml.find("-70.5"), std::string::npos);       // what was not synchronised stays
  EXPECT_EQ(set.UpdateMetaData(id + 1000, &change), 0);  // no stored record
}

TEST_P(RealSetTest, TextOfTheFullColumnWidthIsStored) {
  std::string title;
  std::uint32_t x = 12345;
  while (title.size() < 4000) {  // letters that do not compress
    x = x * 1103515245u + 12345u;
    title += static_cast<char>('a' + (x >> 16) % 26);
  }
  const std::string xml = "<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo><title>" +
                          title + "</title></citeinfo></citation></idinfo></metadata>";
  CBaseMetaData record(schema);
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  const std::int64_t id = set.AddMetaData(&record);
  ASSERT_GT(id, 0);
  CBaseMetaData back(schema);
  ASSERT_EQ(set.GetMetaData(id, &back), 1);
  EXPECT_EQ(Xml(back), Xml(record));
}

TEST_P(RealSetTest, RemoveDropsTheTablesAndTheRegistrations) {
  const auto files = CorpusFiles();
  if (!files.empty()) {
    auto record = Load(files[0]);
    ASSERT_GT(set.AddMetaData(record.get()), 0);
  }
  const std::int32_t removed = colID;
  // SQLite keeps each owner's objects as "OWNER.NAME" in the one file: the
  // collection's eight indexes are listed there, and go with the tables.
  const std::string indexes = "SELECT COUNT(*) FROM " + owner +
                              ".sqlite_master WHERE type='index' AND tbl_name LIKE '" + owner +
                              ".META%_" + std::to_string(removed) + "'";
  if (GetParam() == "sqlite") {
    EXPECT_EQ(Count(indexes), 8);
  }
  ASSERT_EQ(set.Remove(&catalog, removed), 1);
  if (GetParam() == "sqlite") {
    EXPECT_EQ(Count(indexes), 0);
  }
  colID = 0;  // nothing left for TearDown
  for (const char* t : {"META_STRUCTINFO_", "META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_",
                        "META_ADDITIONAL_"}) {
    EXPECT_EQ(Count("SELECT COUNT(*) FROM " + owner + "." + t + std::to_string(removed)), -1) << t;
  }
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + owner +
                  ".KRDB_META_INFO WHERE COL_ID=" + std::to_string(removed)),
            0);
  EXPECT_EQ(catalog.mds_IsExist(name.c_str()), 0);
}

TEST_P(RealSetTest, SearchesGiveTheSameRecordsWithTheValueIndexesDroppedAndRestored) {
  for (int i = 0; i < 12; ++i) {
    const std::string xml =
        "<metadata><idinfo><citation><citeinfo><title>survey " + std::to_string(i) +
        "</title><pubdate>2001-02-" + std::to_string(10 + i) +
        "</pubdate></citeinfo></citation><spdom><bounding><westbc>" + std::to_string(-10 * i) +
        "</westbc></bounding></spdom></idinfo></metadata>";
    CBaseMetaData record(schema);
    ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
    ASSERT_GT(set.AddMetaData(&record), 0);
  }
  auto condition = [](std::int32_t id, const char* path, const char* op, const char* value) {
    SearchNode node;
    node.condID = id;
    node.nodePath = path;
    node.op = op;
    node.value1 = value;
    return node;
  };
  // One condition on each value table.
  const std::vector<SearchNode> conditions = {
      condition(1, "/metadata/idinfo/citation/citeinfo/title", ">=", "survey 5"),
      condition(2, "/metadata/idinfo/spdom/bounding/westbc", "<", "-45"),
      condition(3, "/metadata/idinfo/citation/citeinfo/pubdate", ">", "2001-02-15"),
  };
  auto found = [&](const char* expression) {
    std::vector<SearchNode> nodes = conditions;
    CSmartArray<std::int64_t> ids;
    EXPECT_EQ(set.SearchMetaData(expression, nodes, ids), 1) << expression;
    std::vector<std::int64_t> out;
    for (std::int32_t i = 0; i < ids.GetSize(); ++i) out.push_back(ids[i]);
    std::sort(out.begin(), out.end());
    return out;
  };
  const char* const expressions[] = {"1", "2", "3", "1 and 2 or 3"};
  std::vector<std::vector<std::int64_t>> before;
  for (const char* e : expressions) before.push_back(found(e));
  ASSERT_EQ(before[0].size(), 5u);  // "survey 5" .. "survey 9": "survey 10" sorts first
  ASSERT_EQ(before[1].size(), 7u);
  ASSERT_EQ(before[2].size(), 6u);

  const std::string valueIndexes =
      GetParam() == "sqlite"
          ? "SELECT COUNT(*) FROM " + owner + ".sqlite_master WHERE type='index' AND name LIKE '" +
                owner + ".META_ND%_" + std::to_string(colID) + "_NV'"
          : "SELECT COUNT(*) FROM pg_indexes WHERE upper(schemaname)='" + owner +
                "' AND upper(indexname) LIKE 'META_ND%_" + std::to_string(colID) + "_NV'";
  // Building after the rows pays on both, from fewer records on SQLite.
  MsValueIndexPolicy policy;
  ASSERT_EQ(MsGetValueIndexPolicy(&set, &policy), 1);
  EXPECT_EQ(policy.buildAfterFrom, GetParam() == "sqlite" ? 1000 : 10000);
  EXPECT_TRUE(policy.restoreBeforeImport);
  ASSERT_EQ(Count(valueIndexes), 3);
  ASSERT_EQ(set.DropValueIndexes(), 1);
  EXPECT_EQ(Count(valueIndexes), 0);
  EXPECT_EQ(MsDropValueIndexes(&set), 0);  // nothing left to drop
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(found(expressions[i]), before[i]);

  // Records written meanwhile are found once the indexes are back.
  CBaseMetaData late(schema);
  const std::string xml =
      "<metadata><idinfo><citation><citeinfo><title>survey 99</title></citeinfo></citation>"
      "</idinfo></metadata>";
  ASSERT_EQ(late.LoadXml(xml.data(), xml.size()), 1);
  const std::int64_t lateId = set.AddMetaData(&late);
  ASSERT_GT(lateId, 0);
  before[0].push_back(lateId);
  std::int32_t created = 0;
  ASSERT_EQ(set.RestoreValueIndexes(&created), 1);
  EXPECT_EQ(created, 3);
  EXPECT_EQ(Count(valueIndexes), 3);
  EXPECT_EQ(found("1"), before[0]);
  EXPECT_EQ(found("2"), before[1]);
  // Restoring again finds them all there and makes none.
  ASSERT_EQ(MsRestoreValueIndexes(&set, &created), 1);
  EXPECT_EQ(created, 0);
  if (GetParam() == "postgresql") {
    // The text index is made in the server's own shape again.
    EXPECT_EQ(Count("SELECT COUNT(*) FROM pg_indexes WHERE upper(indexname)='META_NDTEXT_" +
                    std::to_string(colID) + "_NV' AND indexdef LIKE '%left%512%'"),
              1);
  }
}

// A NULL number (a value row without a number) comes back from the node
// values as a quiet NaN, told apart from a stored 0, on every backend.
TEST_P(RealSetTest, ANullNumberReadsAsNaNNotZero) {
  const struct {
    const char* west;
    double expected;  // NaN: the row's number is made NULL
  } cases[] = {{"1", std::nan("")}, {"0", 0.0}, {"-0.5", -0.5}};
  std::vector<std::int64_t> ids;
  for (const auto& c : cases) {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo><title>t</title>"
        "</citeinfo></citation><spdom><bounding><westbc>" +
        std::string(c.west) + "</westbc></bounding></spdom></idinfo></metadata>";
    CBaseMetaData record(schema);
    ASSERT_EQ(record.LoadXml(xml.data(), static_cast<std::int32_t>(xml.size())), 1);
    ids.push_back(set.AddMetaData(&record));
    ASSERT_GT(ids.back(), 0) << c.west;
  }
  ASSERT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDNUMBER_") +
                  " WHERE MetaID=" + std::to_string(ids[0])),
            1);
  gis_SQLHSTMT stmt = nullptr;
  ASSERT_EQ(gis_SQLAllocStmt(hdbc, &stmt), 0);
  const std::string null = "UPDATE " + Table("META_NDNUMBER_") +
                           " SET NODEVALUE=NULL WHERE MetaID=" + std::to_string(ids[0]);
  EXPECT_EQ(gis_SQLExecDirect(stmt, null.c_str(), GIS_SQL_NTS), 0);
  gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  CNodeInfo west;
  ASSERT_NE(schema->GetNodeInfoByPath("/metadata/idinfo/spdom/bounding/westbc", &west), 0);
  std::int32_t guid = 0;
  west.GetNodeGUID(guid);
  std::vector<NodeDataStrcT> values(4);
  ASSERT_EQ(set.GetNodeDataByGuid(guid, 2, values.data(), 4), 1);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    SCOPED_TRACE(cases[i].west);
    EXPECT_EQ(values[i].metaID, ids[i]);
    if (std::isnan(cases[i].expected)) {
      EXPECT_TRUE(std::isnan(values[i].numberValue)) << values[i].numberValue;
    } else {
      EXPECT_EQ(values[i].numberValue, cases[i].expected);
    }
  }
}

// A caller's statement names tables and columns as Oracle folds them: an
// unquoted name in any case and the quoted upper-case name are one object
// on every backend.
TEST_P(RealSetTest, QuotedUpperCaseNamesAreTheUnquotedOnes) {
  const std::int64_t id = AddTinyRecord();
  ASSERT_GT(id, 0);
  std::string upper = owner, lower = owner;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string n = std::to_string(colID);
  const std::string statements[] = {
      "select METAID from " + owner + ".META_STRUCTINFO_" + n,
      "select metaid from " + lower + ".meta_structinfo_" + n,
      "select MetaId from " + lower + ".Meta_StructInfo_" + n,
      "select \"METAID\" from \"" + upper + "\".\"META_STRUCTINFO_" + n + "\"",
      "select s.\"METAID\" from " + lower + ".\"META_STRUCTINFO_" + n +
          "\" s where \"S\".metaid=" + std::to_string(id),
  };
  for (const std::string& sql : statements) {
    SCOPED_TRACE(sql);
    CSmartArray<std::int64_t> ids;
    ASSERT_EQ(set.MetaSearch(sql.c_str(), ids), 1) << db->LastStatementError().message;
    ASSERT_EQ(ids.GetSize(), 1);
    EXPECT_EQ(ids[0], id);
  }
}

METASHELF_ON_EVERY_BACKEND(RealSetTest);

}  // namespace

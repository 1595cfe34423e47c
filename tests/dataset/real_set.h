// A collection on a real database for the integration tests: a fresh
// catalog on SQLite (a temporary folder) or on the PostgreSQL server that
// the test command starts (METASHELF_PG_CONNINFO), the shipped FGDC schema
// registered in it, and a set created and opened on it.
#ifndef METASHELF_TESTS_DATASET_REAL_SET_H_
#define METASHELF_TESTS_DATASET_REAL_SET_H_

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "support/backend_list.h"
#include "support/corpus_files.h"
#include "support/pg_server.h"
#include "support/postgresql_fresh.h"

namespace settest {

using metashelf::testing::ReadFile;

// The FGDC records of the corpus, sorted; empty when the corpus is absent.
inline std::vector<std::string> CorpusFiles() {
  return metashelf::testing::XmlFilesIn(std::string(METASHELF_CORPUS_DIR) + "/fgdc");
}

class RealSetTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    static int counter = 0;
    const std::string unique = std::to_string(getpid()) + "_" + std::to_string(++counter);
    std::string uri;
    if (GetParam() == "postgresql") {
      const char* conninfo = metashelf::testing::PgServerConninfo();
      if (conninfo == nullptr) GTEST_SKIP() << "no PostgreSQL server in this run";
      // A database of its own: tests run in parallel, and one test's
      // catalog creation must not wait on (or deadlock with) another's
      // unit of work in a shared owner.
      pg = std::make_unique<metashelf::testing::PgFreshDatabase>();
      ASSERT_FALSE(pg->conninfo().empty()) << pg->error();
      uri = pg->conninfo();
    } else {
      folder = std::filesystem::temp_directory_path() / ("metashelf-dataset-" + unique);
      std::filesystem::create_directories(folder);
      uri = "sqlite:" + (folder / "catalog.db").string();
    }
    std::string error;
    db = CHostDataBase::Open(uri, &error);
    if (!db && GetParam() == "postgresql") GTEST_SKIP() << "PostgreSQL unreachable: " << error;
    ASSERT_TRUE(db) << error;
    const std::int32_t mtdbID = db->db_CreateMtdb(("itest" + unique).c_str());
    ASSERT_GT(mtdbID, 0) << db->LastError();
    ASSERT_EQ(catalog.mtdb_Open(db.get(), mtdbID, 0), 1);
    const std::string schemaText =
        ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
    ASSERT_FALSE(schemaText.empty());
    schemaID = catalog.schema_Add("KORVEN_FGDC", schemaText.c_str(), "");
    ASSERT_GT(schemaID, 0) << db->LastStatementError().message;
    name = "fgdc" + unique;
    colID = set.Create(&catalog, schemaID, name.c_str(), "");
    ASSERT_GT(colID, 0) << db->LastStatementError().message;
    ASSERT_EQ(set.Open(&catalog, colID), 1);
    ASSERT_EQ(set.GetCSchemaPtr(&schema), 1);
    owner = set.GetOwner();
    gis_SQLHDBC_STRU* handle = nullptr;
    char ownerName[32] = {};
    catalog.GetOraBaseInfo(handle, ownerName);
    hdbc = handle;
  }

  void TearDown() override {
    if (colID > 0 && GetParam() == "postgresql") set.Remove(&catalog, colID);
    set.Close();
    catalog.mtdb_Close();
    db.reset();
    if (!folder.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    }
  }

  // A record of the corpus loaded on the set's schema.
  std::unique_ptr<CBaseMetaData> Load(const std::string& path) {
    auto record = std::make_unique<CBaseMetaData>(schema);
    EXPECT_EQ(record->LoadXmlFile(path.c_str()), 1) << path << ": " << record->LastError();
    return record;
  }

  std::string Xml(const CBaseMetaData& record) {
    std::string xml;
    EXPECT_EQ(record.ToXml(xml), 1);
    return xml;
  }

  // Adds a record of one title; its id, or 0 when the add failed.
  std::int64_t AddTinyRecord(const std::string& title = "tiny") {
    const std::string xml =
        "<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo>"
        "<title>" +
        title + "</title></citeinfo></citation></idinfo></metadata>";
    CBaseMetaData record(schema);
    if (record.LoadXml(xml.c_str(), static_cast<std::int32_t>(xml.size())) != 1) return 0;
    const std::int64_t id = set.AddMetaData(&record);
    return id > 0 ? id : 0;
  }

  // The one integer a query yields; -1 when it fails.
  std::int32_t Count(const std::string& sql) {
    gis_SQLHSTMT stmt = nullptr;
    if (gis_SQLAllocStmt(hdbc, &stmt) != 0) return -1;
    std::int32_t value = -1;
    std::int16_t indicator = 0;
    if (gis_SQLPrepare(stmt, sql.c_str(), GIS_SQL_NTS) != 0 ||
        gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, &value, 4, &indicator) != 0 ||
        gis_SQLExecute(stmt) != 0 || gis_SQLFetch(stmt) != 0) {
      value = -1;
    }
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return value;
  }

  std::string Table(const char* base) { return owner + "." + base + std::to_string(colID); }

  // Rows of `metaID` in table `base` of the collection.
  std::int32_t RowsOf(const char* base, std::int64_t metaID) {
    return Count("SELECT COUNT(*) FROM " + Table(base) + " WHERE MetaID=" + std::to_string(metaID));
  }

  // Every trace of `metaID`: catalog row, structure row, node rows and
  // attachment rows.
  std::int32_t Traces(std::int64_t metaID) {
    std::int32_t total = Count("SELECT COUNT(*) FROM " + owner +
                               ".KRDB_META_INFO WHERE META_ID=" + std::to_string(metaID));
    for (const char* t : {"META_STRUCTINFO_", "META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_",
                          "META_ADDITIONAL_"}) {
      total += RowsOf(t, metaID);
    }
    return total;
  }

  std::filesystem::path folder;
  std::unique_ptr<metashelf::testing::PgFreshDatabase> pg;  // outlives db
  std::unique_ptr<CHostDataBase> db;
  COraMetaDataBase catalog;
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  std::string owner;
  std::string name;
  std::int32_t schemaID = 0;
  std::int32_t colID = 0;
};

}  // namespace settest

#endif  // METASHELF_TESTS_DATASET_REAL_SET_H_

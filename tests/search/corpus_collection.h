// The FGDC records of the corpus stored in a collection on a real database,
// once per backend and shared by the tests of one program: a fresh
// database, a catalog, the shipped FGDC schema (with the metadata date
// typed as a date, and the corpus's YYYYMMDD metadata dates written
// YYYY-MM-DD so that they are stored as dates), a collection holding every
// record, and a second collection holding a few, whose ids no search of the
// first may ever return.
#ifndef METASHELF_TESTS_SEARCH_CORPUS_COLLECTION_H_
#define METASHELF_TESTS_SEARCH_CORPUS_COLLECTION_H_

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "support/backends.h"
#include "support/corpus_files.h"

namespace search_test {

using metashelf::testing::ReadFile;

inline std::string CorpusFolder() {
  return (std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc").string();
}

// The FGDC schema text with the metadata date typed as a date.
inline std::string DatedFgdcSchema() {
  std::string text = ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
  const std::string from = "<element name=\"metd\" type=\"token\"";
  const std::size_t at = text.find(from);
  if (at == std::string::npos) return std::string();
  text.replace(at, from.size(), "<element name=\"metd\" type=\"date\"");
  return text;
}

// `xml` with a metadata date of eight digits written YYYY-MM-DD.
inline std::string WithDashedMetadataDate(const std::string& xml) {
  static const std::regex metd("<metd>(\\s*)(\\d{4})(\\d{2})(\\d{2})(\\s*)</metd>");
  return std::regex_replace(xml, metd, "<metd>$1$2-$3-$4$5</metd>");
}

struct CorpusCollection {
  std::string backend;
  std::string error;  // why the collection is not there
  bool skip = false;  // the reason is outside the system (no corpus, no backend)
  std::unique_ptr<metashelf::testing::FreshDatabase> fresh;
  COraMetaDataBase catalog;
  COraMetaDataSet set;    // every corpus record
  COraMetaDataSet other;  // a few records of another collection
  std::int32_t colID = 0;
  std::int32_t otherID = 0;
  std::string owner;
  std::map<std::int64_t, std::string> files;  // stored record id -> file name
  std::map<std::int64_t, std::string> texts;  // stored record id -> the text stored
  std::set<std::int64_t> otherIds;

  std::string File(std::int64_t id) const {
    auto it = files.find(id);
    return it == files.end() ? "<id " + std::to_string(id) + " of no record>" : it->second;
  }

  ~CorpusCollection() {
    set.Close();
    other.Close();
    catalog.mtdb_Close();
  }
};

// Stores every corpus record that loads on the schema; returns the reason
// when the collection cannot be made.
inline std::string FillCorpusCollection(CorpusCollection& c) {
  if (!std::filesystem::is_directory(CorpusFolder())) {
    c.skip = true;
    return "corpus folder " + CorpusFolder() + " is absent";
  }
  c.fresh = std::make_unique<metashelf::testing::FreshDatabase>(c.backend);
  if (!c.fresh->db) {
    c.skip = true;
    return c.fresh->error;
  }
  CHostDataBase* db = c.fresh->db.get();
  const std::int32_t mtdbID = db->db_CreateMtdb("search");
  if (mtdbID <= 0) return "no catalog: " + db->LastError();
  if (c.catalog.mtdb_Open(db, mtdbID, 0) != 1) return "catalog does not open";
  const std::string schemaText = DatedFgdcSchema();
  if (schemaText.empty()) return "the FGDC schema text has no metadata date";
  const std::int32_t schemaID = c.catalog.schema_Add("FGDC_DATED", schemaText.c_str(), "");
  if (schemaID <= 0) return "the FGDC schema is refused";
  c.colID = c.set.Create(&c.catalog, schemaID, "fgdc", "");
  c.otherID = c.other.Create(&c.catalog, schemaID, "fgdc other", "");
  if (c.colID <= 0 || c.otherID <= 0) return "collections are not created";
  if (c.set.Open(&c.catalog, c.colID) != 1 || c.other.Open(&c.catalog, c.otherID) != 1) {
    return "collections do not open";
  }
  c.owner = c.set.GetOwner();
  CSchema* schema = nullptr;
  c.set.GetCSchemaPtr(&schema);
  CSchema* otherSchema = nullptr;
  c.other.GetCSchemaPtr(&otherSchema);

  if (db->Begin() != 1) return "no transaction: " + db->LastError();
  int index = 0;
  for (const std::filesystem::path path : metashelf::testing::XmlFilesIn(CorpusFolder())) {
    const std::string text = WithDashedMetadataDate(ReadFile(path.string()));
    CBaseMetaData record(schema);
    if (record.LoadXml(text.data(), text.size()) != 1) continue;
    const std::int64_t id = c.set.AddMetaData(&record);
    if (id <= 0) return "record " + path.filename().string() + " is not stored";
    c.files[id] = path.filename().string();
    c.texts[id] = text;
    // Every tenth record also goes to the other collection.
    if (index++ % 10 == 0) {
      CBaseMetaData copy(otherSchema);
      if (copy.LoadXml(text.data(), text.size()) != 1) return "copy does not load";
      const std::int64_t otherId = c.other.AddMetaData(&copy);
      if (otherId <= 0) return "copy is not stored";
      c.otherIds.insert(otherId);
    }
  }
  if (db->Commit() != 1) return "no commit: " + db->LastError();
  if (c.files.size() < 100) return "fewer than 100 corpus records were stored";
  return std::string();
}

// The collection of `backend`, made on first use and kept for the program.
// A test calls it from SetUp through USE_CORPUS_COLLECTION.
inline CorpusCollection& SharedCorpusCollection(const std::string& backend) {
  static std::map<std::string, std::unique_ptr<CorpusCollection>> collections;
  auto& slot = collections[backend];
  if (!slot) {
    slot = std::make_unique<CorpusCollection>();
    slot->backend = backend;
    slot->error = FillCorpusCollection(*slot);
  }
  return *slot;
}

}  // namespace search_test

// Points `target` at the collection of `backend`; skips the test when the
// corpus or the backend is not there, fails it when the collection cannot
// be made.
#define USE_CORPUS_COLLECTION(target, backend)              \
  do {                                                      \
    target = &search_test::SharedCorpusCollection(backend); \
    if (!target->error.empty()) {                           \
      if (target->skip) GTEST_SKIP() << target->error;      \
      FAIL() << target->error;                              \
    }                                                       \
  } while (0)

#endif  // METASHELF_TESTS_SEARCH_CORPUS_COLLECTION_H_

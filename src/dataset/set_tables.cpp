// Texts of the per-collection DDL.
#include "dataset/set_tables.h"

#include "dataset/sql_text.h"

namespace metashelf {
namespace dataset {
namespace {

// The tables whose values are searched, in the order their indexes are made.
const char* const kValueTables[] = {"META_NDTEXT", "META_NDNUMBER", "META_NDDATETIME"};

}  // namespace

std::vector<std::string> CreateSetStatements(const char* owner, std::int32_t colID) {
  std::vector<std::string> texts;
  texts.push_back(Format("CREATE TABLE %s.META_STRUCTINFO_%d", owner, colID) +
                  "(MetaID NUMBER NOT NULL,STRUCT_INFO BLOB,PROLOG_INFO BLOB, LABEL_INFO BLOB)");
  texts.push_back(Format("CREATE TABLE %s.META_NDTEXT_%d", owner, colID) +
                  "(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL," +
                  "POSITION NUMBER NOT NULL,NODEVALUE VARCHAR2(4000))");
  texts.push_back(Format("CREATE TABLE %s.META_NDNUMBER_%d", owner, colID) +
                  "(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL," +
                  "POSITION NUMBER NOT NULL,NODEVALUE NUMBER)");
  texts.push_back(Format("CREATE TABLE %s.META_NDDATETIME_%d", owner, colID) +
                  "(MetaID NUMBER NOT NULL, NODEGUID NUMBER NOT NULL," +
                  "POSITION NUMBER NOT NULL, NODEVALUE DATE)");
  texts.push_back(Format("CREATE TABLE %s.META_ADDITIONAL_%d", owner, colID) +
                  "(MetaID NUMBER NOT NULL, PICTURE_INFO BLOB)");
  static const char* const kTables[] = {"META_STRUCTINFO", "META_NDTEXT", "META_NDNUMBER",
                                        "META_NDDATETIME", "META_ADDITIONAL"};
  for (const char* table : kTables) {
    texts.push_back(Format("CREATE INDEX %s.%s_%d_ID ON %s.%s_%d(MetaID)", owner, table, colID,
                           owner, table, colID));
  }
  for (std::string& text : CreateValueIndexStatements(owner, colID)) {
    texts.push_back(std::move(text));
  }
  return texts;
}

std::vector<std::string> CreateValueIndexStatements(const char* owner, std::int32_t colID) {
  std::vector<std::string> texts;
  for (const char* table : kValueTables) {
    texts.push_back(Format("CREATE INDEX %s.%s_%d_NV ON %s.%s_%d(NODEGUID,NODEVALUE)", owner, table,
                           colID, owner, table, colID));
  }
  return texts;
}

std::vector<std::string> DropValueIndexStatements(const char* owner, std::int32_t colID) {
  std::vector<std::string> texts;
  for (const char* table : kValueTables) {
    texts.push_back(Format("DROP INDEX %s.%s_%d_NV", owner, table, colID));
  }
  return texts;
}

std::vector<std::string> RemoveSetStatements(const char* owner, std::int32_t colID) {
  return {
      Format("DROP TABLE %s.META_ADDITIONAL_%d", owner, colID),
      Format("DROP TABLE %s.META_NDDATETIME_%d", owner, colID),
      Format("DROP TABLE %s.META_NDNUMBER_%d", owner, colID),
      Format("DROP TABLE %s.META_NDTEXT_%d", owner, colID),
      Format("DROP TABLE %s.META_STRUCTINFO_%d", owner, colID),
      Format("delete from %s.KRDB_META_INFO where COL_ID=%d", owner, colID),
  };
}

}  // namespace dataset
}  // namespace metashelf

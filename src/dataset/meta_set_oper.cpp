// COraMetaSetOper: construction and the record documents of
// META_STRUCTINFO_<id> (structure, prolog and value label), written through
// BLOB locators and read back whole.
#include "dataset/meta_set_oper.h"

#include <cinttypes>
#include <cstring>

#include "dataset/lob_io.h"
#include "dataset/sql_text.h"
#include "db/statement.h"
#include "search/id_query.h"

using metashelf::dataset::Format;

COraMetaSetOper::COraMetaSetOper(const char* owner, gis_SQLHDBC_STRU* hdbc, CSchema* schema)
    : owner_(), hdbc_(hdbc), schema_(schema) {
  if (owner != nullptr) std::strncpy(owner_, owner, kOwnerSize - 1);
}

COraMetaSetOper::~COraMetaSetOper() {
  hdbc_ = nullptr;
}

namespace {

// "select <what> from <owner>.META_STRUCTINFO_<mdsID> where MetaID=<metaID>":
// every statement of a record's document row reads it by that key.
std::string DocumentRow(const char* owner, const char* what, std::int32_t mdsID,
                        std::int64_t metaID) {
  return Format("select %s from %s.META_STRUCTINFO_%d where MetaID=%" PRId64, what, owner, mdsID,
                metaID);
}

// The same row locked for a write through its BLOB locator.
std::string DocumentRowForUpdate(const char* owner, const char* column, std::int32_t mdsID,
                                 std::int64_t metaID) {
  return DocumentRow(owner, column, mdsID, metaID) + " for update";
}

std::int32_t WriteDocument(gis_SQLHDBC_STRU* hdbc, const std::string& select, const char* document,
                           std::int32_t length) {
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  return metashelf::dataset::PutBlob(stmt.get(), select, document, length) ? 1 : 0;
}

std::int32_t DocumentLength(gis_SQLHDBC_STRU* hdbc, const std::string& query,
                            std::int32_t* length) {
  if (length == nullptr) return 0;
  *length = -1;
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  return metashelf::dataset::ReadLobLength(stmt.get(), query, length) ? 1 : 0;
}

std::int32_t ReadDocument(gis_SQLHDBC_STRU* hdbc, const std::string& select, char* buffer,
                          std::int32_t length) {
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  return metashelf::dataset::ReadLob(stmt.get(), select, buffer, length) ? 1 : 0;
}

}  // namespace

std::int32_t COraMetaSetOper::InsertStructInfo(std::int32_t mdsID, std::int64_t metaID,
                                               const char* document, std::int32_t length) {
  metashelf::db::Statement stmt(hdbc_);
  if (!stmt.ok()) return 0;
  const std::string insert = Format("insert into %s.META_STRUCTINFO_%d values(%" PRId64
                                    ",EMPTY_BLOB(),EMPTY_BLOB(),EMPTY_BLOB())",
                                    owner_, mdsID, metaID);
  bool ok = gis_SQLExecDirect(stmt.get(), insert.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS;
  // The cursor is closed and the same statement selects the new row.
  if (ok) ok = gis_SQLFreeStmt(stmt.get(), GIS_SQL_CLOSE) == GIS_SQL_SUCCESS;
  if (ok) {
    ok = metashelf::dataset::PutBlob(
        stmt.get(), DocumentRowForUpdate(owner_, "STRUCT_INFO", mdsID, metaID), document, length);
  }
  if (!ok) stmt.DrainError();
  return ok ? 1 : 0;
}

std::int32_t COraMetaSetOper::WritePrologInfo(std::int32_t mdsID, std::int64_t metaID,
                                              const char* document, std::int32_t length) {
  return WriteDocument(hdbc_, DocumentRowForUpdate(owner_, "PROLOG_INFO", mdsID, metaID), document,
                       length);
}

std::int32_t COraMetaSetOper::WriteValueLabel(std::int32_t mdsID, std::int64_t metaID,
                                              const char* document, std::int32_t length) {
  return WriteDocument(hdbc_, DocumentRowForUpdate(owner_, "LABEL_INFO", mdsID, metaID), document,
                       length);
}

std::int32_t COraMetaSetOper::GetStructInfoLength(std::int32_t mdsID, std::int64_t metaID,
                                                  std::int32_t* length) {
  return DocumentLength(
      hdbc_, DocumentRow(owner_, "dbms_lob.getlength(STRUCT_INFO)", mdsID, metaID), length);
}

std::int32_t COraMetaSetOper::GetPrologInfoLength(std::int32_t mdsID, std::int64_t metaID,
                                                  std::int32_t* length) {
  return DocumentLength(
      hdbc_, DocumentRow(owner_, "dbms_lob.getlength(PROLOG_INFO)", mdsID, metaID), length);
}

std::int32_t COraMetaSetOper::GetValueLabelLength(std::int32_t mdsID, std::int64_t metaID,
                                                  std::int32_t* length) {
  return DocumentLength(hdbc_, DocumentRow(owner_, "dbms_lob.getlength(LABEL_INFO)", mdsID, metaID),
                        length);
}

std::int32_t COraMetaSetOper::ReadStructInfo(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                                             std::int32_t length) {
  return ReadDocument(hdbc_, DocumentRow(owner_, "STRUCT_INFO", mdsID, metaID), buffer, length);
}

std::int32_t COraMetaSetOper::ReadPrologInfo(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                                             std::int32_t length) {
  return ReadDocument(hdbc_, DocumentRow(owner_, "PROLOG_INFO", mdsID, metaID), buffer, length);
}

std::int32_t COraMetaSetOper::ReadValueLabel(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                                             std::int32_t length) {
  return ReadDocument(hdbc_, DocumentRow(owner_, "LABEL_INFO", mdsID, metaID), buffer, length);
}

std::int32_t COraMetaSetOper::QueryMetaIDs(const char* sql, CSmartArray<std::int64_t>& ids) {
  return metashelf::search::RunIdQuery(hdbc_, sql, ids);
}

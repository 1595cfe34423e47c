// The schema registry: rows of KRDB_META_SCHEMA in the open catalog. Tests
// for a name, counts, lists, looks up by name and by id, describes, renames,
// changes the remark, stamps the modification time and deletes.
#include <cstring>
#include <string>

#include "catalog/catalog_access.h"
#include "catalog/catalog_binding.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/base/utf8.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/records.h"
#include "metashelf/smart_array.h"

using metashelf::base::SqlLiteral;
using metashelf::catalog::BindDateCol;
using metashelf::catalog::BindInt;
using metashelf::catalog::BindIntCol;
using metashelf::catalog::BindText;
using metashelf::catalog::BindTextCol;
using metashelf::catalog::FetchOneInt;
using metashelf::catalog::FetchOneText;
using metashelf::catalog::Prefix;
using metashelf::db::Statement;
using metashelf::db::Succeeded;

namespace {

// Copies `src` into `dst` (of `size` bytes) with its NUL, cut to size - 1
// bytes at a UTF-8 character boundary. Does nothing when size < 1.
void CopyCut(char* dst, std::size_t size, const char* src) {
  if (dst == nullptr || size < 1) return;
  std::size_t n = src != nullptr ? strnlen(src, size) : 0;
  // Never end inside a multi-byte character.
  if (n >= size) n = metashelf::base::Utf8CutLength(src, n, size - 1);
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

// Runs one of the two-argument update procedures (rename, remark); true
// when it ran.
bool RunSchemaUpdate(COraMetaDataBase& catalog, const char* procedure, std::int32_t schemaID,
                     const char* text) {
  if (text == nullptr) return false;
  MtdbContext& ctx = CatalogAccess::Context(catalog);
  const std::string sql = "BEGIN " + Prefix(ctx) + procedure + " END; ";
  Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return false;
  if (gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) {
    stmt.DrainError();
    return false;
  }
  std::int32_t id = schemaID;
  std::int16_t idInd = 0;
  std::int16_t textInd = 0;
  BindInt(stmt.get(), 1, &id, &idInd);
  BindText(stmt.get(), 2, text, &textInd);
  const std::int16_t rc = gis_SQLExecute(stmt.get());
  if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
  return Succeeded(rc);
}

// The same, and when it ran (its statement freed) the schema's
// modification time stamped. 1 when the procedure ran, whatever the stamp
// gave; 0 otherwise.
std::int32_t UpdateSchemaText(COraMetaDataBase& catalog, const char* procedure,
                              std::int32_t schemaID, const char* text) {
  if (!RunSchemaUpdate(catalog, procedure, schemaID, text)) return 0;
  CatalogAccess::StampSchema(catalog, schemaID);
  return 1;
}

}  // namespace

int COraMetaDataBase::schema_IsExist(const char* name) {
  return metashelf::base::Guard<int>(0, [&]() -> int {
    if (name == nullptr) return 0;
    const std::string sql = "SELECT COUNT(SCHEMA_NAME) FROM " + std::string(ctx_->owner) +
                            ".KRDB_META_SCHEMA " + "WHERE SCHEMA_NAME=" + SqlLiteral(name) +
                            " AND MTDB_ID=" + std::to_string(ctx_->mtdbID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    std::int32_t count = -1;
    return FetchOneInt(stmt, sql, &count) == 1 && count >= 1 ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::schema_Del(std::int32_t schemaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const std::string sql = "BEGIN " + Prefix(*ctx_) + "KRPG_MD.schema_Del(:1); " + "END; ";
    // One unit of work: a failed deletion never ends a host transaction.
    metashelf::db::Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    bool ran = false;
    {
      Statement stmt(ctx_->hdbc);
      if (!stmt.ok()) return 0;
      std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
      if (rc == GIS_SQL_SUCCESS) {
        std::int32_t id = schemaID;
        std::int16_t indicator = 0;
        BindInt(stmt.get(), 1, &id, &indicator);
        rc = gis_SQLExecute(stmt.get());
        ran = Succeeded(rc);
      }
      if (!ran) stmt.DrainError();
    }
    return ran && unit.Commit() ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::schema_GetNum(std::int32_t* count) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_->opened == 0 || count == nullptr) return 0;
    *count = 0;
    const std::string sql = "SELECT COUNT(*) FROM " + std::string(ctx_->owner) +
                            ".KRDB_META_SCHEMA " + "WHERE MTDB_ID=" + std::to_string(ctx_->mtdbID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    return FetchOneInt(stmt, sql, count);
  });
}

std::int32_t COraMetaDataBase::schema_GetIDList(CSmartArray<std::int32_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::int32_t count = 0;
    if (schema_GetNum(&count) != 1 || count < 1) return 0;
    const std::string sql = "SELECT SCHEMA_ID FROM " + Prefix(*ctx_) + "KRDB_META_SCHEMA " +
                            "WHERE MTDB_ID=" + std::to_string(ctx_->mtdbID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    // Only the end of the rows counts as a complete list.
    return metashelf::catalog::FetchIntRows(stmt, sql, [&](std::int32_t id) { ids.Add(id); });
  });
}

std::int32_t COraMetaDataBase::schema_GetID(char* name, std::int32_t* schemaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (name == nullptr || schemaID == nullptr) return 0;
    const std::string sql = "SELECT SCHEMA_ID FROM " + Prefix(*ctx_) + "KRDB_META_SCHEMA " +
                            "WHERE SCHEMA_NAME=" + SqlLiteral(name) +
                            " AND MTDB_ID=" + std::to_string(ctx_->mtdbID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    // 1 tells the caller that a row was found and the id written.
    return FetchOneInt(stmt, sql, schemaID);
  });
}

std::int32_t COraMetaDataBase::schema_GetName(std::int32_t schemaID, char* buffer, short size) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const std::string sql = "SELECT SCHEMA_NAME FROM " + Prefix(*ctx_) + "KRDB_META_SCHEMA " +
                            "WHERE SCHEMA_ID=" + std::to_string(schemaID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    char work[300];
    std::memset(work, 0, sizeof work);
    const std::int32_t result = FetchOneText(stmt, sql, work, sizeof work);
    if (result == 0) work[0] = '\0';
    if (buffer != nullptr && size > 0) CopyCut(buffer, static_cast<std::size_t>(size), work);
    return result;
  });
}

std::int32_t COraMetaDataBase::schema_GetInfo(std::int32_t schemaID, X_CLS_SCHEMA* info) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (info == nullptr) return 0;
    std::memset(info, 0, sizeof *info);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT MTDB_ID,SCHEMA_NAME,OWNER,REMARK,CRTTIME,MODTIME FROM " +
                            Prefix(*ctx_) + "KRDB_META_SCHEMA " +
                            "WHERE SCHEMA_ID=" + std::to_string(schemaID);
    gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);

    std::int32_t mtdbID = 0;
    char name[1000];
    char owner[1000];
    char remark[512];
    unsigned char created[10];
    unsigned char modified[10];
    std::memset(name, 0, sizeof name);
    std::memset(owner, 0, sizeof owner);
    std::memset(remark, 0, sizeof remark);
    std::memset(created, 0, sizeof created);
    std::memset(modified, 0, sizeof modified);
    std::int16_t ind[6] = {};
    BindIntCol(stmt.get(), 1, &mtdbID, &ind[0]);
    BindTextCol(stmt.get(), 2, name, sizeof name, &ind[1]);
    BindTextCol(stmt.get(), 3, owner, sizeof owner, &ind[2]);
    BindTextCol(stmt.get(), 4, remark, sizeof remark, &ind[3]);
    BindDateCol(stmt.get(), 5, created, sizeof created, &ind[4]);
    BindDateCol(stmt.get(), 6, modified, sizeof modified, &ind[5]);

    std::int16_t rc = gis_SQLExecute(stmt.get());
    if (Succeeded(rc)) rc = gis_SQLFetch(stmt.get());
    const bool fetched = Succeeded(rc);
    if (!fetched) stmt.DrainError();

    info->schemaID = schemaID;
    if (fetched) {
      info->mtdbID = mtdbID;
      CopyCut(info->schemaName, sizeof info->schemaName, name);
      CopyCut(info->owner, sizeof info->owner, owner);
      CopyCut(info->remark, sizeof info->remark, remark);
      std::memcpy(info->crtTime, created, sizeof info->crtTime);
      std::memcpy(info->modTime, modified, sizeof info->modTime);
    }
    return fetched ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::schema_UpdateName(std::int32_t schemaID, char* name) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return UpdateSchemaText(*this, "KRPG_MD.schema_updatename(:1,:2);", schemaID, name);
  });
}

std::int32_t COraMetaDataBase::schema_UpdateRemark(std::int32_t schemaID, char* remark) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return UpdateSchemaText(*this, "KRPG_MD.schema_updateRemark(:1,:2);", schemaID, remark);
  });
}

std::int32_t COraMetaDataBase::schema_UpdateTime(std::int32_t schemaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return metashelf::catalog::RunIdProcedure(*ctx_, "KRPG_MD.schema_UpdateTime(:1);", schemaID);
  });
}

// Privileges are the database's business; the call is kept for hosts that
// make it and changes nothing.
std::int32_t COraMetaDataBase::schema_SetPrivilege(std::int32_t /*a*/, std::int32_t /*b*/) {
  return 0;
}

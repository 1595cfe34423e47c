// The collection registry: rows of KRDB_META_SET. Registers and deletes
// collections through the collection_ procedures, tests names, counts and
// lists collections per schema and over the catalog, looks them up and
// describes them, renames them and changes their remarks.
//
// A preparation that returns 1 binds and runs nothing; the operation then
// goes on as though its last step had returned 1.
#include <cstring>
#include <string>

#include "catalog/catalog_access.h"
#include "catalog/catalog_binding.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host_database.h"
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

// Runs collection_updateName / collection_updateRemark; true when the call
// succeeded.
bool RunCollectionUpdate(MtdbContext& ctx, const char* procedure, std::int32_t colID,
                         const char* text) {
  if (text == nullptr) return false;
  Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return false;
  const std::string sql = "BEGIN " + Prefix(ctx) + procedure + " END; ";
  std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
  if (rc == GIS_SQL_SUCCESS) {
    std::int32_t id = colID;
    std::int16_t idInd = 0;
    std::int16_t textInd = 0;
    BindInt(stmt.get(), 1, &id, &idInd);
    BindText(stmt.get(), 2, text, &textInd);
    rc = gis_SQLExecute(stmt.get());
    if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
  } else if (!Succeeded(rc)) {
    stmt.DrainError();
  }
  return Succeeded(rc);
}

// The same, and when the call succeeded (its statement freed) the
// collection's modification time stamped. 1 when the call succeeded,
// whatever the stamp gave; 0 otherwise.
std::int32_t UpdateCollectionText(COraMetaDataBase& catalog, const char* procedure,
                                  std::int32_t colID, const char* text) {
  if (!RunCollectionUpdate(CatalogAccess::Context(catalog), procedure, colID, text)) return 0;
  CatalogAccess::StampCollection(catalog, colID);
  return 1;
}

}  // namespace

std::int32_t COraMetaDataBase::mds_UpdateTime(std::int32_t colID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return metashelf::catalog::RunIdProcedure(*ctx_, "KRPG_MD.collection_UpdateTime(:1);", colID);
  });
}

std::int32_t COraMetaDataBase::mds_Add(std::int32_t schemaID, const char* name,
                                       const char* remark) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (name == nullptr) return 0;
    if (mds_IsExist(name) == 1) return 0;
    if (ctx_->database == nullptr) return 0;
    auto* source = dynamic_cast<Cora_IDataBase*>(ctx_->database);
    if (source == nullptr) return 0;
    // The id is spent even when the row is not written.
    std::int32_t id = source->db_GetFreeXCLSID();
    if (id == 0) return 0;  // no free id: 0 would read as a failure anyway

    const std::string sql =
        "BEGIN " + Prefix(*ctx_) + "KRPG_MD.collection_Add(:1,:2,:3,:4);" + "END; ";
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    if (rc == GIS_SQL_SUCCESS) {
      std::int32_t schema = schemaID;
      std::int16_t ind[4] = {};
      BindInt(stmt.get(), 1, &id, &ind[0]);
      BindText(stmt.get(), 2, name, &ind[1]);
      BindInt(stmt.get(), 3, &schema, &ind[2]);
      BindText(stmt.get(), 4, remark != nullptr ? remark : "", &ind[3]);
      rc = gis_SQLExecute(stmt.get());
      if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
    } else if (!Succeeded(rc)) {
      stmt.DrainError();
    }
    return Succeeded(rc) ? id : 0;
  });
}

std::int32_t COraMetaDataBase::mds_Del(std::int32_t colID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const std::string sql = "BEGIN " + Prefix(*ctx_) + "KRPG_MD.collection_Del(:1);" + "END; ";
    Statement stmt(ctx_->hdbc);
    // 0 is this call's success: a statement that cannot be made is a failure.
    if (!stmt.ok()) return -1;
    std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    if (rc == GIS_SQL_SUCCESS) {
      std::int32_t id = colID;
      std::int16_t indicator = 0;
      BindInt(stmt.get(), 1, &id, &indicator);
      rc = gis_SQLExecute(stmt.get());
      if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
    } else if (!Succeeded(rc)) {
      stmt.DrainError();
    }
    if (rc == GIS_SQL_SUCCESS || rc == GIS_SQL_SUCCESS_WITH_INFO) return rc;
    return -1;
  });
}

int COraMetaDataBase::mds_IsExist(const char* name) {
  return metashelf::base::Guard<int>(0, [&]() -> int {
    if (name == nullptr) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COUNT(COL_NAME) FROM " + std::string(ctx_->owner) +
                            ".KRDB_META_SET " + "WHERE COL_NAME=" + SqlLiteral(name);
    std::int32_t count = -1;
    return FetchOneInt(stmt, sql, &count) == 1 && count >= 1 ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::mds_GetNum(std::int32_t* count, std::int32_t schemaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (count == nullptr) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COUNT(COL_ID) FROM " + Prefix(*ctx_) + "KRDB_META_SET " +
                            "WHERE SCHEMA_ID=" + std::to_string(schemaID);
    return FetchOneInt(stmt, sql, count);
  });
}

std::int32_t COraMetaDataBase::mds_GetNum(std::int32_t* count) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (count == nullptr) return 0;
    CSmartArray<std::int32_t> schemas;
    schema_GetIDList(schemas);
    *count = 0;
    std::int32_t result = 0;
    for (std::int32_t i = 0; i < schemas.GetSize(); ++i) {
      std::int32_t one = -1;
      result = mds_GetNum(&one, schemas[i]);
      if (result == 0) return 0;
      *count += one;
    }
    return result;
  });
}

std::int32_t COraMetaDataBase::mds_GetIDList(CSmartArray<std::int32_t>& ids,
                                             std::int32_t schemaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::int32_t count = 0;
    if (mds_GetNum(&count, schemaID) < 1) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COL_ID FROM " + Prefix(*ctx_) + "KRDB_META_SET " +
                            "WHERE SCHEMA_ID=" + std::to_string(schemaID);
    std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    // A failed execution is drained at once: fetching from it would only
    // replace its reason with the driver's complaint that no rows are open.
    if (Succeeded(rc)) rc = gis_SQLExecute(stmt.get());
    if (Succeeded(rc)) {
      std::int32_t id = 0;
      std::int16_t indicator = 0;
      BindIntCol(stmt.get(), 1, &id, &indicator);
      while (Succeeded(rc = gis_SQLFetch(stmt.get()))) ids.Add(id);
    }
    if (Succeeded(rc) || rc == GIS_SQL_NO_DATA) return 1;
    stmt.DrainError();
    return 0;
  });
}

std::int32_t COraMetaDataBase::mds_GetIDList(CSmartArray<std::int32_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    CSmartArray<std::int32_t> schemas;
    schema_GetIDList(schemas);
    std::int32_t result = 0;
    for (std::int32_t i = 0; i < schemas.GetSize(); ++i) {
      result = mds_GetIDList(ids, schemas[i]);
      if (result == 0) break;
    }
    return result;
  });
}

std::int32_t COraMetaDataBase::mds_GetID(char* name, std::int32_t* colID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (name == nullptr || colID == nullptr) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COL_ID FROM " + Prefix(*ctx_) + "KRDB_META_SET " +
                            "WHERE COL_NAME=" + SqlLiteral(name);
    // 1 tells the caller that a row was found and the id written.
    return FetchOneInt(stmt, sql, colID);
  });
}

std::int32_t COraMetaDataBase::mds_GetName(std::int32_t colID, char* buffer, short size) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (buffer == nullptr || size < 1) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COL_NAME FROM " + Prefix(*ctx_) + "KRDB_META_SET " +
                            "WHERE COL_ID=" + std::to_string(colID);
    return FetchOneText(stmt, sql, buffer, size);
  });
}

std::int32_t COraMetaDataBase::mds_GetInfo(std::int32_t colID, X_CLS_MDS* info) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (info == nullptr) return 0;
    std::memset(info, 0, sizeof *info);
    const std::string sql = "SELECT COL_NAME,SCHEMA_ID,REMARK,OWNER,CRTTIME,MODTIME FROM " +
                            Prefix(*ctx_) + "KRDB_META_SET WHERE COL_ID=" + std::to_string(colID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    std::int16_t ind[6] = {};
    BindTextCol(stmt.get(), 1, info->colName, sizeof info->colName, &ind[0]);
    BindIntCol(stmt.get(), 2, &info->schemaID, &ind[1]);
    BindTextCol(stmt.get(), 3, info->remark, sizeof info->remark, &ind[2]);
    BindTextCol(stmt.get(), 4, info->owner, sizeof info->owner, &ind[3]);
    BindDateCol(stmt.get(), 5, info->crtTime, sizeof info->crtTime, &ind[4]);
    BindDateCol(stmt.get(), 6, info->modTime, sizeof info->modTime, &ind[5]);
    std::int16_t rc = gis_SQLExecute(stmt.get());
    if (Succeeded(rc)) rc = gis_SQLFetch(stmt.get());
    if (Succeeded(rc)) {
      info->colID = colID;
      return 1;
    }
    stmt.DrainError();
    return 0;
  });
}

std::int32_t COraMetaDataBase::mds_UpdateName(std::int32_t colID, char* name) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return UpdateCollectionText(*this, "KRPG_MD.collection_updateName(:1,:2);", colID, name);
  });
}

std::int32_t COraMetaDataBase::mds_UpdateRemark(std::int32_t colID, char* remark) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return UpdateCollectionText(*this, "KRPG_MD.collection_updateRemark(:1,:2);", colID, remark);
  });
}

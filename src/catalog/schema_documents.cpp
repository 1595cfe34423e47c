// The four documents of a schema row (schema document, node information,
// XPath document, node-to-element map): stored whole with one UPDATE that
// binds the bytes, read whole after their length is known.
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "catalog/catalog_access.h"
#include "catalog/catalog_binding.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/blob_data.h"
#include "metashelf/ora_metadatabase.h"

using metashelf::catalog::Prefix;
using metashelf::db::Statement;
using metashelf::db::Succeeded;

namespace {

// `update` is "KRDB_META_SCHEMA SET <column>=:1 ".
std::int32_t StoreDocument(COraMetaDataBase& catalog, const char* update, std::int32_t schemaID,
                           CBlobData* blob) {
  if (blob == nullptr) return 0;
  const std::int32_t length = blob->GetDataLength();
  // The copy carries a NUL after the bytes; the NUL is not sent.
  std::unique_ptr<char[]> copy(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
  if (!copy) return 0;
  if (length > 0) blob->GetData(copy.get(), 0, length);
  copy[length] = '\0';

  MtdbContext& ctx = CatalogAccess::Context(catalog);
  Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return 0;
  const std::string sql =
      "UPDATE " + Prefix(ctx) + update + "WHERE SCHEMA_ID=" + std::to_string(schemaID);
  gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
  std::int16_t indicator = 0;
  gis_SQLBindParameter(stmt.get(), 1, 1, GIS_TYPE_BLOB, GIS_TYPE_LONGRAW, 0, 0, copy.get(), length,
                       &indicator);
  if (Succeeded(gis_SQLExecute(stmt.get()))) return 1;
  stmt.DrainError();
  return 0;
}

// `select` is "SELECT <column> FROM ". An empty or NULL document reads as a
// failure and leaves the blob untouched.
std::int32_t ReadDocument(COraMetaDataBase& catalog, const char* select, const char* column,
                          std::int32_t schemaID, CBlobData* blob) {
  if (blob == nullptr) return 0;
  std::int32_t length = -1;
  if (CatalogAccess::LobLength(catalog, &length, "KRDB_META_SCHEMA", column, "SCHEMA_ID",
                               schemaID) != 1) {
    return 0;
  }
  if (length < 1) return 0;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(length) + 1]);
  if (!buffer) return 0;
  std::memset(buffer.get(), 0, static_cast<std::size_t>(length) + 1);

  MtdbContext& ctx = CatalogAccess::Context(catalog);
  Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return 0;
  const std::string sql =
      select + Prefix(ctx) + "KRDB_META_SCHEMA " + "WHERE SCHEMA_ID=" + std::to_string(schemaID);
  std::int16_t indicator = 0;
  if (gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS ||
      gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_LONGRAW, buffer.get(), length, &indicator) !=
          GIS_SQL_SUCCESS ||
      gis_SQLExecute(stmt.get()) != GIS_SQL_SUCCESS ||
      gis_SQLFetch(stmt.get()) != GIS_SQL_SUCCESS) {
    stmt.DrainError();
    return 0;
  }
  return blob->PutData(buffer.get(), length) == 1 ? 1 : 0;
}

}  // namespace

std::int32_t COraMetaDataBase::SetSchemaDoc(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return StoreDocument(*this, "KRDB_META_SCHEMA SET SCHEMADOC=:1 ", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::SetNodeInfo(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return StoreDocument(*this, "KRDB_META_SCHEMA SET NODEINFO=:1 ", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::SetXPathDoc(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return StoreDocument(*this, "KRDB_META_SCHEMA SET XPATHDOC=:1 ", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::SetN2EMAP(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return StoreDocument(*this, "KRDB_META_SCHEMA SET N2EMAP=:1 ", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::GetSchemaDoc(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return ReadDocument(*this, "SELECT SCHEMADOC FROM ", "SCHEMADOC", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::GetNodeInfo(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return ReadDocument(*this, "SELECT NODEINFO FROM ", "NODEINFO", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::GetXPathDoc(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return ReadDocument(*this, "SELECT XPATHDOC FROM ", "XPATHDOC", schemaID, blob);
  });
}

std::int32_t COraMetaDataBase::GetN2EMAP(std::int32_t schemaID, CBlobData* blob) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    return ReadDocument(*this, "SELECT N2EMAP FROM ", "N2EMAP", schemaID, blob);
  });
}

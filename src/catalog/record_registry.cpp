// The record registry: rows of KRDB_META_INFO. Issues record ids and
// registers them through the metaInfo_ procedures (ids cross as decimal
// text), counts and lists a collection's records, describes a record with
// its dates packed for the host, changes remarks and stamps changes.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalog/catalog_access.h"
#include "catalog/catalog_binding.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/host_database.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/records.h"
#include "metashelf/smart_array.h"

using metashelf::catalog::BindDateCol;
using metashelf::catalog::BindInt;
using metashelf::catalog::BindIntCol;
using metashelf::catalog::BindText;
using metashelf::catalog::BindTextCol;
using metashelf::catalog::FetchOneInt;
using metashelf::catalog::Prefix;
using metashelf::db::Statement;
using metashelf::db::Succeeded;

namespace {

// A record id as the procedures take it: decimal text in a cleared buffer
// that holds any 64-bit value with its sign and NUL.
struct IdText {
  explicit IdText(std::int64_t id) { std::snprintf(text, sizeof text, "%" PRId64, id); }
  char text[21] = {};
};

// Packs a driver date into the record's 10-byte form: year (int16), one
// word with month in bits 0-3, day in bits 4-9 and hour in bits 10-15,
// minute, second, four zero bytes.
void PackDate(const OCIDate& date, unsigned char* out) {
  std::memset(out, 0, 10);
  const std::int16_t year = date.year;
  const auto word =
      static_cast<std::uint16_t>((date.month & 15) | ((date.day & 63) << 4) | (date.hour << 10));
  std::memcpy(out, &year, 2);
  std::memcpy(out + 2, &word, 2);
  out[4] = date.minute;
  out[5] = date.second;
}

}  // namespace

std::int64_t COraMetaDataBase::meta_Add(std::int32_t colID, const char* remark) {
  return metashelf::base::Guard<std::int64_t>(0, [&]() -> std::int64_t {
    if (ctx_->database == nullptr) return 0;
    auto* source = dynamic_cast<Cora_IDataBase*>(ctx_->database);
    if (source == nullptr) return 0;
    // The id is spent even when the row is not written.
    const std::int64_t id = source->db_GetFreeXCLSID();
    if (id == 0) return 0;  // no free id: 0 would read as a failure anyway

    const std::string sql =
        "BEGIN " + Prefix(*ctx_) + "KRPG_MD.metaInfo_Add(:1,:2,:3,:4);" + "END; ";
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    IdText idText(id);
    std::int32_t collection = colID;
    std::int32_t zero = 0;
    std::int16_t ind[4] = {};
    std::int16_t rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    if (rc == GIS_SQL_SUCCESS) rc = BindText(stmt.get(), 1, idText.text, &ind[0]);
    if (rc == GIS_SQL_SUCCESS) rc = BindInt(stmt.get(), 2, &collection, &ind[1]);
    if (rc == GIS_SQL_SUCCESS) rc = BindInt(stmt.get(), 3, &zero, &ind[2]);
    if (rc == GIS_SQL_SUCCESS) {
      rc = BindText(stmt.get(), 4, remark != nullptr ? remark : "", &ind[3]);
    }
    if (rc == GIS_SQL_SUCCESS) rc = gis_SQLExecute(stmt.get());
    if (!Succeeded(rc)) {
      stmt.DrainError();
      return 0;
    }
    return id;
  });
}

std::int32_t COraMetaDataBase::meta_Del(std::int64_t metaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const std::string sql = "BEGIN " + Prefix(*ctx_) + "KRPG_MD.metaInfo_Del(:1);" + "END; ";
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    if (gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) {
      stmt.DrainError();
      return 0;
    }
    IdText idText(metaID);
    std::int16_t indicator = 0;
    BindText(stmt.get(), 1, idText.text, &indicator);
    // One run: deleting a row that is already gone succeeds in the database,
    // and a failed call is reported as one.
    const std::int16_t rc = gis_SQLExecute(stmt.get());
    if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
    return Succeeded(rc) ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::meta_GetNum(std::int32_t colID, std::int32_t* count) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_->opened == 0 || count == nullptr) return 0;
    *count = 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT COUNT(*) FROM " + std::string(ctx_->owner) +
                            ".KRDB_META_INFO " + "WHERE COL_ID=" + std::to_string(colID);
    return FetchOneInt(stmt, sql, count);
  });
}

std::int32_t COraMetaDataBase::meta_GetIDList(std::int32_t colID, CSmartArray<std::int64_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    // The list is read when the catalog holds collections at all, so that a
    // collection without records gives 1 and an empty list.
    std::int32_t collections = 0;
    if (mds_GetNum(&collections) < 1 || collections < 1) return 0;
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string sql = "SELECT META_ID FROM " + Prefix(*ctx_) + "KRDB_META_INFO " +
                            "WHERE COL_ID=" + std::to_string(colID) + " ORDER BY META_ID";
    return metashelf::catalog::FetchIntRows(
        stmt, sql, [&](std::int32_t id) { ids.Add(static_cast<std::int64_t>(id)); });
  });
}

std::int32_t COraMetaDataBase::meta_GetInfo(std::int64_t metaID, X_CLS_METAINFO* info) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (info == nullptr) return 0;
    std::memset(info, 0, sizeof *info);
    const std::string sql = "SELECT COL_ID,REMARK,OWNER,CRTTIME,MODTIME FROM " + Prefix(*ctx_) +
                            "KRDB_META_INFO WHERE META_ID=" + std::to_string(metaID);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    OCIDate created{};
    OCIDate modified{};
    std::int16_t ind[5] = {};
    BindIntCol(stmt.get(), 1, &info->colID, &ind[0]);
    BindTextCol(stmt.get(), 2, info->remark, sizeof info->remark, &ind[1]);
    BindTextCol(stmt.get(), 3, info->owner, sizeof info->owner, &ind[2]);
    BindDateCol(stmt.get(), 4, &created, sizeof created, &ind[3]);
    BindDateCol(stmt.get(), 5, &modified, sizeof modified, &ind[4]);
    std::int16_t rc = gis_SQLExecute(stmt.get());
    if (Succeeded(rc)) rc = gis_SQLFetch(stmt.get());
    if (!Succeeded(rc)) stmt.DrainError();
    info->metaID = metaID;
    if (!Succeeded(rc)) return 0;
    PackDate(created, info->crtTime);
    PackDate(modified, info->modTime);
    return 1;
  });
}

std::int32_t COraMetaDataBase::meta_UpdateRemark(std::int64_t metaID, char* remark) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (remark == nullptr) return 0;
    // The remark and its time stamp are one unit: written together, and on
    // PostgreSQL sent together without waiting for each.
    metashelf::db::Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    std::int16_t rc;
    {
      Statement stmt(ctx_->hdbc);
      if (!stmt.ok()) return 0;
      const std::string sql =
          "BEGIN " + Prefix(*ctx_) + "KRPG_MD.metaInfo_updateRemark(:1,:2);" + " END; ";
      rc = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
      if (rc == GIS_SQL_SUCCESS) {
        IdText idText(metaID);
        std::int16_t ind[2] = {};
        BindText(stmt.get(), 1, idText.text, &ind[0]);
        BindText(stmt.get(), 2, remark, &ind[1]);
        rc = gis_SQLExecute(stmt.get());
        if (rc != GIS_SQL_SUCCESS) stmt.DrainError();
      } else if (!Succeeded(rc)) {
        stmt.DrainError();
      }
    }
    if (!Succeeded(rc)) return 0;
    meta_UpdateTime(metaID);
    return unit.Commit() ? 1 : 0;
  });
}

std::int32_t COraMetaDataBase::meta_UpdateTime(std::int64_t metaID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const std::string sql = "BEGIN " + Prefix(*ctx_) + "KRPG_MD.metaInfo_UpdateTime(:1);" + "END; ";
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
    IdText idText(metaID);
    std::int16_t indicator = 0;
    BindText(stmt.get(), 1, idText.text, &indicator);
    if (Succeeded(gis_SQLExecute(stmt.get()))) return 1;
    stmt.DrainError();
    return 0;
  });
}

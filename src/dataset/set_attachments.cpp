// COraMetaDataSet: a record's attachment, one opaque block of bytes in
// META_ADDITIONAL_<id>, written whole through a BLOB locator and read back
// whole. These work on the collection last opened, open or not, and only on
// records it holds; each write is one unit of work (all of it or nothing).
#include <cinttypes>

#include "dataset/attachment_rows.h"
#include "dataset/lob_io.h"
#include "dataset/mds_context.h"
#include "dataset/record_ownership.h"
#include "dataset/sql_text.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadataset.h"

using metashelf::dataset::Format;
using metashelf::dataset::SetHoldsRecord;
using metashelf::db::Unit;

namespace {

std::string SelectPicture(const MdsContext& ctx, std::int64_t metaID, bool forUpdate) {
  return Format("select PICTURE_INFO from %s.META_ADDITIONAL_%d where MetaID=%" PRId64 "%s",
                ctx.owner, ctx.mdsID, metaID, forUpdate ? " for update" : "");
}

}  // namespace

bool metashelf::dataset::DeleteAttachment(const MdsContext& ctx, std::int64_t metaID) {
  db::Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return false;
  const std::string text = Format("delete from %s.META_ADDITIONAL_%d where MetaID=%" PRId64,
                                  ctx.owner, ctx.mdsID, metaID);
  return gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS;
}

namespace {

// Writes `data` into the record's attachment as one unit of work, making
// its row (with an empty BLOB) first when `newRow`. 1 when it was written
// whole; 0 when the set does not hold the record or a step failed, with
// nothing of it kept.
std::int32_t WriteAttachment(MdsContext& ctx, std::int64_t metaID, const char* data,
                             std::int32_t length, bool newRow) {
  if (!SetHoldsRecord(ctx, metaID)) return 0;
  Unit unit(ctx.hdbc);
  if (!unit.ok()) return 0;
  metashelf::db::Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return 0;
  if (newRow) {
    const std::string insert =
        Format("insert into %s.META_ADDITIONAL_%d values(%" PRId64 ",EMPTY_BLOB())", ctx.owner,
               ctx.mdsID, metaID);
    if (gis_SQLExecDirect(stmt.get(), insert.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) return 0;
    // The cursor is closed and the same statement selects the new row.
    if (gis_SQLFreeStmt(stmt.get(), GIS_SQL_CLOSE) != GIS_SQL_SUCCESS) return 0;
  }
  if (!metashelf::dataset::PutBlob(stmt.get(), SelectPicture(ctx, metaID, true), data, length)) {
    return 0;
  }
  return unit.Commit() ? 1 : 0;
}

}  // namespace

std::int32_t COraMetaDataSet::AddMetaAdditional(std::int64_t metaID, char* data,
                                                std::int32_t length) {
  if (ctx_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0, [&]() -> std::int32_t { return WriteAttachment(*ctx_, metaID, data, length, true); });
}

std::int32_t COraMetaDataSet::UpdateMetaAdditional(std::int64_t metaID, char* data,
                                                   std::int32_t length) {
  if (ctx_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0, [&]() -> std::int32_t { return WriteAttachment(*ctx_, metaID, data, length, false); });
}

std::int32_t COraMetaDataSet::DelMetaAdditional(std::int64_t metaID) {
  if (ctx_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!SetHoldsRecord(*ctx_, metaID)) return 0;
    Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    if (!metashelf::dataset::DeleteAttachment(*ctx_, metaID)) return 0;
    return unit.Commit() ? 1 : 0;
  });
}

std::int32_t COraMetaDataSet::GetMetaAdditionalSize(std::int64_t metaID, std::int32_t& size) {
  size = 0;
  if (ctx_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!SetHoldsRecord(*ctx_, metaID)) return 0;
    metashelf::db::Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    const std::string text = Format(
        "select dbms_lob.getlength(PICTURE_INFO) from %s.META_ADDITIONAL_%d where "
        "MetaID=%" PRId64,
        ctx_->owner, ctx_->mdsID, metaID);
    return metashelf::dataset::ReadLobLength(stmt.get(), text, &size) ? 1 : 0;
  });
}

std::int32_t COraMetaDataSet::GetMetaAdditional(std::int64_t metaID, char* buffer,
                                                std::int32_t size) {
  if (ctx_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!SetHoldsRecord(*ctx_, metaID)) return 0;
    metashelf::db::Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    return metashelf::dataset::ReadLob(stmt.get(), SelectPicture(*ctx_, metaID, false), buffer,
                                       size)
               ? 1
               : 0;
  });
}

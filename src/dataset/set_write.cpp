// COraMetaDataSet: the record write path. Adding registers a record in the
// catalog and writes its rows; replacing rewrites all rows of a stored
// record; deleting removes the registration, the rows and the attachment.
// A record is examined whole before anything is written, and a statement
// that fails makes the operation fail: success is never reported for a
// partial write (the host's transaction can then undo it).
#include <cstring>
#include <string>

#include "dataset/attachment_rows.h"
#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "dataset/record_ownership.h"
#include "dataset/record_rows.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/record_add.h"
#include "search/search_index.h"

using metashelf::dataset::RecordRows;
using metashelf::dataset::SetHoldsRecord;
using metashelf::db::Unit;

namespace {

bool IsOpen(const MdsContext* ctx) {
  return ctx != nullptr && ctx->opened != 0 && ctx->oper != nullptr && ctx->mdb != nullptr;
}

// Replace mode: stamps the record's modification time and deletes its rows.
bool ClearStoredRows(MdsContext* ctx, std::int64_t metaID) {
  if (ctx->mdb->meta_UpdateTime(metaID) != 1) return false;
  COraMetaSetOper& oper = *ctx->oper;
  return oper.DeleteStructInfo(ctx->mdsID, metaID) == 1 &&
         oper.DeleteNodeDateTime(ctx->mdsID, metaID) == 1 &&
         oper.DeleteNodeText(ctx->mdsID, metaID) == 1 &&
         oper.DeleteNodeNumber(ctx->mdsID, metaID) == 1;
}

// A record none of whose values has a place in the schema: stored, no
// search could ever find it. A record built from its parts reports a known
// root and nothing unplaced, so only its leaves count.
bool NothingSearchable(const CBaseMetaData& record) {
  std::int32_t leaves = 0;
  record.GetLeafNodeListSize(leaves);
  if (leaves > 0) return false;
  const RecordFit fit = record.Fit();
  return !fit.rootKnown || fit.unplacedValues > 0 || !record.Validate().empty();
}

}  // namespace

std::int32_t COraMetaDataSet::InnerUpdateMetaData(std::int64_t metaID, CBaseMetaData* record,
                                                  char flag) {
  if (!IsOpen(ctx_) || record == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    RecordRows rows;
    if (!metashelf::dataset::ExtractRecord(*record, ctx_->schema, &rows)) return 0;
    if (!SetHoldsRecord(*ctx_, metaID)) return 0;
    Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    if (flag == 1 && !ClearStoredRows(ctx_, metaID)) return 0;
    if (!metashelf::dataset::WriteRecordRows(*ctx_->oper, ctx_->mdsID, metaID, rows)) return 0;
    if (!metashelf::search::IndexRecord(ctx_, metaID, *record, rows, false)) return 0;
    return unit.Commit() ? 1 : 0;
  });
}

std::int64_t COraMetaDataSet::AddMetaData(CBaseMetaData* record) {
  return AddMetaDataWithRemark(record, nullptr);
}

std::int64_t COraMetaDataSet::AddMetaDataWithRemark(CBaseMetaData* record, const char* remark) {
  if (!IsOpen(ctx_)) return -1;
  if (record == nullptr) return 0;
  return metashelf::base::Guard<std::int64_t>(0, [&]() -> std::int64_t {
    // A record that cannot be stored whole, or that no search could find,
    // is refused before it is registered.
    if (NothingSearchable(*record)) return 0;
    RecordRows rows;
    if (!metashelf::dataset::ExtractRecord(*record, ctx_->schema, &rows)) return 0;
    Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    const std::int64_t metaID = ctx_->mdb->meta_Add(ctx_->mdsID, remark);
    if (metaID == 0) return -1;
    if (!metashelf::dataset::WriteRecordRows(*ctx_->oper, ctx_->mdsID, metaID, rows)) return 0;
    if (!metashelf::search::IndexRecord(ctx_, metaID, *record, rows, true)) return 0;
    return unit.Commit() ? metaID : 0;
  });
}

std::int64_t MsAddMetaData(CMetaDataSet_abs* set, CBaseMetaData* record, const char* remark) {
  return metashelf::base::Guard<std::int64_t>(0, [&]() -> std::int64_t {
    auto* own = dynamic_cast<COraMetaDataSet*>(set);
    if (own == nullptr) return -1;
    return own->AddMetaDataWithRemark(record, remark);
  });
}

std::int32_t COraMetaDataSet::UpdateMetaData(std::int64_t metaID, CBaseMetaData* record) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!IsOpen(ctx_)) return -1;
    return InnerUpdateMetaData(metaID, record, 1);
  });
}

// Schema family code for the synchroniser: 1 FGDC, 2 ISO, 3 through the
// schema's node-to-element map; 0 when the set gives no schema name.
char COraMetaDataSet::SchemaFamily() {
  std::int32_t length = 0;
  GetSchemaNameSize(length);
  if (length < 1) return 0;
  std::string name(static_cast<std::size_t>(length) + 1, '\0');
  GetSchemaName(&name[0], length + 1);
  if (std::strcmp(name.c_str(), "KORVEN_FGDC") == 0) return 1;
  if (std::strcmp(name.c_str(), "KORVEN_ISO") == 0) return 2;
  return 3;
}

std::int64_t COraMetaDataSet::AddMetaData(CMetadataSync* sync) {
  if (!IsOpen(ctx_)) return -1;
  if (sync == nullptr) return 0;
  return metashelf::base::Guard<std::int64_t>(0, [&]() -> std::int64_t {
    const char family = SchemaFamily();
    if (family == 0) return 0;
    CBaseMetaData record(ctx_->schema);
    CSynchronizer synchronizer(sync, ctx_->schema, family);
    synchronizer.CreateSynchronizer(record);
    return AddMetaData(&record);
  });
}

std::int32_t COraMetaDataSet::UpdateMetaData(std::int64_t metaID, CMetadataSync* sync) {
  if (!IsOpen(ctx_) || sync == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const char family = SchemaFamily();
    if (family == 0) return 0;
    CBaseMetaData stored(ctx_->schema);
    if (GetMetaData(metaID, &stored) == 0) return 0;
    CBaseMetaData updated(ctx_->schema);
    CSynchronizer synchronizer(sync, ctx_->schema, family);
    synchronizer.UpdateSynchronizer(stored, updated);
    return UpdateMetaData(metaID, &updated) == 1 ? 1 : 0;
  });
}

std::int32_t COraMetaDataSet::DelMetaData(std::int64_t metaID) {
  if (!IsOpen(ctx_)) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (!SetHoldsRecord(*ctx_, metaID)) return 0;
    Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    if (ctx_->mdb->meta_Del(metaID) == 0) return 0;
    COraMetaSetOper& oper = *ctx_->oper;
    if (oper.DeleteStructInfo(ctx_->mdsID, metaID) != 1) return 0;
    if (oper.DeleteNodeDateTime(ctx_->mdsID, metaID) != 1) return 0;
    if (oper.DeleteNodeText(ctx_->mdsID, metaID) != 1) return 0;
    if (oper.DeleteNodeNumber(ctx_->mdsID, metaID) != 1) return 0;
    if (!metashelf::search::UnindexRecord(ctx_, metaID)) return 0;
    // No attachment is fine (the delete succeeds); a failing delete is not.
    if (!metashelf::dataset::DeleteAttachment(*ctx_, metaID)) return 0;
    return unit.Commit() ? 1 : 0;
  });
}

// COraMetaDataSet: what a set answers about its collection (record count
// and ids, schema, name, owner, id) and the catalog look-ups the write path
// needs (schema name, database date).
#include <cstring>

#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "metashelf/base/guard.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"

std::int32_t COraMetaDataSet::GetNum(std::int32_t* count) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->opened == 0 || ctx_->mdb == nullptr) return 0;
    return ctx_->mdb->meta_GetNum(ctx_->mdsID, count);
  });
}

std::int32_t COraMetaDataSet::GetIDList(CSmartArray<std::int64_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->opened == 0 || ctx_->mdb == nullptr) return 0;
    return ctx_->mdb->meta_GetIDList(ctx_->mdsID, ids);
  });
}

std::int32_t COraMetaDataSet::GetCSchemaPtr(CSchema** schema) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->schema == nullptr || schema == nullptr) return 0;
    *schema = ctx_->schema;
    return 1;
  });
}

std::int32_t COraMetaDataSet::GetMDSName(char* buffer, short size) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->mdb == nullptr) return 0;
    return ctx_->mdb->mds_GetName(ctx_->mdsID, buffer, size);
  });
}

std::string COraMetaDataSet::GetOwner() {
  return metashelf::base::Guard<std::string>(
      std::string(), [&]() -> std::string { return ctx_ != nullptr ? ctx_->owner : ""; });
}

std::int32_t COraMetaDataSet::GetMdsID() {
  return metashelf::base::Guard<std::int32_t>(
      0, [&]() -> std::int32_t { return ctx_ != nullptr ? ctx_->mdsID : 0; });
}

std::int32_t COraMetaDataSet::GetSchemaNameSize(std::int32_t& size) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    size = 0;
    if (ctx_ == nullptr || ctx_->schema == nullptr || ctx_->mdb == nullptr) return 0;
    std::int32_t schemaID = 0;
    ctx_->schema->GetSchemaID(schemaID);
    char name[128] = {};
    ctx_->mdb->schema_GetName(schemaID, name, sizeof name);
    size = static_cast<std::int32_t>(strnlen(name, sizeof name));
    return 1;
  });
}

std::int32_t COraMetaDataSet::GetSchemaName(char* buffer, std::int32_t size) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->schema == nullptr || ctx_->mdb == nullptr) return 0;
    std::int32_t schemaID = 0;
    ctx_->schema->GetSchemaID(schemaID);
    const short narrowed = size > 32767 ? 32767 : static_cast<short>(size);
    ctx_->mdb->schema_GetName(schemaID, buffer, narrowed);
    return 1;
  });
}

std::int32_t COraMetaDataSet::GetSysDateTime(OCIDate& date) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->opened == 0) return 0;
    auto* mdb = dynamic_cast<COraMetaDataBase*>(ctx_->mdb);
    if (mdb == nullptr) return 0;
    return mdb->GetSysDateTime(date, ctx_->mdsID);
  });
}

COraMetaDataSet* DataSetAccess::Opened(CMetaDataSet_abs* set) {
  auto* ora = dynamic_cast<COraMetaDataSet*>(set);
  if (ora == nullptr || ora->ctx_ == nullptr || ora->ctx_->opened == 0) return nullptr;
  return ora;
}

// Set operations whose bodies are not built yet: each reports its failure
// value (-1 for the record add and update forms, as on a closed set).
#include <cstring>

#include "dataset/mds_context.h"
#include "metashelf/ora_metadataset.h"

COraMetaDataSet::COraMetaDataSet() : ctx_(new MdsContext()) {}

COraMetaDataSet::~COraMetaDataSet() { delete ctx_; }

std::int32_t COraMetaDataSet::Create(CMetaDataBase_abs* /*catalog*/, std::int32_t /*schemaID*/, const char* /*name*/, const char* /*remark*/) { return 0; }
std::int32_t COraMetaDataSet::Remove(CMetaDataBase_abs* /*catalog*/, std::int32_t /*colID*/) { return 0; }
std::int32_t COraMetaDataSet::Open(CMetaDataBase_abs* /*catalog*/, std::int32_t /*colID*/) { return 0; }
std::int32_t COraMetaDataSet::Close() { return 1; }
int COraMetaDataSet::HasOpened() { return ctx_->opened; }
std::int32_t COraMetaDataSet::GetNum(std::int32_t* /*count*/) { return 0; }
std::int32_t COraMetaDataSet::GetIDList(CSmartArray<std::int64_t>& /*ids*/) { return 0; }
std::int64_t COraMetaDataSet::AddMetaData(CMetadataSync* /*sync*/) { return -1; }
std::int64_t COraMetaDataSet::AddMetaData(CBaseMetaData* /*record*/) { return -1; }
std::int32_t COraMetaDataSet::GetMetaData(std::int64_t /*metaID*/, CBaseMetaData* /*record*/) { return 0; }
std::int32_t COraMetaDataSet::UpdateMetaData(std::int64_t /*metaID*/, CMetadataSync* /*sync*/) { return -1; }
std::int32_t COraMetaDataSet::UpdateMetaData(std::int64_t /*metaID*/, CBaseMetaData* /*record*/) { return -1; }
std::int32_t COraMetaDataSet::DelMetaData(std::int64_t /*metaID*/) { return 0; }
std::int32_t COraMetaDataSet::GetCSchemaPtr(CSchema** /*schema*/) { return 0; }
std::int32_t COraMetaDataSet::GetMDSName(char* /*buffer*/, short /*size*/) { return 0; }
std::int32_t COraMetaDataSet::AddMetaAdditional(std::int64_t /*metaID*/, char* /*data*/, std::int32_t /*length*/) { return 0; }
std::int32_t COraMetaDataSet::DelMetaAdditional(std::int64_t /*metaID*/) { return 0; }
std::int32_t COraMetaDataSet::UpdateMetaAdditional(std::int64_t /*metaID*/, char* /*data*/, std::int32_t /*length*/) { return 0; }
std::int32_t COraMetaDataSet::GetMetaAdditionalSize(std::int64_t /*metaID*/, std::int32_t& /*size*/) { return 0; }
std::int32_t COraMetaDataSet::GetMetaAdditional(std::int64_t /*metaID*/, char* /*buffer*/, std::int32_t /*size*/) { return 0; }
std::string COraMetaDataSet::GetOwner() { return ctx_->owner; }
std::int32_t COraMetaDataSet::GetMdsID() { return ctx_->mdsID; }
std::int32_t COraMetaDataSet::GetSchemaNameSize(std::int32_t& /*size*/) { return 0; }
std::int32_t COraMetaDataSet::GetSchemaName(char* /*buffer*/, std::int32_t /*size*/) { return 0; }
std::int32_t COraMetaDataSet::GetSysDateTime(OCIDate& /*date*/) { return 0; }
std::int32_t COraMetaDataSet::InnerUpdateMetaData(std::int64_t /*metaID*/, CBaseMetaData* /*record*/, char /*flag*/) { return 0; }

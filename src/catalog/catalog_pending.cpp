// Catalog operations whose bodies are not built yet: each reports its
// failure value, so a host sees a clear refusal rather than a fake result.
#include "metashelf/metashelf.h"

std::int32_t COraMetaDataBase::mtdb_Remove(CBas_GDataBase* /*database*/, std::int32_t /*mtdbID*/) { return 0; }
int COraMetaDataBase::schema_IsExist(const char* /*name*/) { return 0; }
std::int32_t COraMetaDataBase::schema_Add(const char* /*name*/, const char* /*schemaText*/, const char* /*remark*/) { return 0; }
std::int32_t COraMetaDataBase::schema_Del(std::int32_t /*schemaID*/) { return 0; }
std::int32_t COraMetaDataBase::schema_GetNum(std::int32_t* /*count*/) { return 0; }
std::int32_t COraMetaDataBase::schema_GetIDList(CSmartArray<std::int32_t>& /*ids*/) { return 0; }
std::int32_t COraMetaDataBase::schema_GetID(char* /*name*/, std::int32_t* /*schemaID*/) { return 0; }
std::int32_t COraMetaDataBase::schema_GetName(std::int32_t /*schemaID*/, char* /*buffer*/, short /*size*/) { return 0; }
std::int32_t COraMetaDataBase::schema_GetInfo(std::int32_t /*schemaID*/, X_CLS_SCHEMA* /*info*/) { return 0; }
std::int32_t COraMetaDataBase::schema_UpdateName(std::int32_t /*schemaID*/, char* /*name*/) { return 0; }
std::int32_t COraMetaDataBase::schema_UpdateRemark(std::int32_t /*schemaID*/, char* /*remark*/) { return 0; }
std::int32_t COraMetaDataBase::SetSchemaDoc(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::GetSchemaDoc(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::SetNodeInfo(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::GetNodeInfo(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::SetXPathDoc(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::GetXPathDoc(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::SetN2EMAP(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::GetN2EMAP(std::int32_t /*schemaID*/, CBlobData* /*blob*/) { return 0; }
std::int32_t COraMetaDataBase::schema_SetPrivilege(std::int32_t /*a*/, std::int32_t /*b*/) { return 0; }
int COraMetaDataBase::mds_IsExist(const char* /*name*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetNum(std::int32_t* /*count*/, std::int32_t /*schemaID*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetNum(std::int32_t* /*count*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetIDList(CSmartArray<std::int32_t>& /*ids*/, std::int32_t /*schemaID*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetIDList(CSmartArray<std::int32_t>& /*ids*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetID(char* /*name*/, std::int32_t* /*colID*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetName(std::int32_t /*colID*/, char* /*buffer*/, short /*size*/) { return 0; }
std::int32_t COraMetaDataBase::mds_GetInfo(std::int32_t /*colID*/, X_CLS_MDS* /*info*/) { return 0; }
std::int32_t COraMetaDataBase::mds_UpdateName(std::int32_t /*colID*/, char* /*name*/) { return 0; }
std::int32_t COraMetaDataBase::mds_UpdateRemark(std::int32_t /*colID*/, char* /*remark*/) { return 0; }
std::int64_t COraMetaDataBase::meta_Add(std::int32_t /*colID*/, const char* /*remark*/) { return 0; }
std::int32_t COraMetaDataBase::meta_Del(std::int64_t /*metaID*/) { return 0; }
std::int32_t COraMetaDataBase::meta_GetNum(std::int32_t /*colID*/, std::int32_t* /*count*/) { return 0; }
std::int32_t COraMetaDataBase::meta_GetIDList(std::int32_t /*colID*/, CSmartArray<std::int64_t>& /*ids*/) { return 0; }
std::int32_t COraMetaDataBase::meta_GetInfo(std::int64_t /*metaID*/, X_CLS_METAINFO* /*info*/) { return 0; }
std::int32_t COraMetaDataBase::meta_UpdateRemark(std::int64_t /*metaID*/, char* /*remark*/) { return 0; }
std::int32_t COraMetaDataBase::meta_UpdateTime(std::int64_t /*metaID*/) { return 0; }
std::int32_t COraMetaDataBase::mds_Add(std::int32_t /*schemaID*/, const char* /*name*/, const char* /*remark*/) { return 0; }
std::int32_t COraMetaDataBase::mds_Del(std::int32_t /*colID*/) { return GIS_SQL_ERROR; }
void COraMetaDataBase::OraGenGuid(int /*count*/, std::vector<std::int64_t>& /*ids*/) {}
std::int32_t COraMetaDataBase::GenerateNodeID(std::int32_t* /*id*/) { return 0; }
void COraMetaDataBase::SetNextSeqValue(std::int32_t /*increment*/) {}
std::int32_t COraMetaDataBase::schema_UpdateTime(std::int32_t /*schemaID*/) { return 0; }
std::int32_t COraMetaDataBase::mds_UpdateTime(std::int32_t /*colID*/) { return 0; }

extern "C" std::int32_t FindMtdbByMds(CBas_GDataBase* /*database*/, std::int32_t /*colID*/) {
  return 0;
}

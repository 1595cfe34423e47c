// The two abstract interfaces through which a host calls metashelf: a
// metadata catalog (CMetaDataBase_abs) and one metadata set, a collection
// (CMetaDataSet_abs). The order of the virtual operations is part of the
// binary interface and must not change.
//
// Results are std::int32_t: 1 success and 0 failure unless an operation says
// otherwise; `int` results are truth values. Record ids are std::int64_t.
#ifndef METASHELF_INTERFACES_H_
#define METASHELF_INTERFACES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/export.h"
#include "metashelf/records.h"
#include "metashelf/smart_array.h"

class CBas_GDataBase;
class CBlobData;
class CBaseMetaData;
class CMetadataSync;
class CSchema;

// The common root of both interfaces: what DeleteMdb/DeleteMds destroy.
// It adds nothing but the virtual destructor, which stays the first slot.
class METASHELF_API CMetaObject_abs {
 public:
  virtual ~CMetaObject_abs();
};

class METASHELF_API CMetaDataBase_abs : public CMetaObject_abs {
 public:
  ~CMetaDataBase_abs() override;

  virtual std::int32_t mtdb_Create(CBas_GDataBase* database, const char* name) = 0;
  virtual std::int32_t mtdb_Open(CBas_GDataBase* database, std::int32_t mtdbID,
                                 std::int32_t unused) = 0;
  virtual std::int32_t mtdb_Remove(CBas_GDataBase* database, std::int32_t mtdbID) = 0;
  virtual std::int32_t mtdb_Close() = 0;
  virtual int mtdb_HasOpened() = 0;

  virtual int schema_IsExist(const char* name) = 0;
  virtual std::int32_t schema_Add(const char* name, const char* schemaText,
                                  const char* remark) = 0;
  virtual std::int32_t schema_Del(std::int32_t schemaID) = 0;
  virtual std::int32_t schema_GetNum(std::int32_t* count) = 0;
  virtual std::int32_t schema_GetIDList(CSmartArray<std::int32_t>& ids) = 0;
  virtual std::int32_t schema_GetID(char* name, std::int32_t* schemaID) = 0;
  virtual std::int32_t schema_GetName(std::int32_t schemaID, char* buffer, short size) = 0;
  virtual std::int32_t schema_GetInfo(std::int32_t schemaID, X_CLS_SCHEMA* info) = 0;
  virtual std::int32_t schema_UpdateName(std::int32_t schemaID, char* name) = 0;
  virtual std::int32_t schema_UpdateRemark(std::int32_t schemaID, char* remark) = 0;
  virtual std::int32_t SetSchemaDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetSchemaDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetNodeInfo(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetNodeInfo(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetXPathDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetXPathDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetN2EMAP(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetN2EMAP(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t schema_SetPrivilege(std::int32_t a, std::int32_t b) = 0;

  virtual int mds_IsExist(const char* name) = 0;
  virtual std::int32_t mds_GetNum(std::int32_t* count, std::int32_t schemaID) = 0;
  virtual std::int32_t mds_GetNum(std::int32_t* count) = 0;
  virtual std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids, std::int32_t schemaID) = 0;
  virtual std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids) = 0;
  virtual std::int32_t mds_GetID(char* name, std::int32_t* colID) = 0;
  virtual std::int32_t mds_GetName(std::int32_t colID, char* buffer, short size) = 0;
  virtual std::int32_t mds_GetInfo(std::int32_t colID, X_CLS_MDS* info) = 0;
  virtual std::int32_t mds_UpdateName(std::int32_t colID, char* name) = 0;
  virtual std::int32_t mds_UpdateRemark(std::int32_t colID, char* remark) = 0;

  virtual std::int64_t meta_Add(std::int32_t colID, const char* remark) = 0;
  virtual std::int32_t meta_Del(std::int64_t metaID) = 0;
  virtual std::int32_t meta_GetNum(std::int32_t colID, std::int32_t* count) = 0;
  virtual std::int32_t meta_GetIDList(std::int32_t colID, CSmartArray<std::int64_t>& ids) = 0;
  virtual std::int32_t meta_GetInfo(std::int64_t metaID, X_CLS_METAINFO* info) = 0;
  virtual std::int32_t meta_UpdateRemark(std::int64_t metaID, char* remark) = 0;
  virtual std::int32_t meta_UpdateTime(std::int64_t metaID) = 0;
};

class METASHELF_API CMetaDataSet_abs : public CMetaObject_abs {
 public:
  ~CMetaDataSet_abs() override;

  virtual std::int32_t Create(CMetaDataBase_abs* catalog, std::int32_t schemaID,
                              const char* name, const char* remark) = 0;
  virtual std::int32_t Remove(CMetaDataBase_abs* catalog, std::int32_t colID) = 0;
  virtual std::int32_t Open(CMetaDataBase_abs* catalog, std::int32_t colID) = 0;
  virtual std::int32_t Close() = 0;
  virtual int HasOpened() = 0;
  virtual std::int32_t GetNum(std::int32_t* count) = 0;
  virtual std::int32_t GetIDList(CSmartArray<std::int64_t>& ids) = 0;
  virtual std::int64_t AddMetaData(CMetadataSync* sync) = 0;
  virtual std::int64_t AddMetaData(CBaseMetaData* record) = 0;
  virtual std::int32_t GetMetaData(std::int64_t metaID, CBaseMetaData* record) = 0;
  virtual std::int32_t UpdateMetaData(std::int64_t metaID, CMetadataSync* sync) = 0;
  virtual std::int32_t UpdateMetaData(std::int64_t metaID, CBaseMetaData* record) = 0;
  virtual std::int32_t DelMetaData(std::int64_t metaID) = 0;
  virtual std::int32_t GetCSchemaPtr(CSchema** schema) = 0;
  virtual std::int32_t GetMDSName(char* buffer, short size) = 0;
  virtual std::int32_t MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) = 0;
  virtual std::int32_t SearchMetaData(const std::string& expression,
                                      std::vector<SearchNode>& conditions,
                                      CSmartArray<std::int64_t>& ids) = 0;
  virtual std::int32_t GetNodeDataByGuid(std::int32_t nodeGUID, char kind, NodeDataStrcT* values,
                                         std::int32_t capacity) = 0;
  virtual std::int32_t AddMetaAdditional(std::int64_t metaID, char* data, std::int32_t length) = 0;
  virtual std::int32_t DelMetaAdditional(std::int64_t metaID) = 0;
  virtual std::int32_t UpdateMetaAdditional(std::int64_t metaID, char* data,
                                            std::int32_t length) = 0;
  virtual std::int32_t GetMetaAdditionalSize(std::int64_t metaID, std::int32_t& size) = 0;
  virtual std::int32_t GetMetaAdditional(std::int64_t metaID, char* buffer, std::int32_t size) = 0;
};

#endif  // METASHELF_INTERFACES_H_

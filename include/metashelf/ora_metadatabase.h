// COraMetaDataBase: the catalog handle. Its only data member is its context
// record; it works on the connection of the host's database object it was
// opened on and never commits or rolls back.
#ifndef METASHELF_ORA_METADATABASE_H_
#define METASHELF_ORA_METADATABASE_H_

#include <cstdint>
#include <vector>

#include "metashelf/driver.h"
#include "metashelf/export.h"
#include "metashelf/interfaces.h"

struct MtdbContext;

class METASHELF_API COraMetaDataBase : public CMetaDataBase_abs {
 public:
  COraMetaDataBase();
  ~COraMetaDataBase() override;
  // Two handles never share a context.
  COraMetaDataBase(const COraMetaDataBase&) = delete;
  COraMetaDataBase& operator=(const COraMetaDataBase&) = delete;

  std::int32_t mtdb_Create(CBas_GDataBase* database, const char* name) override;
  std::int32_t mtdb_Open(CBas_GDataBase* database, std::int32_t mtdbID,
                         std::int32_t unused) override;
  std::int32_t mtdb_Remove(CBas_GDataBase* database, std::int32_t mtdbID) override;
  std::int32_t mtdb_Close() override;
  int mtdb_HasOpened() override;

  int schema_IsExist(const char* name) override;
  std::int32_t schema_Add(const char* name, const char* schemaText, const char* remark) override;
  std::int32_t schema_Del(std::int32_t schemaID) override;
  std::int32_t schema_GetNum(std::int32_t* count) override;
  std::int32_t schema_GetIDList(CSmartArray<std::int32_t>& ids) override;
  std::int32_t schema_GetID(char* name, std::int32_t* schemaID) override;
  std::int32_t schema_GetName(std::int32_t schemaID, char* buffer, short size) override;
  std::int32_t schema_GetInfo(std::int32_t schemaID, X_CLS_SCHEMA* info) override;
  std::int32_t schema_UpdateName(std::int32_t schemaID, char* name) override;
  std::int32_t schema_UpdateRemark(std::int32_t schemaID, char* remark) override;
  std::int32_t SetSchemaDoc(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t GetSchemaDoc(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t SetNodeInfo(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t GetNodeInfo(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t SetXPathDoc(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t GetXPathDoc(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t SetN2EMAP(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t GetN2EMAP(std::int32_t schemaID, CBlobData* blob) override;
  std::int32_t schema_SetPrivilege(std::int32_t a, std::int32_t b) override;

  int mds_IsExist(const char* name) override;
  std::int32_t mds_GetNum(std::int32_t* count, std::int32_t schemaID) override;
  std::int32_t mds_GetNum(std::int32_t* count) override;
  std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids, std::int32_t schemaID) override;
  std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids) override;
  std::int32_t mds_GetID(char* name, std::int32_t* colID) override;
  std::int32_t mds_GetName(std::int32_t colID, char* buffer, short size) override;
  std::int32_t mds_GetInfo(std::int32_t colID, X_CLS_MDS* info) override;
  std::int32_t mds_UpdateName(std::int32_t colID, char* name) override;
  std::int32_t mds_UpdateRemark(std::int32_t colID, char* remark) override;

  std::int64_t meta_Add(std::int32_t colID, const char* remark) override;
  std::int32_t meta_Del(std::int64_t metaID) override;
  std::int32_t meta_GetNum(std::int32_t colID, std::int32_t* count) override;
  std::int32_t meta_GetIDList(std::int32_t colID, CSmartArray<std::int64_t>& ids) override;
  std::int32_t meta_GetInfo(std::int64_t metaID, X_CLS_METAINFO* info) override;
  std::int32_t meta_UpdateRemark(std::int64_t metaID, char* remark) override;
  std::int32_t meta_UpdateTime(std::int64_t metaID) override;

  // Registers a collection of schema `schemaID`; returns its new id, 0 on
  // failure.
  std::int32_t mds_Add(std::int32_t schemaID, const char* name, const char* remark);
  // Deletes a collection's registration; returns the driver's status (0 on
  // success), and 0 when no statement could be allocated.
  std::int32_t mds_Del(std::int32_t colID);
  // Stores the connection handle in `hdbc` and, when `owner` is not null,
  // copies the owner name (32 bytes with its NUL) into it.
  void GetOraBaseInfo(gis_SQLHDBC_STRU*& hdbc, char* owner);
  // The database's current date and time, read through the collection's
  // catalog row. 1/0.
  std::int32_t GetSysDateTime(OCIDate& date, std::int32_t colID);
  // Appends `count` fresh node identifiers to `ids`.
  void OraGenGuid(int count, std::vector<std::int64_t>& ids);

 private:
  std::int32_t GetLobLength(std::int32_t* length, const char* table, const char* column,
                            const char* keyColumn, std::int32_t key);
  std::int32_t GenerateNodeID(std::int32_t* id);
  void SetNextSeqValue(std::int32_t increment);
  std::int32_t schema_UpdateTime(std::int32_t schemaID);
  std::int32_t mds_UpdateTime(std::int32_t colID);

  friend struct CatalogAccess;  // the catalog's own translation units
  MtdbContext* ctx_;
};

#endif  // METASHELF_ORA_METADATABASE_H_

// COraMetaDataSet: the handle on one collection (metadata set). Its only
// data member is its context record. The catalog it was opened on must stay
// open and alive while the set is in use.
#ifndef METASHELF_ORA_METADATASET_H_
#define METASHELF_ORA_METADATASET_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/export.h"
#include "metashelf/interfaces.h"

struct MdsContext;

class METASHELF_API COraMetaDataSet : public CMetaDataSet_abs {
 public:
  COraMetaDataSet();
  ~COraMetaDataSet() override;
  COraMetaDataSet(const COraMetaDataSet&) = delete;
  COraMetaDataSet& operator=(const COraMetaDataSet&) = delete;

  std::int32_t Create(CMetaDataBase_abs* catalog, std::int32_t schemaID, const char* name,
                      const char* remark) override;
  std::int32_t Remove(CMetaDataBase_abs* catalog, std::int32_t colID) override;
  std::int32_t Open(CMetaDataBase_abs* catalog, std::int32_t colID) override;
  std::int32_t Close() override;
  int HasOpened() override;
  std::int32_t GetNum(std::int32_t* count) override;
  std::int32_t GetIDList(CSmartArray<std::int64_t>& ids) override;
  std::int64_t AddMetaData(CMetadataSync* sync) override;
  std::int64_t AddMetaData(CBaseMetaData* record) override;
  std::int32_t GetMetaData(std::int64_t metaID, CBaseMetaData* record) override;
  std::int32_t UpdateMetaData(std::int64_t metaID, CMetadataSync* sync) override;
  std::int32_t UpdateMetaData(std::int64_t metaID, CBaseMetaData* record) override;
  std::int32_t DelMetaData(std::int64_t metaID) override;
  std::int32_t GetCSchemaPtr(CSchema** schema) override;
  std::int32_t GetMDSName(char* buffer, short size) override;
  std::int32_t MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) override;
  std::int32_t SearchMetaData(const std::string& expression, std::vector<SearchNode>& conditions,
                              CSmartArray<std::int64_t>& ids) override;
  std::int32_t GetNodeDataByGuid(std::int32_t nodeGUID, char kind, NodeDataStrcT* values,
                                 std::int32_t capacity) override;
  std::int32_t AddMetaAdditional(std::int64_t metaID, char* data, std::int32_t length) override;
  std::int32_t DelMetaAdditional(std::int64_t metaID) override;
  std::int32_t UpdateMetaAdditional(std::int64_t metaID, char* data, std::int32_t length) override;
  std::int32_t GetMetaAdditionalSize(std::int64_t metaID, std::int32_t& size) override;
  std::int32_t GetMetaAdditional(std::int64_t metaID, char* buffer, std::int32_t size) override;

  // The owner name copied at Open (empty while closed).
  std::string GetOwner();
  // The collection id given to Open.
  std::int32_t GetMdsID();
  // The statement SearchMetaData would run for `expression` over
  // `conditions`: 1 with it in `sql`, or 0 with `sql` unchanged when the
  // request is refused. Runs nothing (the command-line tool shows it).
  std::int32_t BuildSearchSql(const std::string& expression,
                              const std::vector<SearchNode>& conditions, std::string& sql);

  // The value indexes, on (NODEGUID, NODEVALUE) of the collection's three
  // value tables. A large import may drop them, write its rows and restore
  // them once at the end: on SQLite, building an index over the rows is
  // cheaper than keeping it up to date row by row. Searches are correct
  // without them, only slower. Both run their statements on the catalog's
  // connection as they come, so call them outside a transaction (on
  // PostgreSQL a failed statement would abort the one open).
  //
  // Drops all three: 1 when each was dropped, 0 otherwise (those dropped
  // stay dropped until restored).
  std::int32_t DropValueIndexes();
  // Creates whichever of the three is missing (an import that ended before
  // restoring them leaves them missing): 1 when all three exist afterwards,
  // 0 otherwise. `created`, when not null, receives how many were made.
  std::int32_t RestoreValueIndexes(std::int32_t* created = nullptr);

  // AddMetaData with the record registered under `remark` in the same unit
  // of work (see metashelf/record_add.h).
  std::int64_t AddMetaDataWithRemark(CBaseMetaData* record, const char* remark);

 private:
  std::int32_t GetSchemaNameSize(std::int32_t& size);
  std::int32_t GetSchemaName(char* buffer, std::int32_t size);
  std::int32_t GetSysDateTime(OCIDate& date);
  std::int32_t InnerUpdateMetaData(std::int64_t metaID, CBaseMetaData* record, char flag);
  // The synchroniser's family code of the set's schema (0 when it has no name).
  char SchemaFamily();

  friend struct DataSetAccess;  // the set's own translation units
  MdsContext* ctx_;
};

#endif  // METASHELF_ORA_METADATASET_H_

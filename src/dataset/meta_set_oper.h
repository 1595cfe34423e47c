// COraMetaSetOper: every statement against the per-collection tables
// META_STRUCTINFO_<id>, META_NDTEXT_<id>, META_NDNUMBER_<id> and
// META_NDDATETIME_<id>. It moves documents in and out of BLOB columns,
// inserts and deletes single node-value rows, and turns a record's node rows
// back into CLeafNode objects. It knows nothing of records as objects.
//
// One instance exists per open set. Every operation allocates its own
// statement on the connection and frees it before returning; nothing is kept
// between calls. Results are 1 for success and 0 for failure. Arguments are
// always (collection id, record id, then the operation's own).
#ifndef METASHELF_SRC_DATASET_META_SET_OPER_H_
#define METASHELF_SRC_DATASET_META_SET_OPER_H_

#include <cstdint>

#include "catalog/mtdb_context.h"
#include "metashelf/driver.h"
#include "metashelf/model.h"
#include "metashelf/smart_array.h"

class COraMetaSetOper {
 public:
  // Copies at most 31 characters of `owner`; keeps `hdbc` and `schema`
  // without owning them. `schema` is read only by ReadNodeNumberList.
  COraMetaSetOper(const char* owner, gis_SQLHDBC_STRU* hdbc, CSchema* schema);
  virtual ~COraMetaSetOper();
  COraMetaSetOper(const COraMetaSetOper&) = delete;
  COraMetaSetOper& operator=(const COraMetaSetOper&) = delete;

  // Documents. InsertStructInfo makes the record's row with three empty
  // BLOBs and writes `document` into STRUCT_INFO; the two writes after it
  // fill PROLOG_INFO and LABEL_INFO of that row (0 when it does not exist).
  std::int32_t InsertStructInfo(std::int32_t mdsID, std::int64_t metaID, const char* document,
                                std::int32_t length);
  std::int32_t WritePrologInfo(std::int32_t mdsID, std::int64_t metaID, const char* document,
                               std::int32_t length);
  std::int32_t WriteValueLabel(std::int32_t mdsID, std::int64_t metaID, const char* document,
                               std::int32_t length);

  // Byte lengths of the documents: `length` is set to -1 first and stays so
  // when the record has no row (result 0).
  std::int32_t GetStructInfoLength(std::int32_t mdsID, std::int64_t metaID, std::int32_t* length);
  std::int32_t GetPrologInfoLength(std::int32_t mdsID, std::int64_t metaID, std::int32_t* length);
  std::int32_t GetValueLabelLength(std::int32_t mdsID, std::int64_t metaID, std::int32_t* length);

  // Read a whole document into `buffer` (at most `length` bytes) in one
  // fetch; no terminator is added.
  std::int32_t ReadStructInfo(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                              std::int32_t length);
  std::int32_t ReadPrologInfo(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                              std::int32_t length);
  std::int32_t ReadValueLabel(std::int32_t mdsID, std::int64_t metaID, char* buffer,
                              std::int32_t length);

  std::int32_t DeleteStructInfo(std::int32_t mdsID, std::int64_t metaID);

  // One node-value row each. A text value of 0 bytes is stored as NULL; a
  // text over 4000 bytes, a NaN or infinite number and a date that is not
  // YYYY-MM-DD are refused (0) before any statement is issued. Quotes in
  // text values are doubled, so the value is stored as given.
  std::int32_t InsertNodeText(std::int32_t mdsID, std::int64_t metaID, std::int32_t guid,
                              std::int32_t position, const char* value);
  std::int32_t InsertNodeNumber(std::int32_t mdsID, std::int64_t metaID, std::int32_t guid,
                                std::int32_t position, double value);
  // Stores NULL in NODEVALUE (an empty value on a number node).
  std::int32_t InsertNodeNumberNull(std::int32_t mdsID, std::int64_t metaID, std::int32_t guid,
                                    std::int32_t position);
  std::int32_t InsertNodeDateTime(std::int32_t mdsID, std::int64_t metaID, std::int32_t guid,
                                  std::int32_t position, const char* value);

  std::int32_t DeleteNodeText(std::int32_t mdsID, std::int64_t metaID);
  std::int32_t DeleteNodeNumber(std::int32_t mdsID, std::int64_t metaID);
  std::int32_t DeleteNodeDateTime(std::int32_t mdsID, std::int64_t metaID);

  // Append one new CLeafNode per row of the record in that table, in the
  // order the database returns the rows; the nodes belong to the caller. The
  // list is appended to, never cleared. 1 when every row was read.
  std::int32_t ReadNodeTextList(std::int32_t mdsID, std::int64_t metaID,
                                CSmartArray<CLeafNode*>& list);
  std::int32_t ReadNodeNumberList(std::int32_t mdsID, std::int64_t metaID,
                                  CSmartArray<CLeafNode*>& list);
  std::int32_t ReadNodeDateTimeList(std::int32_t mdsID, std::int64_t metaID,
                                    CSmartArray<CLeafNode*>& list);

  // Runs a caller's SELECT whose first column yields record ids and appends
  // the ids to `ids` in delivery order. 1 when every row was read; 0 on any
  // failure, `ids` then as it was.
  std::int32_t QueryMetaIDs(const char* sql, CSmartArray<std::int64_t>& ids);

 private:
  char owner_[kOwnerSize];
  gis_SQLHDBC_STRU* hdbc_;
  CSchema* schema_;
};

#endif  // METASHELF_SRC_DATASET_META_SET_OPER_H_

// The two abstract interfaces through which a host calls metashelf: a
// metadata catalog (CMetaDataBase_abs) and one metadata set, a collection
// (CMetaDataSet_abs). The order of the virtual operations is part of the
// binary interface and must not change.
//
// Results are std::int32_t: 1 success and 0 failure unless an operation says
// otherwise; `int` results are truth values. Record ids are std::int64_t.
//
// What holds for every operation below:
// - No exception leaves an operation; a null pointer argument is a failure.
// - The library never commits or rolls back the host's transaction. An
//   operation that writes (marked "all-or-nothing") runs as one unit of
//   work nested in whatever the host has open: on failure every table is as
//   it was before the call, and the host's own earlier work is untouched.
// - Pointers and buffers the caller passes stay the caller's; nothing is
//   kept after the call returns unless an operation says so.
// - Names and texts go into statements as literals with every quote
//   doubled: no argument can change a statement's shape.
// - A catalog operation on a closed handle fails (its statement cannot be
//   allocated) and changes nothing.
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

  // Asks `database` to create a catalog named `name` and returns the
  // database object's own result unchanged (0 when `database` is null). The
  // handle's state is not touched: open the new catalog with mtdb_Open.
  virtual std::int32_t mtdb_Create(CBas_GDataBase* database, const char* name) = 0;
  // Opens catalog `mtdbID` of `database` (which must be the host's
  // Cora_IDataBase; not owned, it must outlive the open catalog). Returns 1
  // when open, -1 when `database` is null or does not know the catalog, 0
  // when the catalog's owner name has 32 characters or more (refused, never
  // cut) or the database object has no connection. The third argument is
  // ignored. On failure the handle is not open for the new catalog; fields of
  // a catalog opened before may be overwritten, so close and reopen it.
  virtual std::int32_t mtdb_Open(CBas_GDataBase* database, std::int32_t mtdbID,
                                 std::int32_t unused) = 0;
  // Removes catalog `mtdbID`: opens it on this handle, deletes its schemas,
  // then asks `database` to delete the catalog. All-or-nothing. Returns 0 and
  // deletes nothing when the catalog cannot be opened, still holds a
  // collection, or any step fails; otherwise the database object's deletion
  // result (1). The handle is left open on the removed catalog's owner: close
  // it afterwards.
  virtual std::int32_t mtdb_Remove(CBas_GDataBase* database, std::int32_t mtdbID) = 0;
  // Forgets the open catalog (no statement is issued); always 1. Sets made
  // from this catalog keep what they loaded but must not be used to write.
  virtual std::int32_t mtdb_Close() = 0;
  // 1 while a catalog is open on this handle, else 0.
  virtual int mtdb_HasOpened() = 0;

  // 1 when the open catalog holds a schema named exactly `name`, 0 when it
  // does not or the question could not be asked (closed handle, null name,
  // failed statement).
  virtual int schema_IsExist(const char* name) = 0;
  // Registers a schema: parses `schemaText` (the schema text of a metadata
  // standard), draws node ids for it, writes the catalog row and its four
  // documents (schema document, node information, XPath document, and an
  // empty node-to-element map). `remark` may be null (stored empty).
  // All-or-nothing. Returns the new schema id (>= 1); 0 when the catalog is
  // not open, a schema of that name exists, the text does not parse, no free
  // id is available or any statement fails. The texts are only read.
  virtual std::int32_t schema_Add(const char* name, const char* schemaText,
                                  const char* remark) = 0;
  // Deletes schema `schemaID`'s catalog row with its documents. 1 when the
  // deletion ran (also when no such schema existed), 0 when it failed.
  // All-or-nothing. Collections of the schema are not checked or removed:
  // remove them first (mtdb_Remove does that check).
  virtual std::int32_t schema_Del(std::int32_t schemaID) = 0;
  // Stores the number of schemas of the open catalog in `*count` and
  // returns 1. Returns 0 when the catalog is not open, `count` is null or the
  // count fails; `*count` is then 0 (or untouched when the handle is closed).
  virtual std::int32_t schema_GetNum(std::int32_t* count) = 0;
  // Appends the ids of the open catalog's schemas to `ids` (never cleared).
  // Returns 1 when the whole list was read; 0 when the catalog holds no
  // schema, is not open, or a statement fails (ids appended before a failing
  // fetch stay in `ids`).
  virtual std::int32_t schema_GetIDList(CSmartArray<std::int32_t>& ids) = 0;
  // Looks up the schema named `name` in the open catalog. 1 when a row was
  // found and its id written to `*schemaID`; 0 otherwise (`*schemaID` then
  // holds no meaningful id). `name` is only read.
  virtual std::int32_t schema_GetID(char* name, std::int32_t* schemaID) = 0;
  // Copies schema `schemaID`'s name into `buffer` of `size` bytes, cut to
  // fit with its NUL. 1 when the row was found; 0 otherwise, with an empty
  // text in `buffer` (when `size` > 0).
  virtual std::int32_t schema_GetName(std::int32_t schemaID, char* buffer, short size) = 0;
  // Fills `*info` with schema `schemaID`'s catalog row (texts cut to their
  // fields). `*info` is zeroed first; on failure (no such schema, closed
  // handle) it holds only `schemaID` and 0 is returned.
  virtual std::int32_t schema_GetInfo(std::int32_t schemaID, X_CLS_SCHEMA* info) = 0;
  // Renames schema `schemaID` to `name` and, when that succeeded, stamps its
  // modification time. 1 when the rename ran (a missing schema is not
  // detected), 0 when `name` is null or the statement failed. A name already
  // used by another schema is not refused here: test with schema_IsExist.
  virtual std::int32_t schema_UpdateName(std::int32_t schemaID, char* name) = 0;
  // Replaces schema `schemaID`'s remark and stamps its modification time;
  // results as schema_UpdateName.
  virtual std::int32_t schema_UpdateRemark(std::int32_t schemaID, char* remark) = 0;
  // The four documents of a schema row, stored and read whole. A Set writes
  // all bytes of `blob` (its data is copied; the blob stays the caller's)
  // into the row of `schemaID`: 1 when the update ran, 0 otherwise. A Get
  // reads the whole document into `blob` (replacing its data): 1 when a
  // document of at least one byte was read; 0 when the schema is missing,
  // the document is empty or NULL, or a statement fails (the blob is then
  // left as it was). The node-to-element map is the schema-specific mapping
  // used when records are synchronised from the host's element model.
  virtual std::int32_t SetSchemaDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetSchemaDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetNodeInfo(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetNodeInfo(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetXPathDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetXPathDoc(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t SetN2EMAP(std::int32_t schemaID, CBlobData* blob) = 0;
  virtual std::int32_t GetN2EMAP(std::int32_t schemaID, CBlobData* blob) = 0;
  // Privileges belong to the database: changes nothing and returns 0.
  virtual std::int32_t schema_SetPrivilege(std::int32_t a, std::int32_t b) = 0;

  // 1 when any collection of the catalog owner is named exactly `name`
  // (collection names are unique per owner, across its catalogs), else 0.
  virtual int mds_IsExist(const char* name) = 0;
  // Stores the number of collections of schema `schemaID` in `*count`; 1
  // when counted, 0 on failure or a null `count`.
  virtual std::int32_t mds_GetNum(std::int32_t* count, std::int32_t schemaID) = 0;
  // Stores the number of collections over all schemas of the open catalog
  // in `*count`. 1 when every schema was counted; 0 when the catalog holds
  // no schema or a count failed (`*count` then holds no meaningful total).
  virtual std::int32_t mds_GetNum(std::int32_t* count) = 0;
  // Appends the collection ids of schema `schemaID` to `ids` (never
  // cleared). 1 when the list was read whole, 0 when the schema has no
  // collection or a statement failed.
  virtual std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids, std::int32_t schemaID) = 0;
  // Appends the collection ids of every schema of the open catalog, schema
  // by schema. 1 when all lists were read; 0 when the catalog holds no
  // schema, or when a schema's list is empty or fails (the ids appended so
  // far stay; later schemas are not read).
  virtual std::int32_t mds_GetIDList(CSmartArray<std::int32_t>& ids) = 0;
  // Looks up the collection named `name`: 1 when a row was found and its id
  // written to `*colID`, 0 otherwise.
  virtual std::int32_t mds_GetID(char* name, std::int32_t* colID) = 0;
  // Copies collection `colID`'s name into `buffer` of `size` bytes, cut to
  // fit with its NUL. 1 when a row was fetched, 0 otherwise (also for a null
  // buffer or `size` < 1).
  virtual std::int32_t mds_GetName(std::int32_t colID, char* buffer, short size) = 0;
  // Fills `*info` (zeroed first) with collection `colID`'s catalog row. 1
  // when found; 0 otherwise, with `*info` left zeroed.
  virtual std::int32_t mds_GetInfo(std::int32_t colID, X_CLS_MDS* info) = 0;
  // Renames collection `colID` (uniqueness is not checked here: test with
  // mds_IsExist) and stamps its modification time. 1 when the rename ran, 0
  // when `name` is null or the statement failed.
  virtual std::int32_t mds_UpdateName(std::int32_t colID, char* name) = 0;
  // Replaces collection `colID`'s remark and stamps its modification time;
  // results as mds_UpdateName.
  virtual std::int32_t mds_UpdateRemark(std::int32_t colID, char* remark) = 0;

  // Registers a record in collection `colID` (catalog row only: the set's
  // AddMetaData calls this and writes the record's rows). `remark` may be
  // null. Returns the new record id (>= 1), or 0 when no free id is
  // available or the statement fails. An id drawn for a failed call is not
  // reused.
  virtual std::int64_t meta_Add(std::int32_t colID, const char* remark) = 0;
  // Deletes record `metaID`'s catalog row (not its rows in the collection:
  // use the set's DelMetaData). The deletion runs once: 1 when it ran (also
  // when the row was already gone), 0 when it failed.
  virtual std::int32_t meta_Del(std::int64_t metaID) = 0;
  // Stores the number of records of collection `colID` in `*count`; 1 when
  // counted. 0 when the catalog is not open, `count` is null or the count
  // fails (`*count` is then 0 when it could be written).
  virtual std::int32_t meta_GetNum(std::int32_t colID, std::int32_t* count) = 0;
  // Appends collection `colID`'s record ids, in ascending order, to `ids`
  // (never cleared). 1 when read whole (an empty collection gives 1 and adds
  // nothing); 0 when the catalog holds no collection at all or a statement
  // fails.
  virtual std::int32_t meta_GetIDList(std::int32_t colID, CSmartArray<std::int64_t>& ids) = 0;
  // Fills `*info` (zeroed first) with record `metaID`'s catalog row, dates
  // packed as described in records.h. 1 when found; 0 otherwise, with only
  // `metaID` (and whatever the failed fetch wrote) in `*info`.
  virtual std::int32_t meta_GetInfo(std::int64_t metaID, X_CLS_METAINFO* info) = 0;
  // Replaces record `metaID`'s remark and stamps its modification time. 1
  // when the update ran, 0 when `remark` is null or the statement failed.
  virtual std::int32_t meta_UpdateRemark(std::int64_t metaID, char* remark) = 0;
  // Stamps record `metaID`'s modification time with the database's clock.
  // 1 when the statement ran, 0 otherwise.
  virtual std::int32_t meta_UpdateTime(std::int64_t metaID) = 0;
};

class METASHELF_API CMetaDataSet_abs : public CMetaObject_abs {
 public:
  ~CMetaDataSet_abs() override;

  // `catalog` must be a catalog object made by NewMdb and opened; it is
  // not owned and must outlive every call that takes it (and, for Open, the
  // open set).
  //
  // Registers a collection named `name` of schema `schemaID` in `catalog`
  // and creates its five tables with their indexes. All-or-nothing. Returns
  // the new collection id (>= 1); 0 when the name is taken, no id is free or
  // any statement fails (then no registration and no table is left). Does
  // not open the set.
  virtual std::int32_t Create(CMetaDataBase_abs* catalog, std::int32_t schemaID,
                              const char* name, const char* remark) = 0;
  // Drops collection `colID`'s tables, its records' catalog rows and its
  // registration. All-or-nothing. 1 when everything went; 0 otherwise (the
  // collection is then left as it was). Tables that were never made do not
  // count as a failure. Remove the open collection only after Close.
  virtual std::int32_t Remove(CMetaDataBase_abs* catalog, std::int32_t colID) = 0;
  // Binds the set to collection `colID` of `catalog` and loads its schema
  // from the catalog's documents. Whatever an earlier Open loaded is released
  // first. 1 when open; 0 when `catalog` is not an open catalog object, the
  // collection or its schema documents cannot be read, or memory runs out
  // (the set is then closed).
  virtual std::int32_t Open(CMetaDataBase_abs* catalog, std::int32_t colID) = 0;
  // Releases the loaded schema and row operations; 1 (0 only for a set
  // that could not be constructed). The collection id and catalog are
  // remembered, so the attachment calls still address the last collection.
  virtual std::int32_t Close() = 0;
  // 1 while the set is open, else 0.
  virtual int HasOpened() = 0;
  // Record count and record ids of the open collection, as meta_GetNum and
  // meta_GetIDList of its catalog (ids appended, never cleared). 0 when the
  // set is not open.
  virtual std::int32_t GetNum(std::int32_t* count) = 0;
  virtual std::int32_t GetIDList(CSmartArray<std::int64_t>& ids) = 0;
  // Adds a record. The CMetadataSync form first builds the record from the
  // host's element model through the schema's family (FGDC, ISO, or the
  // schema's node-to-element map); then both forms behave alike. The record
  // is examined whole before anything is written: a value that does not fit
  // its node (text over 4000 bytes, a number node value that is not a
  // number, an impossible date) or a record none of whose values has a place
  // in the schema is refused. All-or-nothing: registration, rows and search
  // entries are written together or not at all.
  // Returns the new record id (>= 1); 0 when the record is refused or a
  // write fails; -1 when the set is not open or the catalog issued no id.
  // The argument stays the caller's and is only read.
  virtual std::int64_t AddMetaData(CMetadataSync* sync) = 0;
  virtual std::int64_t AddMetaData(CBaseMetaData* record) = 0;
  // Reads record `metaID` back whole into `*record` (which must have been
  // made for this set's schema, see GetCSchemaPtr). 1 only when the record
  // was read whole; 0 when the set is not open, the open collection does not
  // hold `metaID`, or any read fails. On 0 `*record` may hold part of the
  // record: discard it.
  virtual std::int32_t GetMetaData(std::int64_t metaID, CBaseMetaData* record) = 0;
  // Replaces record `metaID` (of the open collection only) by a new
  // content, keeping its id; the CMetadataSync form applies the host's
  // changes to the stored record first. The new record is examined before
  // anything is written (as AddMetaData): an invalid one leaves the stored
  // record as it was. All-or-nothing. 1 when replaced; 0 when refused, when
  // the collection does not hold `metaID` or a write fails; the
  // CBaseMetaData form returns -1 when the set is not open (the
  // CMetadataSync form returns 0).
  virtual std::int32_t UpdateMetaData(std::int64_t metaID, CMetadataSync* sync) = 0;
  virtual std::int32_t UpdateMetaData(std::int64_t metaID, CBaseMetaData* record) = 0;
  // Deletes record `metaID` of the open collection: its catalog row, its
  // rows and its attachment. All-or-nothing. 1 when deleted; 0 when the set
  // is not open, the collection does not hold `metaID` or any statement
  // fails (nothing is then deleted).
  virtual std::int32_t DelMetaData(std::int64_t metaID) = 0;
  // Stores the open set's schema object in `*schema` and returns 1; 0 when
  // no schema is loaded. The schema stays owned by the set and lives until
  // Close, the next Open or the set's destruction.
  virtual std::int32_t GetCSchemaPtr(CSchema** schema) = 0;
  // Copies the collection's name into `buffer` of `size` bytes, as
  // mds_GetName of the catalog.
  virtual std::int32_t GetMDSName(char* buffer, short size) = 0;
  // Runs the caller's complete SELECT `sql`, whose first column yields
  // record ids, on the set's connection and appends the ids in delivery
  // order to `ids` (never cleared). The text is the caller's responsibility:
  // it runs as given, so never build it from untrusted input. 1 when the
  // statement ran and every row was read (also for no rows); 0 when the set
  // is not open or any driver call fails (`ids` then holds what it held
  // before).
  virtual std::int32_t MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) = 0;
  // Searches the open collection. `conditions` are numbered by `condID`;
  // each compares the values of the schema node at `nodePath` with `op`
  // (=, <>, !=, <, <=, >, >=, like, between; `between` uses value1 and
  // value2); the node's type in the schema decides whether values compare as
  // texts, numbers or YYYY-MM-DD dates. `expression` combines the
  // condition numbers with "and", "or" and parentheses. Values are literals:
  // quotes are doubled, and `%` and `_` in a `like` value match themselves.
  // Appends the matching record ids to `ids` (never cleared); 1 when the
  // search ran (also with no match). 0 with nothing appended when the set
  // is not open, the expression or a condition is malformed (unknown number, node path, table
  // type or operator; a value its node cannot take; `like` on a non-text
  // node) or a statement fails. `conditions` is only read.
  virtual std::int32_t SearchMetaData(const std::string& expression,
                                      std::vector<SearchNode>& conditions,
                                      CSmartArray<std::int64_t>& ids) = 0;
  // Reads every stored value of schema node `nodeGUID` across the
  // collection into `values[0..capacity)`, in record id order. `kind` is 1
  // text, 2 number, 3 date (YYYY-MM-DD text); only that field of each element
  // is filled (texts cut at a UTF-8 character boundary to fit). Values come
  // in blocks of 100: a block that does not fit whole in what is left of
  // `capacity` is not copied and reading stops there, still with 1; a
  // negative capacity counts as 0. Elements after the last one written are
  // not touched: zero the array first to count them. Returns 0 for a bad
  // `kind`, a null array, a set never opened, or a failed statement (the
  // elements filled before the failure stay).
  virtual std::int32_t GetNodeDataByGuid(std::int32_t nodeGUID, char kind, NodeDataStrcT* values,
                                         std::int32_t capacity) = 0;
  // A record's attachment: one opaque block of bytes kept with the record
  // in the collection last opened (open or closed since), only for records
  // that collection holds. Add stores `length` bytes of `data` (copied) for
  // a record that has none; Update replaces the bytes of an existing
  // attachment; Del removes it (1 also when there was none). Add once per
  // record: a second Add is not refused and leaves a second block that no
  // read distinguishes, so replace with Update. Each write is
  // all-or-nothing: 1 when done, 0 when the collection does not hold
  // `metaID` or a statement fails (the attachment is then as it was).
  virtual std::int32_t AddMetaAdditional(std::int64_t metaID, char* data, std::int32_t length) = 0;
  virtual std::int32_t DelMetaAdditional(std::int64_t metaID) = 0;
  virtual std::int32_t UpdateMetaAdditional(std::int64_t metaID, char* data,
                                            std::int32_t length) = 0;
  // Stores the attachment's size in bytes in `size` (0 first, and 0 for an
  // empty attachment); 1 when it was read, 0 when the record has no
  // attachment, is not the collection's, or the statement fails.
  virtual std::int32_t GetMetaAdditionalSize(std::int64_t metaID, std::int32_t& size) = 0;
  // Reads the whole attachment into `buffer`, which must hold `size` bytes,
  // `size` being what GetMetaAdditionalSize reported. 1 when the bytes were
  // read; 0 otherwise (the buffer's content is then unspecified).
  virtual std::int32_t GetMetaAdditional(std::int64_t metaID, char* buffer, std::int32_t size) = 0;
};

#endif  // METASHELF_INTERFACES_H_

// The host's database object as the catalog sees it: CBas_GDataBase (catalog
// registry) together with Cora_IDataBase (connection handle and free ids).
// A concrete database object derives from both; the catalog receives it as a
// CBas_GDataBase* and reaches the other side with dynamic_cast.
#ifndef METASHELF_HOST_DATABASE_H_
#define METASHELF_HOST_DATABASE_H_

#include <cstdint>

#include "metashelf/driver.h"
#include "metashelf/export.h"

// Size of the catalog lookup record, and where the owner name stands in it.
constexpr int kMtdbInfoRecordSize = 166;
constexpr int kMtdbInfoOwnerOffset = 132;

// The connection object that FindMtdbByMds asks for its handle.
class METASHELF_API Cora_IConnection {
 public:
  virtual ~Cora_IConnection();
  // Returns the statement connection handle when asked with (0, -1, 0, 0);
  // null when there is none.
  virtual gis_SQLHDBC_STRU* GetHandle(int a, int b, int c, int d) = 0;
};

class METASHELF_API Cora_IDataBase {
 public:
  virtual ~Cora_IDataBase();
  // The connection handle on which every statement runs; null when closed.
  virtual gis_SQLHDBC_STRU* HDBC() = 0;
  // A free identifier for a new schema, collection or record: unique and
  // never handed out twice, even across rollbacks and processes. 0 on failure.
  virtual std::int32_t db_GetFreeXCLSID() = 0;
};

class METASHELF_API CBas_GDataBase {
 public:
  virtual ~CBas_GDataBase();

  // Catalog lookup. `record` is kMtdbInfoRecordSize bytes that the caller has
  // zero-filled. Returns 1 or more when the catalog exists and then leaves
  // the NUL-terminated owner name at kMtdbInfoOwnerOffset; below 1 otherwise.
  virtual int db_GetMtdbInfo(std::int32_t mtdbID, unsigned char* record) = 0;

  // Creates a catalog called `name` and returns its id (> 0), or a value
  // below 1 on failure.
  virtual std::int32_t db_CreateMtdb(const char* name) = 0;

  // Deletes the catalog registration `mtdbID`; 1 on success, below 1 on
  // failure.
  virtual std::int32_t db_DeleteMtdb(std::int32_t mtdbID) = 0;

  // The connection object; null when there is none.
  virtual Cora_IConnection* db_GetConnection() = 0;

  // The owner name the connection works as (the database user); never null.
  virtual const char* db_GetOwner() = 0;
};

#endif  // METASHELF_HOST_DATABASE_H_

// MtdbContext: the state of one catalog handle. Zero-filled at construction
// and again by mtdb_Close.
#ifndef METASHELF_SRC_CATALOG_MTDB_CONTEXT_H_
#define METASHELF_SRC_CATALOG_MTDB_CONTEXT_H_

#include <cstdint>

#include "metashelf/driver.h"

class CBas_GDataBase;

// Owner names hold at most 31 characters plus the NUL.
constexpr int kOwnerSize = 32;

struct MtdbContext {
  std::int32_t opened;       // 1 after a successful mtdb_Open
  char owner[kOwnerSize];    // owner of the catalog objects, NUL-terminated
  gis_SQLHDBC_STRU* hdbc;    // connection handle; not owned
  std::int32_t mtdbID;       // the open catalog's id
  CBas_GDataBase* database;  // the host's database object; not owned
};

#endif  // METASHELF_SRC_CATALOG_MTDB_CONTEXT_H_

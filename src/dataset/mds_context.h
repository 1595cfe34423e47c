// MdsContext: the state of one set handle.
#ifndef METASHELF_SRC_DATASET_MDS_CONTEXT_H_
#define METASHELF_SRC_DATASET_MDS_CONTEXT_H_

#include <cstdint>
#include <memory>

#include "catalog/mtdb_context.h"
#include "metashelf/driver.h"

class CMetaDataBase_abs;
class COraMetaSetOper;
class CSchema;

namespace metashelf {
namespace search {
struct WritePath;
// Frees what the write path keeps where its type is known (search_index.cpp).
struct WritePathRelease {
  void operator()(WritePath* path) const;
};
}  // namespace search
}  // namespace metashelf

struct MdsContext {
  CMetaDataBase_abs* mdb = nullptr;  // catalog given to Open; not owned
  char owner[kOwnerSize] = {};       // owner name copied at Open
  gis_SQLHDBC_STRU* hdbc = nullptr;  // the catalog's connection; not owned
  std::int32_t mdsID = 0;            // collection id given to Open
  COraMetaSetOper* oper = nullptr;   // row operations; owned
  CSchema* schema = nullptr;         // the collection's schema; owned
  int opened = 0;                    // 1 once Open has fully succeeded
  // Whether the collection's search indexes exist, as last read on the
  // connection, and the gis_SQLShapeSerial it was read under (0: not read).
  std::uint64_t searchIndexSerial = 0;
  bool searchIndexPresent = false;
  // Whether writes keep only the indexes' rows (their indexes wait for the
  // end of an import), read with searchIndexPresent.
  bool searchRowsOnly = false;
  // The search indexes' write path (the schema's facts, the index object
  // with the inserts it prepared), made at first use; released by Close.
  std::unique_ptr<metashelf::search::WritePath, metashelf::search::WritePathRelease> searchWrites;
};

#endif  // METASHELF_SRC_DATASET_MDS_CONTEXT_H_

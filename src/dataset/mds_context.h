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
class SearchIndex;
// Frees a search index object where its class is known (search_index.cpp).
struct SearchIndexRelease {
  void operator()(SearchIndex* index) const;
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
  // The collection's search index object of the write path, made at first
  // use and kept, with the inserts it prepared, while the connection's
  // shape serial stays the one it was made under; released by Close.
  std::unique_ptr<metashelf::search::SearchIndex, metashelf::search::SearchIndexRelease>
      searchIndex;
  std::uint64_t searchIndexMadeUnder = 0;
};

#endif  // METASHELF_SRC_DATASET_MDS_CONTEXT_H_

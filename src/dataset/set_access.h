// The door from the library's own files (the scored search, the exported
// value-index functions, unit tests) into a set's context: the public class
// keeps its context private and names this one struct its friend, so no
// other code can reach it.
#ifndef METASHELF_SRC_DATASET_SET_ACCESS_H_
#define METASHELF_SRC_DATASET_SET_ACCESS_H_

#include "dataset/mds_context.h"
#include "metashelf/ora_metadataset.h"

struct DataSetAccess {
  static MdsContext* Context(COraMetaDataSet& set) { return set.ctx_; }

  // `set` when it is a set of this library that is open; null otherwise
  // (another implementation of the interface, a set never opened or closed
  // again).
  static COraMetaDataSet* Opened(CMetaDataSet_abs* set);
};

#endif  // METASHELF_SRC_DATASET_SET_ACCESS_H_

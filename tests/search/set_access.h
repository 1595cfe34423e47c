// Test access to a set's context, so that unit tests can put a set in the
// state Open leaves it in (owner, connection, collection id, schema) without
// a catalog behind it.
#ifndef METASHELF_TESTS_SEARCH_SET_ACCESS_H_
#define METASHELF_TESTS_SEARCH_SET_ACCESS_H_

#include <cstring>
#include <string>

#include "dataset/set_access.h"

// The state of a set opened on `hdbc` for collection `mdsID` of `owner`.
inline void FillSetContext(COraMetaDataSet& set, gis_SQLHDBC_STRU* hdbc, const std::string& owner,
                           std::int32_t mdsID, CSchema* schema = nullptr) {
  MdsContext& ctx = *DataSetAccess::Context(set);
  std::strncpy(ctx.owner, owner.c_str(), sizeof ctx.owner - 1);
  ctx.hdbc = hdbc;
  ctx.mdsID = mdsID;
  ctx.schema = schema;
}

// Hands the schema back to the test before the set is destroyed.
inline void ReleaseSetSchema(COraMetaDataSet& set) {
  DataSetAccess::Context(set)->schema = nullptr;
}

#endif  // METASHELF_TESTS_SEARCH_SET_ACCESS_H_

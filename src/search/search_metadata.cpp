// Searching a set: MetaSearch hands a caller's own id query to the set's
// row operations.
#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "metashelf/ora_metadataset.h"

std::int32_t COraMetaDataSet::MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) {
  if (ctx_ == nullptr || ctx_->oper == nullptr) return 0;
  return ctx_->oper->QueryMetaIDs(sql, ids);
}

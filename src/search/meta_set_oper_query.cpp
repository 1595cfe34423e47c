// COraMetaSetOper::QueryMetaIDs: the row operations' id query, run on the
// set's connection for MetaSearch.
#include "dataset/meta_set_oper.h"
#include "search/id_query.h"

std::int32_t COraMetaSetOper::QueryMetaIDs(const char* sql, CSmartArray<std::int64_t>& ids) {
  return metashelf::search::RunIdQuery(hdbc_, sql, ids);
}

// Searching a set: SearchMetaData builds the statement of an expression and
// its conditions and runs it; MetaSearch hands a caller's own id query to
// the set's row operations.
#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadataset.h"
#include "search/id_query.h"
#include "search/query_builder.h"

std::int32_t COraMetaDataSet::SearchMetaData(const std::string& expression,
                                             std::vector<SearchNode>& conditions,
                                             CSmartArray<std::int64_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr) return 0;
    try {
      CQueryBuilder builder(this);
      std::string sql;
      if (builder.BuildSql(expression, conditions, sql) == 0) return 0;
      return metashelf::search::RunIdQuery(ctx_->hdbc, sql.c_str(), ids);
    } catch (...) {  // memory exhausted before the statement ran
      return 0;
    }
  });
}

std::int32_t COraMetaDataSet::MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->oper == nullptr) return 0;
    return ctx_->oper->QueryMetaIDs(sql, ids);
  });
}

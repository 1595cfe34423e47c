// Searching a set: SearchMetaData builds the statement of an expression and
// its conditions and runs it; BuildSearchSql gives that statement without
// running it; MetaSearch hands a caller's own id query to the set's row
// operations. The statement itself is written by the search layer's query
// builder; the set only supplies its connection and runs the ids.
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
    CQueryBuilder builder(this);
    std::string sql;
    if (builder.BuildSql(expression, conditions, sql) == 0) return 0;
    return metashelf::search::RunIdQuery(ctx_->hdbc, sql.c_str(), ids);
  });
}

std::int32_t COraMetaDataSet::BuildSearchSql(const std::string& expression,
                                             const std::vector<SearchNode>& conditions,
                                             std::string& sql) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr) return 0;
    CQueryBuilder builder(this);
    return builder.BuildSql(expression, conditions, sql);
  });
}

std::int32_t COraMetaDataSet::MetaSearch(const char* sql, CSmartArray<std::int64_t>& ids) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr || ctx_->oper == nullptr) return 0;
    return ctx_->oper->QueryMetaIDs(sql, ids);
  });
}

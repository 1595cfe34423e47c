// BuildSearchSql: the statement of a search request without running it, for
// hosts that show what they ask (the command-line tool's --sql).
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadataset.h"
#include "search/query_builder.h"

std::int32_t COraMetaDataSet::BuildSearchSql(const std::string& expression,
                                             const std::vector<SearchNode>& conditions,
                                             std::string& sql) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr) return 0;
    CQueryBuilder builder(this);
    return builder.BuildSql(expression, conditions, sql);
  });
}

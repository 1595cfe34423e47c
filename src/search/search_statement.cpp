// BuildSearchSql: the statement of a search request without running it, for
// hosts that show what they ask (the command-line tool's --sql).
#include "metashelf/ora_metadataset.h"
#include "search/query_builder.h"

std::int32_t COraMetaDataSet::BuildSearchSql(const std::string& expression,
                                             const std::vector<SearchNode>& conditions,
                                             std::string& sql) {
  if (ctx_ == nullptr) return 0;
  CQueryBuilder builder(this);
  return builder.BuildSql(expression, conditions, sql);
}

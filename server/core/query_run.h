// One search over one or more collections, as both protocols ask it: a
// constraint, an optional sort key, and a page (first position and size).
// The matches are counted over all the collections; only the page's
// records are read.
#ifndef METASHELF_SERVER_CORE_QUERY_RUN_H_
#define METASHELF_SERVER_CORE_QUERY_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/catalog_pool.h"
#include "core/filter.h"
#include "core/filter_eval.h"

namespace metashelf::server {

struct SortKey {
  std::string property;  // a queryable; empty: collection, then record id
  bool descending = false;
};

struct QueryRequest {
  std::vector<OpenCollection*> collections;
  Filter filter;
  std::vector<SortKey> sort;
  std::int64_t offset = 0;  // records skipped
  std::int64_t limit = 10;  // records returned at most (0: count only)
};

struct QueryHit {
  OpenCollection* collection = nullptr;
  std::int64_t id = 0;
};

struct QueryResult {
  std::int64_t matched = 0;
  std::vector<QueryHit> page;
};

// Every stored value of `node` in `collection` with its record id, in
// record id order. `sortable` writes numbers as fixed-width texts that sort
// as the numbers do; otherwise numbers are written plainly. False when the
// values cannot be read.
bool ReadNodeValues(OpenCollection& collection, const NodeRef& node, bool sortable,
                    std::vector<std::pair<std::int64_t, std::string>>* out);

// Runs `request`. A property unknown to every collection, or a value its
// node cannot take, fails with `error` set.
bool RunQuery(const QueryRequest& request, QueryResult* result, EvalError* error);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_QUERY_RUN_H_

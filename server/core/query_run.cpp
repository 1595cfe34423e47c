// Searches over collections with sorting and paging (query_run.h).
#include "core/query_run.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "core/queryables.h"
#include "metashelf/search.h"

namespace metashelf::server {
namespace {

struct Entry {
  std::size_t collection = 0;
  std::int64_t id = 0;
  std::vector<std::string> keys;  // one per sort key; empty: no value
};

// A value of `node`'s kind as text; numbers sort by value with `sortable`.
std::string ElementText(const NodeDataStrcT& v, short tableType, bool sortable) {
  if (tableType == 2 && !sortable) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", v.numberValue);
    return buffer;
  }
  if (tableType == 2) {
    // Numbers sort by value: a fixed-width text that orders as they do.
    char buffer[64];
    const double d = v.numberValue;
    std::snprintf(buffer, sizeof buffer, "%c%030.10f", d < 0 ? '0' : '1', d < 0 ? 1e19 + d : d);
    return buffer;
  }
  if (tableType == 1) return std::string(v.textValue, strnlen(v.textValue, sizeof v.textValue));
  return std::string(v.dateValue, strnlen(v.dateValue, sizeof v.dateValue));
}

}  // namespace

bool ReadNodeValues(OpenCollection& collection, const NodeRef& node, bool sortable,
                    std::vector<std::pair<std::int64_t, std::string>>* out) {
  out->clear();
  if (node.tableType < 1 || node.tableType > 3) return true;
  std::int32_t count = 0;
  if (collection.set().GetNum(&count) != 1) return false;
  // The read does not say how many it filled: unfilled elements keep id 0,
  // and a block too small stops short, so grow until it surely fitted.
  std::int32_t capacity = std::max<std::int32_t>(256, count + 128);
  for (;;) {
    std::vector<NodeDataStrcT> values(static_cast<std::size_t>(capacity));
    for (NodeDataStrcT& v : values) v.metaID = 0;
    if (collection.set().GetNodeDataByGuid(node.guid, static_cast<char>(node.tableType),
                                           values.data(), capacity) != 1) {
      return false;
    }
    std::size_t filled = 0;
    while (filled < values.size() && values[filled].metaID != 0) ++filled;
    if (filled + 100 > static_cast<std::size_t>(capacity) && capacity < (1 << 26)) {
      capacity *= 2;
      continue;
    }
    for (std::size_t i = 0; i < filled; ++i) {
      out->emplace_back(values[i].metaID, ElementText(values[i], node.tableType, sortable));
    }
    return true;
  }
}

namespace {

// The first value of each record of `ids` (ascending), by record id, as
// sort keys.
bool NodeValues(OpenCollection& collection, const NodeRef& node,
                const std::vector<std::int64_t>& ids, std::map<std::int64_t, std::string>* out) {
  if (ids.empty() || node.tableType < 1 || node.tableType > 3) return true;
  std::vector<NodeDataStrcT> values;
  if (MsNodeValuesOf(&collection.set(), node.guid, static_cast<char>(node.tableType), ids,
                     &values) != 1) {
    return false;
  }
  for (const NodeDataStrcT& v : values)
    out->emplace(v.metaID, ElementText(v, node.tableType, true));
  return true;
}

}  // namespace

bool RunQuery(const QueryRequest& request, QueryResult* result, EvalError* error) {
  std::vector<Entry> entries;
  std::size_t unknownIn = 0;
  EvalError firstUnknown;
  for (std::size_t c = 0; c < request.collections.size(); ++c) {
    OpenCollection& collection = *request.collections[c];
    std::vector<std::int64_t> ids;
    EvalError e;
    if (!EvaluateFilter(collection, request.filter, &ids, &e)) {
      if (e.kind != EvalError::Kind::kUnknownProperty) {
        *error = e;
        return false;
      }
      // A name one collection's schema knows may be unknown to another's.
      if (unknownIn++ == 0) firstUnknown = e;
      continue;
    }
    for (std::int64_t id : ids) entries.push_back(Entry{c, id, {}});
  }
  if (!request.collections.empty() && unknownIn == request.collections.size()) {
    *error = firstUnknown;
    return false;
  }
  // The records each collection found, ascending: only their sort keys are read.
  std::vector<std::vector<std::int64_t>> found(request.collections.size());
  for (const Entry& e : entries) found[e.collection].push_back(e.id);
  for (std::vector<std::int64_t>& ids : found) std::sort(ids.begin(), ids.end());
  for (const SortKey& key : request.sort) {
    std::vector<std::map<std::int64_t, std::string>> values(request.collections.size());
    bool byId = false;
    for (std::size_t c = 0; c < request.collections.size(); ++c) {
      const Resolution r = ResolveQueryable(*request.collections[c], key.property);
      if (r.status == Resolution::Status::kUnknown && !IsKnownQueryableName(key.property)) {
        error->kind = EvalError::Kind::kUnknownProperty;
        error->property = key.property;
        error->message = "cannot sort by unknown queryable '" + key.property + "'";
        return false;
      }
      if (r.status != Resolution::Status::kFound) continue;
      if (r.kind == QueryableKind::kIdentifier) {
        byId = true;
        continue;
      }
      if (r.kind != QueryableKind::kAlias) {
        error->kind = EvalError::Kind::kBadValue;
        error->property = key.property;
        error->message = "cannot sort by '" + key.property + "'";
        return false;
      }
      if (!NodeValues(*request.collections[c], r.node, found[c], &values[c]) ||
          !NodeValues(*request.collections[c], r.timeNode, found[c], &values[c])) {
        error->kind = EvalError::Kind::kFailed;
        error->message = "cannot read the values to sort by";
        return false;
      }
    }
    for (Entry& e : entries) {
      if (byId) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%020lld", static_cast<long long>(e.id));
        e.keys.emplace_back(buffer);
        continue;
      }
      auto it = values[e.collection].find(e.id);
      e.keys.push_back(it != values[e.collection].end() ? it->second : std::string());
    }
  }
  if (!request.sort.empty()) {
    // Records without a value come last in either direction.
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
      for (std::size_t k = 0; k < request.sort.size(); ++k) {
        const std::string& x = a.keys[k];
        const std::string& y = b.keys[k];
        if (x == y) continue;
        if (x.empty() || y.empty()) return y.empty();
        return request.sort[k].descending ? y < x : x < y;
      }
      return false;
    });
  }
  result->matched = static_cast<std::int64_t>(entries.size());
  result->page.clear();
  const std::int64_t first = std::max<std::int64_t>(0, request.offset);
  for (std::int64_t i = first;
       i < result->matched && i < first + std::max<std::int64_t>(0, request.limit); ++i) {
    const Entry& e = entries[static_cast<std::size_t>(i)];
    result->page.push_back(QueryHit{request.collections[e.collection], e.id});
  }
  return true;
}

}  // namespace metashelf::server

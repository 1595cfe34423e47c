// Box conditions checked for given records only (MsFilterByBox): the
// candidates' stored bounds are read by record id, a few hundred ids per
// statement, and each record's boxes are made and tested here exactly as
// the box index makes and tests them.
#include "metashelf/box_filter.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <vector>

#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "metashelf/base/guard.h"
#include "search/index_text.h"
#include "search/search_index.h"
#include "search/search_index_rows.h"

namespace {

using metashelf::search::BoxBound;
using metashelf::search::GeoBox;

// Ids per statement: the id list stays a short text, and few round trips.
constexpr std::size_t kIdsPerStatement = 400;

// Appends the box-node numbers of the records `ids` to `bounds`, by record.
// The node condition is written NODEGUID+0 so that no engine answers it
// from the (node, value) index: a few hundred ids against four nodes would
// otherwise look cheaper by node, and read every record's bounds.
bool ReadBounds(MdsContext* ctx, const metashelf::search::BoxNodes& nodes,
                const std::vector<std::int64_t>& ids,
                std::unordered_map<std::int64_t, std::vector<BoxBound>>* bounds) {
  std::string list;
  for (std::int64_t id : ids) list += (list.empty() ? "" : ",") + std::to_string(id);
  std::string guids;
  for (std::int32_t g : nodes.guids) guids += (guids.empty() ? "" : ",") + std::to_string(g);
  const std::string sql = "select MetaID,NODEGUID,POSITION,NODEVALUE from " +
                          std::string(ctx->owner) + ".META_NDNUMBER_" + std::to_string(ctx->mdsID) +
                          " where MetaID in (" + list + ") and NODEGUID+0 in (" + guids + ")";
  return metashelf::search::ReadBounds(ctx->hdbc, sql, bounds);
}

bool Inside(const GeoBox& part, const GeoBox& q) {
  return part.west >= q.west && part.east <= q.east && part.south >= q.south &&
         part.north <= q.north;
}

bool Meets(const GeoBox& part, const GeoBox& q) {
  return part.west <= q.east && part.east >= q.west && part.south <= q.north &&
         part.north >= q.south;
}

// Whether a record with `boxes` passes, counted as the index counts: its
// boxes split at the antimeridian, at most kMaxBoxParts parts kept; within
// holds when the parts inside some query part number all of its parts.
bool Passes(const std::vector<GeoBox>& boxes, const std::vector<GeoBox>& query, bool within) {
  std::vector<GeoBox> parts;
  for (const GeoBox& box : boxes) {
    for (const GeoBox& part : metashelf::search::SplitAtAntimeridian(box)) parts.push_back(part);
  }
  if (parts.size() > static_cast<std::size_t>(metashelf::search::kMaxBoxParts)) {
    parts.resize(metashelf::search::kMaxBoxParts);
  }
  if (parts.empty()) return false;
  std::size_t count = 0;
  for (const GeoBox& q : query) {
    for (const GeoBox& part : parts) {
      if (within ? Inside(part, q) : Meets(part, q)) ++count;
    }
  }
  return within ? count == parts.size() : count > 0;
}

std::int32_t Filter(CMetaDataSet_abs* set, const std::vector<std::int64_t>& candidates,
                    const std::string& text, bool within, std::vector<std::int64_t>* matches) {
  GeoBox box;
  COraMetaDataSet* ora = DataSetAccess::Opened(set);
  if (ora == nullptr || !metashelf::search::ParseBox(text, &box)) return 0;
  MdsContext* ctx = DataSetAccess::Context(*ora);
  std::vector<std::int64_t> ids(candidates);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  // Only the box nodes are asked for: a record's text and dates are not.
  metashelf::search::SchemaFacts facts;
  facts.box = metashelf::search::BoxNodesOf(ctx->schema);
  const metashelf::search::BoxNodes& nodes = facts.box;
  if (!nodes.Named() || ids.empty()) return 1;
  const std::vector<GeoBox> query = metashelf::search::SplitAtAntimeridian(box);
  std::vector<std::int64_t> out;
  for (std::size_t first = 0; first < ids.size(); first += kIdsPerStatement) {
    const std::size_t last = std::min(ids.size(), first + kIdsPerStatement);
    const std::vector<std::int64_t> run(ids.begin() + static_cast<std::ptrdiff_t>(first),
                                        ids.begin() + static_cast<std::ptrdiff_t>(last));
    std::unordered_map<std::int64_t, std::vector<BoxBound>> bounds;
    if (!ReadBounds(ctx, nodes, run, &bounds)) return 0;
    for (std::int64_t id : run) {
      const auto found = bounds.find(id);
      if (found == bounds.end()) continue;
      // The record's boxes as the index holds them: from its stored
      // bounds alone (its text and dates are not asked for).
      metashelf::search::IndexedRecord record;
      if (!metashelf::search::DescribeStored(ctx->schema, std::string(), {}, found->second, facts,
                                             nullptr, &record)) {
        return 0;
      }
      if (Passes(record.boxes, query, within)) out.push_back(id);
    }
  }
  *matches = std::move(out);
  return 1;
}

}  // namespace

std::int32_t MsFilterByBox(CMetaDataSet_abs* set, const std::vector<std::int64_t>& candidates,
                           const std::string& box, bool within,
                           std::vector<std::int64_t>* matches) {
  if (matches == nullptr) return 0;
  matches->clear();
  return metashelf::base::Guard<std::int32_t>(
      0, [&]() -> std::int32_t { return Filter(set, candidates, box, within, matches); });
}

// map: the bounding boxes of a collection's records (all, or those a query
// finds) drawn over the world's land and a graticule as SVG.
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "basemap.h"
#include "commands.h"
#include "file_io.h"
#include "metashelf/base/numbers.h"
#include "svg_map.h"

namespace metashelf::cli {
namespace {

// Values of one bound per record, in the order the record holds them.
std::map<std::int64_t, std::vector<double>> Bounds(Collection& collection, const char* alias,
                                                   const std::vector<std::int64_t>& ids) {
  std::map<std::int64_t, std::vector<double>> out;
  for (const auto& [id, text] : collection.AliasValues(alias, ids)) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    const auto end = text.find_last_not_of(" \t\r\n");
    double v = std::numeric_limits<double>::quiet_NaN();
    if (begin != std::string::npos) base::ParseDouble(text.substr(begin, end - begin + 1), &v);
    out[id].push_back(v);
  }
  return out;
}

}  // namespace

int RunMap(const Globals& globals, const std::string& name, const std::string& output,
           const std::string& query) {
  const bool indexed = !query.empty() && PrepareSearchIndexes(globals, name);
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  for (const char* alias : {"westbc", "eastbc", "southbc", "northbc"}) {
    CNodeInfo node;
    if (collection.schema().GetNodeInfoByAlias(alias, &node) != 1) {
      Fail("schema '" + collection.schemaName() + "' gives no '" + alias +
           "' field, so bounding boxes cannot be found");
    }
  }
  std::vector<std::int64_t> ids;
  if (query.empty()) {
    ids = collection.RecordIds();
  } else {
    ParsedQuery parsed;
    QueryError error;
    if (!ParseQuery(query, collection.Resolver(), &parsed, &error)) {
      UsageFail("query: " + error.message +
                (error.column > 0 ? " (column " + std::to_string(error.column) + ")" : ""));
    }
    std::vector<MsSearchHit> hits;
    FindRecords(collection, parsed, indexed, MsSearchOptions(), &hits, nullptr);
    for (const MsSearchHit& hit : hits) ids.push_back(hit.metaID);
  }

  const auto west = Bounds(collection, "westbc", ids);
  const auto east = Bounds(collection, "eastbc", ids);
  const auto south = Bounds(collection, "southbc", ids);
  const auto north = Bounds(collection, "northbc", ids);
  std::map<std::int64_t, std::string> titles;
  for (auto& [id, value] : collection.AliasValues("title", ids)) titles.emplace(id, value);

  std::vector<MapRecord> records;
  for (std::int64_t id : ids) {
    MapRecord r;
    r.id = id;
    r.title = titles[id];
    auto w = west.find(id), e = east.find(id), s = south.find(id), n = north.find(id);
    if (w != west.end() && e != east.end() && s != south.end() && n != north.end()) {
      // The k-th value of each bound belongs to the k-th box.
      const std::size_t boxes = std::min(std::min(w->second.size(), e->second.size()),
                                         std::min(s->second.size(), n->second.size()));
      for (std::size_t k = 0; k < boxes; ++k) {
        r.boxes.push_back(GeoBox{w->second[k], e->second[k], s->second[k], n->second[k]});
      }
    }
    records.push_back(std::move(r));
  }
  MapOptions options;
  options.land = &LandPolygons();
  options.caption = "metashelf: collection " + name + (query.empty() ? "" : " where " + query);
  MapStats stats;
  const std::string svg = WriteSvgMap(records, options, &stats);
  WriteFile(output, svg);
  std::cout << "drew " << stats.drawn << " of " << records.size() << " record(s) to " << output;
  if (!stats.skipped.empty()) {
    std::cout << "; " << stats.skipped.size() << " without usable bounds:";
    for (std::size_t i = 0; i < stats.skipped.size() && i < 20; ++i) {
      std::cout << " " << stats.skipped[i];
    }
    if (stats.skipped.size() > 20) std::cout << " ...";
  }
  std::cout << "\n";
  return 0;
}

void AddMapCommand(CLI::App& app, Globals& globals, Action& action) {
  struct Args {
    std::string collection, output = "map.svg", query;
  };
  auto args = std::make_shared<Args>();
  CLI::App* map = app.add_subcommand(
      "map", "draw the records' bounding boxes (all, or those QUERY finds) as an SVG map");
  map->add_option("COLLECTION", args->collection, "collection name")->required();
  map->add_option("QUERY", args->query, "optional search text, as for search");
  map->add_option("-o,--output", args->output, "SVG file to write (default map.svg)");
  map->callback([&, args] {
    action = [&, args] { return RunMap(globals, args->collection, args->output, args->query); };
  });
}

}  // namespace metashelf::cli

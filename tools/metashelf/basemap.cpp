// The embedded basemap and its parser.
#include "basemap.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <nlohmann/json.hpp>

#include "embedded_file.h"

const metashelf::EmbeddedFile* metashelf_basemap_files(std::size_t* count);

namespace metashelf::cli {
namespace {

using Json = nlohmann::json;

bool ReadRing(const Json& coords, Ring* ring) {
  if (!coords.is_array()) return false;
  for (const Json& p : coords) {
    if (!p.is_array() || p.size() < 2 || !p[0].is_number() || !p[1].is_number()) return false;
    ring->push_back(LonLat{p[0].get<double>(), p[1].get<double>()});
  }
  return ring->size() >= 4;
}

void ReadPolygon(const Json& coords, std::vector<LandPolygon>* out) {
  if (!coords.is_array() || coords.empty()) return;
  LandPolygon polygon;
  for (const Json& r : coords) {
    Ring ring;
    if (!ReadRing(r, &ring)) return;
    polygon.rings.push_back(std::move(ring));
  }
  const Ring& outer = polygon.rings.front();
  polygon.west = polygon.south = 1e9;
  polygon.east = polygon.north = -1e9;
  for (const LonLat& p : outer) {
    polygon.west = std::min(polygon.west, p.lon);
    polygon.east = std::max(polygon.east, p.lon);
    polygon.south = std::min(polygon.south, p.lat);
    polygon.north = std::max(polygon.north, p.lat);
  }
  out->push_back(std::move(polygon));
}

void ReadGeoJson(const Json& node, std::vector<LandPolygon>* out, int depth) {
  if (!node.is_object() || depth > 8) return;
  const auto type = node.find("type");
  if (type == node.end() || !type->is_string()) return;
  const std::string& t = type->get_ref<const std::string&>();
  const auto member = [&](const char* name) -> const Json* {
    const auto it = node.find(name);
    return it == node.end() ? nullptr : &*it;
  };
  if (t == "FeatureCollection") {
    if (const Json* features = member("features"); features != nullptr && features->is_array()) {
      for (const Json& f : *features) ReadGeoJson(f, out, depth + 1);
    }
  } else if (t == "Feature") {
    if (const Json* geometry = member("geometry")) ReadGeoJson(*geometry, out, depth + 1);
  } else if (t == "Polygon") {
    if (const Json* coords = member("coordinates")) ReadPolygon(*coords, out);
  } else if (t == "MultiPolygon") {
    if (const Json* coords = member("coordinates"); coords != nullptr && coords->is_array()) {
      for (const Json& polygon : *coords) ReadPolygon(polygon, out);
    }
  }
}

}  // namespace

std::string_view LandGeoJson() {
  std::size_t count = 0;
  const EmbeddedFile* files = metashelf_basemap_files(&count);
  for (std::size_t i = 0; i < count; ++i) {
    if (std::string_view(files[i].name) == "land.geojson") {
      return std::string_view(reinterpret_cast<const char*>(files[i].data), files[i].size);
    }
  }
  return {};
}

const std::vector<LandPolygon>& LandPolygons() {
  static const std::vector<LandPolygon> kPolygons = ParseLandGeoJson(LandGeoJson());
  return kPolygons;
}

std::vector<LandPolygon> ParseLandGeoJson(std::string_view text) {
  std::vector<LandPolygon> out;
  const Json doc = Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
  if (!doc.is_discarded()) ReadGeoJson(doc, &out, 0);
  return out;
}

bool IsCutEdge(const LonLat& a, const LonLat& b) {
  const bool antimeridian = std::fabs(a.lon) == 180 && a.lon == b.lon;
  const bool pole = a.lat <= -90 && b.lat <= -90;
  return antimeridian || pole;
}

}  // namespace metashelf::cli

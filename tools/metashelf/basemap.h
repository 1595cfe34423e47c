// The world basemap built into the tool: Natural Earth land polygons (see
// data/basemap/SOURCE.md), parsed once from the embedded GeoJSON, and the
// coastline pieces of their outlines.
#ifndef METASHELF_TOOLS_BASEMAP_H_
#define METASHELF_TOOLS_BASEMAP_H_

#include <string_view>
#include <vector>

namespace metashelf::cli {

struct LonLat {
  double lon = 0, lat = 0;
};

using Ring = std::vector<LonLat>;
// A land polygon: its outer ring, then its holes (lakes, inland seas).
struct LandPolygon {
  std::vector<Ring> rings;
  double west = 0, east = 0, south = 0, north = 0;  // of the outer ring
};

// The embedded GeoJSON text (what the pages serve to the browser).
std::string_view LandGeoJson();

// The parsed polygons; empty only when the embedded text is damaged.
const std::vector<LandPolygon>& LandPolygons();

// Parses basemap GeoJSON: every Polygon and MultiPolygon of a
// FeatureCollection, Feature or bare geometry. Anything else, or text that
// is not JSON, gives no polygons (never a throw).
std::vector<LandPolygon> ParseLandGeoJson(std::string_view text);

// True when the segment a-b lies on a cut the data makes rather than on a
// coast: along the antimeridian (both ends at longitude -180 or both at 180)
// or along the south pole's closing edge (both ends at latitude -90).
bool IsCutEdge(const LonLat& a, const LonLat& b);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_BASEMAP_H_

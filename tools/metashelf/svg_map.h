// The map of `metashelf map`: the bounding boxes of records drawn over the
// world's land and a longitude/latitude graticule, written as a
// self-contained SVG document
// (equirectangular projection, zoomed to the boxes). A pure function of its
// input; the caller reads the boxes from the collection.
#ifndef METASHELF_TOOLS_SVG_MAP_H_
#define METASHELF_TOOLS_SVG_MAP_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "basemap.h"

namespace metashelf::cli {

struct GeoBox {
  double west = 0, east = 0, south = 0, north = 0;
};

// One record and its bounding boxes (a record may carry several).
struct MapRecord {
  std::int64_t id = 0;
  std::string title;
  std::vector<GeoBox> boxes;
};

struct MapOptions {
  std::string caption;  // drawn above the map
  // Land drawn under the graticule and the boxes; none when null.
  const std::vector<LandPolygon>* land = nullptr;
};

struct MapStats {
  std::size_t drawn = 0;              // records drawn (each as one group)
  std::vector<std::int64_t> skipped;  // records without one usable box
};

// A box is usable when its four values are finite, longitudes lie in
// [-180, 180], latitudes in [-90, 90] and south <= north. A box whose west
// lies east of its east crosses the antimeridian and is drawn in two parts.
bool IsUsableBox(const GeoBox& box);

// Writes the SVG. Each record with at least one usable box becomes one
// <g class="record"> holding a <title> and its rectangles; records without
// one are listed in `stats->skipped` (when `stats` is given).
std::string WriteSvgMap(const std::vector<MapRecord>& records, const MapOptions& options,
                        MapStats* stats);

// The graticule step (degrees) for a view `span` degrees wide.
double GraticuleStep(double span);

// Escapes text for XML character data and attribute values, dropping the
// control characters that XML 1.0 does not allow.
std::string XmlEscape(const std::string& text);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_SVG_MAP_H_

// The SVG map writer: view and graticule from the boxes, the land of the
// view under them, one group per record, everything clipped to the plot.
#include "svg_map.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "metashelf/base/numbers.h"
#include "metashelf/base/xml_escape.h"

namespace metashelf::cli {
namespace {

constexpr double kMaxPlotWidth = 960;
constexpr double kMaxPlotHeight = 600;
constexpr double kLeft = 64, kRight = 24, kTop = 56, kBottom = 40;
constexpr double kMinBoxPixels = 4;

const char* const kFill[] = {"#e4572e", "#29335c", "#f3a712", "#669bbc",
                             "#a8c686", "#8e5572", "#2a9d8f", "#bc4749"};

std::string Num(double v) {
  return base::FormatDouble(v, 'f', 2);
}

std::string Degrees(double v, bool longitude) {
  const double a = std::fabs(v);
  std::string s = base::FormatDouble(a, 'g', 6) + "\xC2\xB0";  // degree sign
  if (a < 1e-9 || (longitude && std::fabs(a - 180) < 1e-9)) return s;
  if (longitude) return s + (v < 0 ? "W" : "E");
  return s + (v < 0 ? "S" : "N");
}

std::string StepText(double step) {
  return base::FormatDouble(step, 'g', 6) + "\xC2\xB0";
}

// Longitudes are drawn in one of two frames: [-180, 180], or [0, 360] with
// western longitudes shifted by 360 so that boxes around the antimeridian
// (the Aleutians, Fiji) stay whole and the view stays small. The frame whose
// boxes span fewer degrees wins.
struct Frame {
  bool shifted = false;
  double Lon(double lon) const { return shifted && lon < 0 ? lon + 360 : lon; }
  double Min() const { return shifted ? 0 : -180; }
  double Max() const { return shifted ? 360 : 180; }
  // The box's longitudes in this frame; false when it does not stay in one
  // piece in it.
  bool Span(const GeoBox& b, double* w, double* e) const {
    if (b.west == -180 && b.east == 180) return false;
    *w = Lon(b.west);
    *e = Lon(b.east);
    return *w <= *e;
  }
};

struct View {
  Frame frame;
  double west, east, south, north, scale;
  double X(double lon) const { return kLeft + (lon - west) * scale; }
  double Y(double lat) const { return kTop + (north - lat) * scale; }
  double Width() const { return (east - west) * scale; }
  double Height() const { return (north - south) * scale; }
};

// The longitude extent of the usable boxes in `frame`; false when none.
bool LonExtent(const std::vector<MapRecord>& records, const Frame& frame, double* w, double* e) {
  bool any = false;
  *w = frame.Max();
  *e = frame.Min();
  for (const MapRecord& r : records) {
    for (const GeoBox& b : r.boxes) {
      if (!IsUsableBox(b)) continue;
      any = true;
      double bw = 0, be = 0;
      if (!frame.Span(b, &bw, &be)) {
        bw = frame.Min();
        be = frame.Max();
      }
      *w = std::min(*w, bw);
      *e = std::max(*e, be);
    }
  }
  return any;
}

View ChooseView(const std::vector<MapRecord>& records) {
  double s = 90, n = -90;
  for (const MapRecord& r : records) {
    for (const GeoBox& b : r.boxes) {
      if (!IsUsableBox(b)) continue;
      s = std::min(s, b.south);
      n = std::max(n, b.north);
    }
  }
  Frame frame;
  double w = -180, e = 180;
  if (LonExtent(records, frame, &w, &e)) {
    Frame shifted;
    shifted.shifted = true;
    double sw = 0, se = 0;
    LonExtent(records, shifted, &sw, &se);
    if (se - sw < e - w) {
      frame = shifted;
      w = sw;
      e = se;
    }
  } else {
    w = -180;
    e = 180;
    s = -90;
    n = 90;
  }
  const double padLon = std::max((e - w) * 0.1, 1.0);
  const double padLat = std::max((n - s) * 0.1, 1.0);
  w -= padLon;
  e += padLon;
  s -= padLat;
  n += padLat;
  const double step = GraticuleStep(std::max(e - w, n - s));
  w = std::max(frame.Min(), std::floor(w / step) * step);
  e = std::min(frame.Max(), std::ceil(e / step) * step);
  s = std::max(-90.0, std::floor(s / step) * step);
  n = std::min(90.0, std::ceil(n / step) * step);
  const double scale = std::min(kMaxPlotWidth / (e - w), kMaxPlotHeight / (n - s));
  return View{frame, w, e, s, n, scale};
}

void Rect(std::string* out, const View& v, double west, double east, double south, double north,
          const char* fill) {
  double x1 = v.X(west), x2 = v.X(east), y1 = v.Y(north), y2 = v.Y(south);
  if (x2 - x1 < kMinBoxPixels) {
    const double c = (x1 + x2) / 2;
    x1 = c - kMinBoxPixels / 2;
    x2 = c + kMinBoxPixels / 2;
  }
  if (y2 - y1 < kMinBoxPixels) {
    const double c = (y1 + y2) / 2;
    y1 = c - kMinBoxPixels / 2;
    y2 = c + kMinBoxPixels / 2;
  }
  *out += "    <rect x=\"" + Num(x1) + "\" y=\"" + Num(y1) + "\" width=\"" + Num(x2 - x1) +
          "\" height=\"" + Num(y2 - y1) + "\" fill=\"" + fill +
          "\" fill-opacity=\"0.25\" stroke=\"" + fill + "\" stroke-width=\"1.5\"/>\n";
}

// One coordinate pair of a path.
std::string Point(const View& v, const LonLat& p, double offset) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.1f %.1f", v.X(p.lon + offset), v.Y(p.lat));
  return buf;
}

// The land in view as two paths: the filled polygons (holes by the even-odd
// rule) and the coastlines, their outlines without the cut edges. In the
// shifted frame the world is drawn twice, at its place and 360 degrees east,
// and the clip keeps what the view shows.
std::string LandPaths(const View& v, const std::vector<LandPolygon>& land) {
  std::string fill, coast;
  const double offsets[] = {0, 360};
  for (double offset : offsets) {
    if (offset != 0 && !v.frame.shifted) break;
    for (const LandPolygon& polygon : land) {
      if (polygon.east + offset < v.west || polygon.west + offset > v.east ||
          polygon.north < v.south || polygon.south > v.north) {
        continue;
      }
      for (const Ring& ring : polygon.rings) {
        fill += "M" + Point(v, ring.front(), offset);
        for (std::size_t i = 1; i < ring.size(); ++i) fill += "L" + Point(v, ring[i], offset);
        fill += "Z";
        bool open = false;
        for (std::size_t i = 1; i < ring.size(); ++i) {
          if (IsCutEdge(ring[i - 1], ring[i])) {
            open = false;
            continue;
          }
          if (!open) coast += "M" + Point(v, ring[i - 1], offset);
          coast += "L" + Point(v, ring[i], offset);
          open = true;
        }
      }
    }
  }
  if (fill.empty()) return "";
  return "  <g class=\"land\" clip-path=\"url(#plot)\">\n    <path d=\"" + fill +
         "\" fill=\"#e9e4d4\" fill-rule=\"evenodd\" stroke=\"none\"/>\n    <path d=\"" + coast +
         "\" fill=\"none\" stroke=\"#8c8670\" stroke-width=\"0.7\" stroke-linejoin=\"round\"/>\n"
         "  </g>\n";
}

}  // namespace

bool IsUsableBox(const GeoBox& b) {
  const bool finite = std::isfinite(b.west) && std::isfinite(b.east) && std::isfinite(b.south) &&
                      std::isfinite(b.north);
  return finite && b.west >= -180 && b.west <= 180 && b.east >= -180 && b.east <= 180 &&
         b.south >= -90 && b.south <= 90 && b.north >= -90 && b.north <= 90 && b.south <= b.north;
}

double GraticuleStep(double span) {
  static const double kSteps[] = {0.1, 0.25, 0.5, 1, 2, 5, 10, 15, 20, 30};
  const double wanted = span / 8;
  for (double s : kSteps) {
    if (s >= wanted) return s;
  }
  return 30;
}

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    // Tab, line feed and carriage return stay as they are; other control
    // characters, which XML 1.0 cannot carry, become blanks.
    const bool blank = c == '\t' || c == '\n' || c == '\r';
    const std::string_view reference = blank ? std::string_view() : base::XmlReference(c);
    if (!reference.empty()) {
      out += reference;
    } else if (blank || static_cast<unsigned char>(c) >= 0x20) {
      out += c;
    } else {
      out += ' ';
    }
  }
  return out;
}

std::string WriteSvgMap(const std::vector<MapRecord>& records, const MapOptions& options,
                        MapStats* stats) {
  const View v = ChooseView(records);
  const double width = kLeft + v.Width() + kRight;
  const double height = kTop + v.Height() + kBottom;
  const double step = GraticuleStep(std::max(v.east - v.west, v.north - v.south));

  std::string svg;
  svg += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Num(width) + "\" height=\"" +
         Num(height) + "\" viewBox=\"0 0 " + Num(width) + " " + Num(height) +
         "\" font-family=\"sans-serif\">\n";
  svg += "  <title>" + XmlEscape(options.caption) + "</title>\n";
  svg += "  <defs><clipPath id=\"plot\"><rect x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) +
         "\" width=\"" + Num(v.Width()) + "\" height=\"" + Num(v.Height()) +
         "\"/></clipPath></defs>\n";
  svg += "  <rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n";
  svg += "  <rect class=\"plot\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" +
         Num(v.Width()) + "\" height=\"" + Num(v.Height()) +
         "\" fill=\"#eef4f8\" stroke=\"#556\" stroke-width=\"1\"/>\n";

  if (options.land != nullptr) svg += LandPaths(v, *options.land);

  // Graticule and its labels.
  svg += "  <g class=\"graticule\" stroke=\"#9aa8b5\" stroke-width=\"0.6\">\n";
  std::string labels;
  for (double lon = std::ceil(v.west / step) * step; lon <= v.east + 1e-9; lon += step) {
    const double x = v.X(lon);
    const bool meridian = std::fabs(lon) < 1e-9 || std::fabs(lon - 360) < 1e-9;
    svg += "    <line x1=\"" + Num(x) + "\" y1=\"" + Num(kTop) + "\" x2=\"" + Num(x) + "\" y2=\"" +
           Num(kTop + v.Height()) + (meridian ? "\" stroke=\"#5c6b7a\"" : "\"") + "/>\n";
    labels += "    <text x=\"" + Num(x) + "\" y=\"" + Num(kTop + v.Height() + 16) +
              "\" text-anchor=\"middle\">" + Degrees(lon > 180 ? lon - 360 : lon, true) +
              "</text>\n";
  }
  for (double lat = std::ceil(v.south / step) * step; lat <= v.north + 1e-9; lat += step) {
    const double y = v.Y(lat);
    const bool equator = std::fabs(lat) < 1e-9;
    svg += "    <line x1=\"" + Num(kLeft) + "\" y1=\"" + Num(y) + "\" x2=\"" +
           Num(kLeft + v.Width()) + "\" y2=\"" + Num(y) +
           (equator ? "\" stroke=\"#5c6b7a\"" : "\"") + "/>\n";
    labels += "    <text x=\"" + Num(kLeft - 6) + "\" y=\"" + Num(y + 4) +
              "\" text-anchor=\"end\">" + Degrees(lat, false) + "</text>\n";
  }
  svg += "  </g>\n";
  svg += "  <g class=\"labels\" font-size=\"11\" fill=\"#333\">\n" + labels + "  </g>\n";

  // The records.
  MapStats local;
  svg += "  <g class=\"boxes\" clip-path=\"url(#plot)\">\n";
  for (const MapRecord& r : records) {
    std::vector<const GeoBox*> usable;
    for (const GeoBox& b : r.boxes) {
      if (IsUsableBox(b)) usable.push_back(&b);
    }
    if (usable.empty()) {
      local.skipped.push_back(r.id);
      continue;
    }
    const char* fill = kFill[local.drawn % (sizeof kFill / sizeof kFill[0])];
    ++local.drawn;
    svg += "   <g class=\"record\" id=\"record-" + std::to_string(r.id) + "\">\n";
    svg += "    <title>" + std::to_string(r.id) + ": " + XmlEscape(r.title) + "</title>\n";
    for (const GeoBox* b : usable) {
      double w = 0, e = 0;
      if (v.frame.Span(*b, &w, &e)) {
        Rect(&svg, v, w, e, b->south, b->north, fill);
      } else if (b->west == -180 && b->east == 180) {
        Rect(&svg, v, v.frame.Min(), v.frame.Max(), b->south, b->north, fill);
      } else {
        // Two pieces, one at each edge of the frame.
        Rect(&svg, v, v.frame.Lon(b->west), v.frame.Max(), b->south, b->north, fill);
        Rect(&svg, v, v.frame.Min(), v.frame.Lon(b->east), b->south, b->north, fill);
      }
    }
    const GeoBox& first = *usable.front();
    const double x = v.X(std::max(v.west, v.frame.Lon(first.west)));
    svg += "    <text x=\"" + Num(x + 3) + "\" y=\"" + Num(v.Y(first.north) + 12) +
           "\" font-size=\"10\" fill=\"" + fill + "\">" + std::to_string(r.id) + "</text>\n";
    svg += "   </g>\n";
  }
  svg += "  </g>\n";
  svg += "  <text x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop - 30) +
         "\" font-size=\"15\" fill=\"#222\">" + XmlEscape(options.caption) + "</text>\n";
  svg += "  <text x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop - 12) +
         "\" font-size=\"11\" fill=\"#555\">" + std::to_string(local.drawn) +
         " record(s) with bounds, " + std::to_string(local.skipped.size()) +
         " without; longitude/latitude, graticule every " + StepText(step) +
         (options.land != nullptr ? "; land: Natural Earth" : "") + "</text>\n";
  svg += "</svg>\n";
  if (stats != nullptr) *stats = std::move(local);
  return svg;
}

}  // namespace metashelf::cli

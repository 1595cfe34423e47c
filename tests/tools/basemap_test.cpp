// The embedded basemap: the parser takes the GeoJSON shapes it knows and
// nothing else, the built-in land is whole and in range, and the SVG map
// draws it with the cut edges left out of the coastline.
#include "basemap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "svg_map.h"

using metashelf::cli::IsCutEdge;
using metashelf::cli::LandPolygons;
using metashelf::cli::LonLat;
using metashelf::cli::ParseLandGeoJson;

TEST(BasemapTest, ParsesTheShapesItKnowsAndRefusesTheRest) {
  const std::string square = "[[[0,0],[10,0],[10,10],[0,10],[0,0]]]";
  const struct {
    std::string text;
    std::size_t polygons;
  } cases[] = {
      {"", 0},
      {"not json", 0},
      {"{\"type\":\"Point\",\"coordinates\":[1,2]}", 0},
      {"{\"type\":\"Polygon\",\"coordinates\":" + square + "}", 1},
      {"{\"type\":\"MultiPolygon\",\"coordinates\":[" + square + "," + square + "]}", 2},
      {"{\"type\":\"Feature\",\"geometry\":{\"type\":\"Polygon\",\"coordinates\":" + square + "}}",
       1},
      {"{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"geometry\":{"
       "\"type\":\"Polygon\",\"coordinates\":" +
           square + "}},{\"type\":\"Feature\",\"geometry\":null}]}",
       1},
      {"{\"type\":\"Polygon\",\"coordinates\":[[[0,0],[1,\"x\"],[1,1],[0,0]]]}", 0},
      {"{\"type\":\"Polygon\",\"coordinates\":[[[0,0],[1,1],[0,0]]]}", 0},
      {"{\"type\":\"Polygon\",\"coordinates\":7}", 0},
      {"[1,2,3]", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseLandGeoJson(c.text).size(), c.polygons) << c.text;
  }
}

TEST(BasemapTest, BuiltInLandIsWholeAndInRange) {
  const auto& land = LandPolygons();
  ASSERT_GT(land.size(), 200u);
  bool southPole = false;
  for (const auto& polygon : land) {
    for (const auto& ring : polygon.rings) {
      ASSERT_GE(ring.size(), 4u);
      for (std::size_t i = 0; i < ring.size(); ++i) {
        ASSERT_GE(ring[i].lon, -180);
        ASSERT_LE(ring[i].lon, 180);
        ASSERT_GE(ring[i].lat, -90);
        ASSERT_LE(ring[i].lat, 90);
        // No edge jumps across the map (the antimeridian is cut, not
        // crossed) but the pole's closing edge.
        if (i > 0) {
          ASSERT_TRUE(std::abs(ring[i].lon - ring[i - 1].lon) <= 180 ||
                      IsCutEdge(ring[i - 1], ring[i]));
        }
        southPole = southPole || ring[i].lat == -90;
      }
    }
  }
  EXPECT_TRUE(southPole) << "Antarctica is closed along the pole";
}

TEST(BasemapTest, CutEdgesAreOnlyTheAntimeridianAndThePole) {
  const struct {
    LonLat a, b;
    bool cut;
  } cases[] = {
      {{180, 10}, {180, 20}, true},   {{-180, 10}, {-180, -5}, true},
      {{-180, 10}, {180, 10}, false}, {{179.9, 10}, {180, 20}, false},
      {{10, -90}, {-40, -90}, true},  {{10, -90}, {10, -80}, false},
      {{10, 90}, {20, 90}, false},    {{0, 0}, {1, 1}, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsCutEdge(c.a, c.b), c.cut)
        << c.a.lon << "," << c.a.lat << " " << c.b.lon << "," << c.b.lat;
  }
}

TEST(BasemapTest, SvgMapDrawsLandInViewAndLeavesCutEdgesOutOfTheCoast) {
  // A square against the antimeridian and one far outside the view.
  std::vector<metashelf::cli::LandPolygon> land(2);
  land[0].rings = {{{170, 0}, {180, 0}, {180, 10}, {170, 10}, {170, 0}}};
  land[0].west = 170, land[0].east = 180, land[0].south = 0, land[0].north = 10;
  land[1].rings = {{{-60, -60}, {-50, -60}, {-50, -50}, {-60, -50}, {-60, -60}}};
  land[1].west = -60, land[1].east = -50, land[1].south = -60, land[1].north = -50;
  metashelf::cli::MapOptions options;
  options.land = &land;
  const std::string svg =
      metashelf::cli::WriteSvgMap({{1, "near", {{165, 175, 2, 8}}}}, options, nullptr);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str())) << svg;
  const auto paths = doc.select_nodes("//g[@class='land']/path");
  ASSERT_EQ(paths.size(), 2u);
  const std::string fill = paths[0].node().attribute("d").value();
  const std::string coast = paths[1].node().attribute("d").value();
  // Only the near square is drawn: one ring of five points.
  EXPECT_EQ(std::count(fill.begin(), fill.end(), 'M'), 1) << fill;
  EXPECT_EQ(std::count(fill.begin(), fill.end(), 'L'), 4) << fill;
  // Its coast has three edges: the one along 180 is a cut.
  EXPECT_EQ(std::count(coast.begin(), coast.end(), 'L'), 3) << coast;
  // Without land, no land group.
  pugi::xml_document bare;
  ASSERT_TRUE(bare.load_string(
      metashelf::cli::WriteSvgMap({}, metashelf::cli::MapOptions{}, nullptr).c_str()));
  EXPECT_TRUE(bare.select_nodes("//g[@class='land']").empty());
}

// The SVG map: a well-formed document with one group per record that has a
// usable box, titles escaped, unusable boxes skipped, the antimeridian split.
#include "svg_map.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>
#include <vector>

using metashelf::cli::GeoBox;
using metashelf::cli::GraticuleStep;
using metashelf::cli::MapOptions;
using metashelf::cli::MapRecord;
using metashelf::cli::MapStats;
using metashelf::cli::WriteSvgMap;

namespace {

std::size_t Count(const pugi::xml_document& doc, const char* xpath) {
  return doc.select_nodes(xpath).size();
}

}  // namespace

TEST(SvgMapTest, OneGroupPerRecordWithBoundsAndAValidDocument) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<MapRecord> records = {
      {1, "Rivers & <lakes>", {{-120, -100, 30, 45}}},
      {2, "Two boxes", {{-90, -80, 20, 25}, {-70, -60, 10, 15}}},
      {3, "No bounds", {}},
      {4, "Bad bounds", {{-200, 10, 0, 5}, {0, 10, 50, 40}, {nan, 1, 1, 2}}},
      {5, "A point", {{-75.5, -75.5, 40, 40}}},
  };
  MapStats stats;
  const std::string svg = WriteSvgMap(records, MapOptions{"Collection \"x\""}, &stats);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str())) << svg;
  EXPECT_STREQ(doc.document_element().name(), "svg");
  EXPECT_EQ(Count(doc, "//g[@class='record']"), 3u);
  EXPECT_EQ(Count(doc, "//g[@id='record-2']/rect"), 2u);
  EXPECT_EQ(Count(doc, "//g[@id='record-3']"), 0u);
  EXPECT_EQ(stats.drawn, 3u);
  EXPECT_EQ(stats.skipped, (std::vector<std::int64_t>{3, 4}));
  EXPECT_EQ(std::string(doc.select_node("//g[@id='record-1']/title").node().child_value()),
            "1: Rivers & <lakes>");
  // A point still shows as a visible mark.
  const pugi::xml_node point = doc.select_node("//g[@id='record-5']/rect").node();
  EXPECT_GE(point.attribute("width").as_double(), 3.0);
  EXPECT_GE(point.attribute("height").as_double(), 3.0);
  // Graticule lines exist and boxes lie inside the plot.
  EXPECT_GT(Count(doc, "//g[@class='graticule']/line"), 4u);
  const pugi::xml_node plot = doc.select_node("//rect[@class='plot']").node();
  const double left = plot.attribute("x").as_double();
  const double right = left + plot.attribute("width").as_double();
  for (const auto& r : doc.select_nodes("//g[@class='record']/rect")) {
    const double x = r.node().attribute("x").as_double();
    EXPECT_GE(x, left - 3);
    EXPECT_LE(x + r.node().attribute("width").as_double(), right + 3);
  }
}

TEST(SvgMapTest, BoxesAroundTheAntimeridianStayWholeInAShiftedView) {
  std::vector<MapRecord> records = {{9, "Aleutians", {{172, -165, 51, 55}}},
                                    {10, "Alaska", {{-170, -130, 55, 71}}}};
  const std::string svg = WriteSvgMap(records, MapOptions{}, nullptr);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str()));
  EXPECT_EQ(Count(doc, "//g[@id='record-9']/rect"), 1u);
  // The view spans about 60 degrees, not the whole world, and its labels
  // are real longitudes.
  EXPECT_NE(svg.find("180\xC2\xB0"), std::string::npos);
  EXPECT_NE(svg.find("150\xC2\xB0W"), std::string::npos);
  EXPECT_EQ(svg.find("90\xC2\xB0"
                     "E"),
            std::string::npos);
  const pugi::xml_node box = doc.select_node("//g[@id='record-9']/rect").node();
  EXPECT_GT(box.attribute("width").as_double(), 100.0);
}

TEST(SvgMapTest, BoxAcrossTheAntimeridianInAWorldViewIsDrawnInTwoParts) {
  std::vector<MapRecord> records = {{9, "Pacific", {{170, -170, -20, 10}}},
                                    {10, "Gulf of Guinea", {{-10, 10, -5, 5}}}};
  const std::string svg = WriteSvgMap(records, MapOptions{}, nullptr);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str()));
  EXPECT_EQ(Count(doc, "//g[@class='record']"), 2u);
  EXPECT_EQ(Count(doc, "//g[@id='record-9']/rect"), 2u);
}

TEST(SvgMapTest, EmptyInputGivesTheWholeWorld) {
  MapStats stats;
  const std::string svg = WriteSvgMap({}, MapOptions{}, &stats);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str()));
  EXPECT_EQ(Count(doc, "//g[@class='record']"), 0u);
  EXPECT_NE(svg.find(">180\xC2\xB0<"), std::string::npos);
  EXPECT_NE(svg.find("90\xC2\xB0N"), std::string::npos);
  EXPECT_EQ(stats.drawn, 0u);
}

TEST(SvgMapTest, GraticuleStepFollowsTheSpan) {
  EXPECT_EQ(GraticuleStep(360), 30);
  EXPECT_EQ(GraticuleStep(60), 10);
  EXPECT_EQ(GraticuleStep(8), 1);
  EXPECT_EQ(GraticuleStep(0.5), 0.1);
}

TEST(SvgMapTest, ControlCharactersInTitlesDoNotBreakTheDocument) {
  std::vector<MapRecord> records = {{1, std::string("a\x01\x1f b\"'", 7), {{0, 1, 0, 1}}}};
  const std::string svg = WriteSvgMap(records, MapOptions{std::string("c\x02")}, nullptr);
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(svg.c_str()));
}

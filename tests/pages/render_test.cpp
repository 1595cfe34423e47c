// The pages as documents: hostile values stay text, the map's data travels
// only in attributes, no inline script or style, links and paging carry the
// search, and the record reads as sections rather than tags.
#include "render.h"

#include <gtest/gtest.h>

#include <string>

#include "record_view.h"

using namespace metashelf::pages;

namespace {

const char kHostile[] = "<script>alert(1)</script>\" onmouseover=\"x";

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
    ++n;
  }
  return n;
}

// What every page must hold to: the two script files and nothing inline.
void ExpectNoInlineScriptOrStyle(const std::string& html) {
  EXPECT_EQ(Occurrences(html, "<script"), 2u) << html;
  EXPECT_EQ(Occurrences(html, "<script src=\""), 2u);
  EXPECT_EQ(Occurrences(html, "<style"), 0u);
  EXPECT_EQ(Occurrences(html, " style="), 0u);
  EXPECT_EQ(Occurrences(html, "<script>alert"), 0u);
  EXPECT_EQ(Occurrences(html, "\" onmouseover=\""), 0u);
}

RecordSummary Hostile(const std::string& id) {
  RecordSummary r;
  r.id = id;
  r.title = kHostile;
  r.abstract = kHostile;
  r.keywords = {kHostile, "Hydrology"};
  r.dates = {{"Published", "2001-02-03"}, {kHostile, kHostile}};
  r.boxes = {{-120, 30, -100, 45}, {170, -20, -170, -10}, {500, 0, 0, 0}, {0, 10, 1, 5}};
  return r;
}

}  // namespace

TEST(PagesRenderTest, EveryPageKeepsHostileValuesAsText) {
  CollectionInfo c{"rivers & <lakes>", kHostile, kHostile, 12345};
  LandingPage landing{"/base\"x", kHostile, {c}};
  CollectionPage list;
  list.base = "";
  list.collection = c;
  list.form = {kHostile, kHostile, kHostile};
  list.records = {Hostile("1"), Hostile("2")};
  list.matched = 2;
  list.error = kHostile;
  RecordPage record;
  record.collection = c;
  record.record = Hostile("7");
  record.xml = std::string("<metadata><idinfo><citation><citeinfo><title>") +
               "&lt;script&gt;alert(1)&lt;/script&gt;</title></citeinfo></citation></idinfo>"
               "</metadata>";
  const std::string pages[] = {RenderLanding(landing), RenderCollection(list), RenderRecord(record),
                               RenderError(kHostile, 404, kHostile)};
  for (const std::string& html : pages) {
    ExpectNoInlineScriptOrStyle(html);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos) << html;
    EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  }
  EXPECT_NE(pages[0].find("12,345 records"), std::string::npos);
  EXPECT_NE(pages[0].find("/collections/rivers%20%26%20%3Clakes%3E/items?f=html"),
            std::string::npos);
  EXPECT_NE(pages[1].find("role=\"alert\""), std::string::npos);
}

TEST(PagesRenderTest, BoxesTravelInDataAttributesOnlyWhenUsable) {
  CollectionPage list;
  list.collection = {"c", "C", "", 3};
  RecordSummary none = Hostile("3");
  none.boxes = {{1, 2, 3, std::numeric_limits<double>::quiet_NaN()}};
  list.records = {Hostile("1"), none};
  list.matched = 2;
  const std::string html = RenderCollection(list);
  // The unusable boxes (out of range, south above north) are left out; the
  // one across the antimeridian stays as given.
  EXPECT_NE(html.find("data-boxes=\"-120,30,-100,45;170,-20,-170,-10\""), std::string::npos)
      << html;
  EXPECT_EQ(Occurrences(html, "data-boxes="), 1u);
  EXPECT_NE(html.find("data-href=\"/collections/c/items/3?f=html\""), std::string::npos);
  EXPECT_EQ(Occurrences(html, "class=\"map\""), 1u);
}

TEST(PagesRenderTest, PagingLinksCarryTheSearch) {
  const struct {
    std::int64_t offset, shown, matched;
    bool prev, next;
    const char* range;
  } cases[] = {
      {0, 20, 45, false, true,
       "Records 1\xE2\x80\x93"
       "20 of 45"},
      {20, 20, 45, true, true,
       "Records 21\xE2\x80\x93"
       "40 of 45"},
      {40, 5, 45, true, false,
       "Records 41\xE2\x80\x93"
       "45 of 45"},
      {0, 3, 3, false, false,
       "Records 1\xE2\x80\x93"
       "3 of 3"},
      {0, 0, 0, false, false, "No records found"},
  };
  for (const auto& c : cases) {
    CollectionPage page;
    page.collection = {"c", "", "", 45};
    page.form = {"lake erie", "keyword = Hydrology", "-90,40,-70,50"};
    page.offset = c.offset;
    page.matched = c.matched;
    for (std::int64_t i = 0; i < c.shown; ++i) {
      RecordSummary r;
      r.id = std::to_string(i);
      page.records.push_back(r);
    }
    const std::string html = RenderCollection(page);
    EXPECT_NE(html.find(c.range), std::string::npos) << c.range;
    EXPECT_EQ(html.find("rel=\"prev\"") != std::string::npos, c.prev) << c.range;
    EXPECT_EQ(html.find("rel=\"next\"") != std::string::npos, c.next) << c.range;
    if (c.next) {
      EXPECT_NE(html.find("&amp;q=lake%20erie&amp;where=keyword%20%3D%20Hydrology&amp;bbox=-90%"
                          "2C40%2C-70%2C50&amp;limit=20&amp;offset=" +
                          std::to_string(c.offset + c.shown)),
                std::string::npos)
          << html;
    }
    // The form shows what was asked.
    EXPECT_NE(html.find("value=\"keyword = Hydrology\""), std::string::npos);
  }
}

TEST(PagesRenderTest, RecordReadsAsSectionsWithDownloads) {
  RecordPage page;
  page.collection = {"iso", "ISO records", "", 1};
  page.record.id = "42";
  page.record.title = "Lakes";
  page.record.boxes = {{-10, 40, 5, 50}};
  page.hasAttachment = true;
  page.xml =
      "<gmd:MD_Metadata xmlns:gmd=\"http://www.isotc211.org/2005/gmd\" "
      "xmlns:gco=\"http://www.isotc211.org/2005/gco\">"
      "<gmd:fileIdentifier><gco:CharacterString>abc-1</gco:CharacterString></gmd:fileIdentifier>"
      "<gmd:identificationInfo><gmd:MD_DataIdentification><gmd:citation><gmd:CI_Citation>"
      "<gmd:title><gco:CharacterString>Lakes</gco:CharacterString></gmd:title>"
      "</gmd:CI_Citation></gmd:citation>"
      "<gmd:topicCategory><gmd:MD_TopicCategoryCode>inlandWaters</gmd:MD_TopicCategoryCode>"
      "</gmd:topicCategory>"
      "<gmd:status><gmd:MD_ProgressCode codeListValue=\"completed\"/></gmd:status>"
      "<gmd:empty/>"
      "<gmd:link><gco:CharacterString>https://example.org/a?b=1&amp;c=2</gco:CharacterString>"
      "</gmd:link>"
      "<gmd:bad><gco:CharacterString>javascript:alert(1)</gco:CharacterString></gmd:bad>"
      "</gmd:MD_DataIdentification></gmd:identificationInfo></gmd:MD_Metadata>";
  const std::string html = RenderRecord(page);
  ExpectNoInlineScriptOrStyle(html);
  for (const char* expected : {
           "<h3>File identifier</h3>\n<p>abc-1</p>",
           "<h3>Identification</h3>",
           "<dt>Citation</dt><dd><dl><dt>Title</dt><dd>Lakes</dd>",
           "<dt>Topic category</dt><dd>inlandWaters</dd>",
           "<dt>Status</dt><dd>completed</dd>",
           "<a href=\"https://example.org/a?b=1&amp;c=2\" rel=\"nofollow noopener\">",
           "<dt>Bad</dt><dd>javascript:alert(1)</dd>",
           "href=\"/collections/iso/items/42?f=xml\" download",
           "href=\"/collections/iso/items/42/attachment\" download",
           "data-boxes=\"-10,40,5,50\"",
           "Extent (west, south, east, north): -10, 40, 5, 50",
       }) {
    EXPECT_NE(html.find(expected), std::string::npos) << expected << "\n" << html;
  }
  EXPECT_EQ(html.find("gco:CharacterString"), std::string::npos);
  EXPECT_EQ(html.find("<dt>Empty</dt>"), std::string::npos);
}

TEST(PagesRenderTest, RecordSectionsSurviveBadAndHugeRecords) {
  EXPECT_NE(RenderRecordSections("<metadata><a>").find("not well-formed"), std::string::npos);
  EXPECT_NE(RenderRecordSections("<metadata/>").find("holds no values"), std::string::npos);
  std::string big = "<metadata>";
  for (int i = 0; i < 50; ++i)
    big += "<attr><attrlabl>a" + std::to_string(i) + "</attrlabl></attr>";
  big += "</metadata>";
  const std::string cut = RenderRecordSections(big, 10);
  EXPECT_NE(cut.find("XML download holds all of it"), std::string::npos);
  EXPECT_LE(Occurrences(cut, "<dt>"), 10u);
  // Deep nesting is cut, not followed to the end of the stack.
  std::string deep = "<metadata>";
  for (int i = 0; i < 5000; ++i) deep += "<a><b>x</b>";
  for (int i = 0; i < 5000; ++i) deep += "</a>";
  deep += "</metadata>";
  EXPECT_NE(RenderRecordSections(deep).find("XML download holds all of it"), std::string::npos);
}

TEST(PagesRenderTest, OnlyThePagesFilesAreServed) {
  const struct {
    const char* name;
    const char* type;  // null: not served
  } cases[] = {
      {"leaflet.js", "text/javascript; charset=utf-8"},
      {"leaflet.css", "text/css; charset=utf-8"},
      {"pages.js", "text/javascript; charset=utf-8"},
      {"pages.css", "text/css; charset=utf-8"},
      {"land.geojson", "application/json"},
      {"labels.tsv", nullptr},
      {"../pages.js", nullptr},
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const Asset a = FindAsset(c.name);
    if (c.type == nullptr) {
      EXPECT_EQ(a.contentType, nullptr) << c.name;
      EXPECT_TRUE(a.body.empty()) << c.name;
    } else {
      ASSERT_NE(a.contentType, nullptr) << c.name;
      EXPECT_STREQ(a.contentType, c.type);
      EXPECT_GT(a.body.size(), 1000u) << c.name;
    }
  }
  EXPECT_NE(std::string(ContentSecurityPolicy()).find("script-src 'self'"), std::string::npos);
  EXPECT_EQ(std::string(ContentSecurityPolicy()).find("unsafe-inline"), std::string::npos);
}

// The pages read the server's JSON answers and the request's query string:
// what is there is shown, what is missing or mistyped is left out.
#include "from_json.h"

#include <gtest/gtest.h>

using metashelf::pages::CollectionPage;
using nlohmann::json;
namespace pages = metashelf::pages;

TEST(PagesFromJsonTest, QueryStringsDecode) {
  const struct {
    const char* query;
    std::map<std::string, std::string> params;
  } cases[] = {
      {"", {}},
      {"f=html", {{"f", "html"}}},
      {"q=lake+erie&where=keyword%20%3D%20x", {{"q", "lake erie"}, {"where", "keyword = x"}}},
      {"a=1&a=2&&b", {{"a", "1"}, {"b", ""}}},
      {"bad=%zz%4&end=%", {{"bad", "%zz%4"}, {"end", "%"}}},
      {"bbox=-10%2C40%2C5%2C50", {{"bbox", "-10,40,5,50"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(pages::ParseQueryString(c.query), c.params) << c.query;
  EXPECT_EQ(pages::PercentDecode("a+b%2Bc", false), "a+b+c");
}

TEST(PagesFromJsonTest, ItemsDocumentsFillThePage) {
  const json doc = json::parse(R"({
    "type": "FeatureCollection", "numberMatched": 57, "numberReturned": 2,
    "links": [{"rel": "self", "href": "http://h/collections/c/items?offset=20&limit=2&q=x"}],
    "features": [
      {"id": "7", "bbox": [-10, 40, 5, 50],
       "properties": {"title": "Lakes", "description": "About lakes", "keywords": ["a", 3, "b"],
                      "created": "2001-02-03", "updated": "2020-01-01"}},
      {"id": 8, "bbox": [1, 2, "x", 4], "properties": {"title": 5}},
      "not a feature"
    ]})");
  CollectionPage page;
  pages::FormFromQuery(pages::ParseQueryString("q=x&where=title+like+a&bbox=1,2,3,4"), &page);
  pages::ResultsFromJson(doc, &page);
  EXPECT_EQ(page.form.q, "x");
  EXPECT_EQ(page.form.where, "title like a");
  EXPECT_EQ(page.form.bbox, "1,2,3,4");
  EXPECT_EQ(page.matched, 57);
  EXPECT_EQ(page.offset, 20);
  EXPECT_EQ(page.limit, 2);
  ASSERT_EQ(page.records.size(), 3u);
  const auto& r = page.records[0];
  EXPECT_EQ(r.id, "7");
  EXPECT_EQ(r.title, "Lakes");
  EXPECT_EQ(r.abstract, "About lakes");
  EXPECT_EQ(r.keywords, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(r.dates.size(), 2u);
  EXPECT_EQ(r.dates[0].second, "2001-02-03");
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].west, -10);
  EXPECT_EQ(r.boxes[0].north, 50);
  EXPECT_EQ(page.records[1].id, "8");
  EXPECT_TRUE(page.records[1].title.empty());
  EXPECT_TRUE(page.records[1].boxes.empty());
  EXPECT_TRUE(page.records[2].id.empty());
}

TEST(PagesFromJsonTest, CollectionListsKeepOnlyNamedCollections) {
  const json doc = json::parse(R"({"collections": [
      {"id": "a", "title": "A", "description": "first", "numberOfRecords": 12},
      {"title": "no id"},
      {"id": "b", "numberOfRecords": "many"}]})");
  const auto list = pages::CollectionsFromJson(doc);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].records, 12);
  EXPECT_EQ(list[0].description, "first");
  EXPECT_EQ(list[1].id, "b");
  EXPECT_EQ(list[1].records, 0);
  EXPECT_TRUE(pages::CollectionsFromJson(json::array()).empty());
  EXPECT_TRUE(pages::CollectionsFromJson(json{{"collections", 3}}).empty());
}

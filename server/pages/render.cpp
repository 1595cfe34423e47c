// The page renderers: one layout (skip link, header, main, footer) around
// the landing, collection, record and failure pages.
#include "render.h"

#include <charconv>
#include <cmath>
#include <string>

#include "html.h"
#include "record_view.h"

namespace metashelf::pages {
namespace {

constexpr std::size_t kAbstractChars = 280;
// Results a collection page shows when the link to it names no other count.
constexpr int kResultsPerPage = 20;
// Keywords a result line shows; the record's page shows them all.
constexpr std::size_t kListKeywords = 12;

std::string Number(double v) {
  char buf[32];
  const auto result = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, result.ptr);
}

std::string Count(std::int64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0 && digits[i] != '-' && digits[i - 1] != '-') {
      out += ',';
    }
    out += digits[i];
  }
  return out;
}

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return Count(n) + " " + (n == 1 ? one : many);
}

std::string TitleOf(const CollectionInfo& c) {
  return c.title.empty() ? c.id : c.title;
}

std::string CollectionUrl(std::string_view base, const CollectionInfo& c) {
  return std::string(base) + "/collections/" + UrlEncode(c.id) +
         "/items?f=html&limit=" + std::to_string(kResultsPerPage);
}

std::string RecordUrl(std::string_view base, const CollectionInfo& c, const std::string& id,
                      const char* format) {
  return std::string(base) + "/collections/" + UrlEncode(c.id) + "/items/" + UrlEncode(id) +
         "?f=" + format;
}

// The boxes as the map script reads them: "w,s,e,n" joined by ";", only
// boxes whose numbers are finite and in range.
std::string BoxesAttribute(const std::vector<Box>& boxes) {
  std::string out;
  for (const Box& b : boxes) {
    const bool ok = std::isfinite(b.west) && std::isfinite(b.east) && std::isfinite(b.south) &&
                    std::isfinite(b.north) && std::fabs(b.west) <= 180 &&
                    std::fabs(b.east) <= 180 && std::fabs(b.south) <= 90 &&
                    std::fabs(b.north) <= 90 && b.south <= b.north;
    if (!ok) continue;
    if (!out.empty()) out += ';';
    out += Number(b.west) + "," + Number(b.south) + "," + Number(b.east) + "," + Number(b.north);
  }
  return out;
}

std::string Layout(std::string_view base, const std::string& title, const std::string& crumbs,
                   const std::string& main) {
  const std::string b = Escape(base);
  std::string page;
  page.reserve(main.size() + 2048);
  page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  page += "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  // An empty icon, so that the browser asks the server for none.
  page += "<link rel=\"icon\" href=\"data:,\">\n";
  page += "<title>" + Escape(title) + " \xE2\x80\x93 metashelf</title>\n";
  page += "<link rel=\"stylesheet\" href=\"" + b + "/static/leaflet.css\">\n";
  page += "<link rel=\"stylesheet\" href=\"" + b + "/static/pages.css\">\n";
  page += "<script src=\"" + b + "/static/leaflet.js\" defer></script>\n";
  page += "<script src=\"" + b + "/static/pages.js\" defer></script>\n";
  page += "</head>\n<body>\n<a class=\"skip\" href=\"#main\">Skip to the content</a>\n";
  page += "<header><nav aria-label=\"Breadcrumb\"><ol class=\"crumbs\"><li><a href=\"" + b +
          "/?f=html\">Catalog</a></li>" + crumbs + "</ol></nav></header>\n";
  page += "<main id=\"main\" tabindex=\"-1\">\n" + main + "</main>\n";
  page +=
      "<footer><p>Served by metashelf. Map: land from Natural Earth (public domain). "
      "The catalog as <a href=\"" +
      b + "/?f=json\">JSON</a>.</p></footer>\n</body>\n</html>\n";
  return page;
}

std::string MapElement(std::string_view base, const char* label) {
  return "<div class=\"map\" data-basemap=\"" + Escape(base) +
         "/static/land.geojson\" role=\"region\" aria-label=\"" + label + "\"></div>\n";
}

// Keywords, at most `maxKeywords` of them, and dates.
void SummaryLines(const RecordSummary& r, std::size_t maxKeywords, std::string* out) {
  if (!r.keywords.empty()) {
    *out += "<ul class=\"keywords\" aria-label=\"Keywords\">";
    for (std::size_t i = 0; i < r.keywords.size() && i < maxKeywords; ++i) {
      *out += "<li>" + Escape(r.keywords[i]) + "</li>";
    }
    if (r.keywords.size() > maxKeywords) {
      *out +=
          "<li class=\"more\">" + std::to_string(r.keywords.size() - maxKeywords) + " more</li>";
    }
    *out += "</ul>\n";
  }
  if (!r.dates.empty()) {
    *out += "<p class=\"dates\">";
    bool first = true;
    for (const auto& [label, value] : r.dates) {
      if (!first) *out += " \xC2\xB7 ";
      first = false;
      *out += Escape(label) + ": <time>" + Escape(value) + "</time>";
    }
    *out += "</p>\n";
  }
}

std::string SearchQuery(const SearchForm& form, std::int64_t offset, std::int64_t limit) {
  std::string q;
  if (!form.q.empty()) q += "&q=" + UrlEncode(form.q);
  if (!form.where.empty()) q += "&where=" + UrlEncode(form.where);
  if (!form.bbox.empty()) q += "&bbox=" + UrlEncode(form.bbox);
  q += "&limit=" + std::to_string(limit);
  if (offset > 0) q += "&offset=" + std::to_string(offset);
  return q;
}

}  // namespace

const char* ContentSecurityPolicy() {
  return "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
         "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
}

std::string RenderLanding(const LandingPage& page) {
  const std::string title = page.title.empty() ? "Catalog" : page.title;
  std::string main = "<h1>" + Escape(title) + "</h1>\n";
  if (page.collections.empty()) {
    main += "<p>This catalog has no collections yet.</p>\n";
  } else {
    main +=
        "<p>" +
        Plural(static_cast<std::int64_t>(page.collections.size()), "collection", "collections") +
        ". Open one to search its records and see them on a map.</p>\n";
    main += "<ul class=\"collections\">\n";
    for (const CollectionInfo& c : page.collections) {
      main += "<li><h2><a href=\"" + Escape(CollectionUrl(page.base, c)) + "\">" +
              Escape(TitleOf(c)) + "</a></h2><p class=\"count\">" +
              Plural(c.records, "record", "records") + "</p>";
      if (!c.description.empty()) {
        main += "<p>" + Escape(Shorten(c.description, kAbstractChars)) + "</p>";
      }
      main += "</li>\n";
    }
    main += "</ul>\n";
  }
  return Layout(page.base, title, "", main);
}

std::string RenderCollection(const CollectionPage& page) {
  const CollectionInfo& c = page.collection;
  const std::string self = CollectionUrl(page.base, c);
  const std::string items = page.base + "/collections/" + UrlEncode(c.id) + "/items?f=html";
  std::string main = "<h1>" + Escape(TitleOf(c)) + "</h1>\n";
  if (c.records > 0 || !c.description.empty()) {
    main += "<p class=\"count\">";
    if (c.records > 0) main += Plural(c.records, "record", "records") + " in this collection. ";
    main += Escape(Shorten(c.description, kAbstractChars)) + "</p>\n";
  }

  main += "<form class=\"search\" method=\"get\" action=\"" + Escape(page.base) + "/collections/" +
          Escape(UrlEncode(c.id)) + "/items\" role=\"search\">\n";
  main += "<input type=\"hidden\" name=\"f\" value=\"html\">\n";
  main +=
      "<div class=\"field\"><label for=\"q\">Words</label><input id=\"q\" name=\"q\" "
      "type=\"search\" value=\"" +
      Escape(page.form.q) + "\" placeholder=\"river flood\"></div>\n";
  main +=
      "<div class=\"field\"><label for=\"where\">Conditions</label><input id=\"where\" "
      "name=\"where\" value=\"" +
      Escape(page.form.where) +
      "\" placeholder=\"keyword = Hydrology and pubdate &gt;= 2000-01-01\" "
      "aria-describedby=\"where-help\"><small id=\"where-help\">Fields and values as "
      "<code>metashelf search</code> takes them.</small></div>\n";
  main +=
      "<div class=\"field\"><label for=\"bbox\">Box</label><input id=\"bbox\" name=\"bbox\" "
      "value=\"" +
      Escape(page.form.bbox) +
      "\" placeholder=\"west,south,east,north\" "
      "aria-describedby=\"bbox-help\"><small id=\"bbox-help\">Decimal degrees<span "
      "class=\"with-map\">, or draw one on the map</span>.</small></div>\n";
  main += "<input type=\"hidden\" name=\"limit\" value=\"" + std::to_string(page.limit) + "\">\n";
  main += "<div class=\"actions\"><button type=\"submit\">Search</button> <a href=\"" +
          Escape(self) + "\">Clear</a></div>\n</form>\n";
  if (!page.error.empty()) {
    main += "<p class=\"error\" role=\"alert\">" + Escape(page.error) + "</p>\n";
  }

  main += MapElement(page.base, "Map of the results");
  const std::int64_t first = page.records.empty() ? 0 : page.offset + 1;
  const std::int64_t last = page.offset + static_cast<std::int64_t>(page.records.size());
  main += "<h2 class=\"matched\">";
  if (page.matched == 0) {
    main += "No records found";
  } else {
    main += "Records " + Count(first) + "\xE2\x80\x93" + Count(last) + " of " + Count(page.matched);
  }
  main += "</h2>\n<ol class=\"results\" start=\"" + std::to_string(first) + "\">\n";
  for (const RecordSummary& r : page.records) {
    const std::string url = RecordUrl(page.base, c, r.id, "html");
    const std::string boxes = BoxesAttribute(r.boxes);
    main += "<li class=\"record\" data-id=\"" + Escape(r.id) + "\" data-href=\"" + Escape(url) +
            "\"" + (boxes.empty() ? "" : " data-boxes=\"" + boxes + "\"") + ">\n";
    main += "<h3><a href=\"" + Escape(url) + "\">" +
            Escape(r.title.empty() ? "Record " + r.id : r.title) + "</a></h3>\n";
    if (!r.abstract.empty()) main += "<p>" + Escape(Shorten(r.abstract, kAbstractChars)) + "</p>\n";
    SummaryLines(r, kListKeywords, &main);
    main += "</li>\n";
  }
  main += "</ol>\n";

  if (page.offset > 0 || last < page.matched) {
    main += "<nav class=\"pager\" aria-label=\"Pages of results\">";
    if (page.offset > 0) {
      const std::int64_t prev = page.offset > page.limit ? page.offset - page.limit : 0;
      main += "<a rel=\"prev\" href=\"" + Escape(items + SearchQuery(page.form, prev, page.limit)) +
              "\">\xE2\x86\x90 Previous</a> ";
    }
    if (last < page.matched) {
      main += "<a rel=\"next\" href=\"" + Escape(items + SearchQuery(page.form, last, page.limit)) +
              "\">Next \xE2\x86\x92</a>";
    }
    main += "</nav>\n";
  }
  const std::string crumbs = "<li><a href=\"" + Escape(self) + "\" aria-current=\"page\">" +
                             Escape(TitleOf(c)) + "</a></li>";
  return Layout(page.base, TitleOf(c), crumbs, main);
}

std::string RenderRecord(const RecordPage& page) {
  const CollectionInfo& c = page.collection;
  const RecordSummary& r = page.record;
  const std::string title = r.title.empty() ? "Record " + r.id : r.title;
  const std::string boxes = BoxesAttribute(r.boxes);
  std::string main = "<article class=\"record-page\" data-id=\"" + Escape(r.id) + "\"" +
                     (boxes.empty() ? "" : " data-boxes=\"" + boxes + "\"") + ">\n";
  main += "<h1>" + Escape(title) + "</h1>\n";
  if (!r.abstract.empty()) main += "<p class=\"abstract\">" + Escape(r.abstract) + "</p>\n";
  SummaryLines(r, r.keywords.size(), &main);
  if (!boxes.empty()) {
    main += "<p class=\"extent\">Extent (west, south, east, north): ";
    bool firstBox = true;
    for (const Box& b : r.boxes) {
      if (BoxesAttribute({b}).empty()) continue;
      if (!firstBox) main += "; ";
      firstBox = false;
      main +=
          Number(b.west) + ", " + Number(b.south) + ", " + Number(b.east) + ", " + Number(b.north);
    }
    main += "</p>\n";
    main += MapElement(page.base, "Map of the record's extent");
  }
  main += "<ul class=\"downloads\">\n<li><a href=\"" +
          Escape(RecordUrl(page.base, c, r.id, "xml")) +
          "\" download>Download the record (XML, as stored)</a></li>\n";
  if (page.hasAttachment) {
    main += "<li><a href=\"" + Escape(page.base) + "/collections/" + Escape(UrlEncode(c.id)) +
            "/items/" + Escape(UrlEncode(r.id)) +
            "/attachment\" download>Download its "
            "attachment</a></li>\n";
  }
  main += "</ul>\n<h2>The whole record</h2>\n" + RenderRecordSections(page.xml) + "</article>\n";
  const std::string crumbs = "<li><a href=\"" + Escape(CollectionUrl(page.base, c)) + "\">" +
                             Escape(TitleOf(c)) + "</a></li><li><a href=\"" +
                             Escape(RecordUrl(page.base, c, r.id, "html")) +
                             "\" aria-current=\"page\">" + Escape(Shorten(title, 60)) + "</a></li>";
  return Layout(page.base, title, crumbs, main);
}

std::string RenderError(std::string_view base, int status, std::string_view message) {
  const std::string heading = status == 404   ? "Not found"
                              : status == 400 ? "Bad request"
                                              : "Something went wrong";
  std::string main = "<h1>" + heading + "</h1>\n<p class=\"error\">" + Escape(message) + "</p>\n";
  main += "<p><a href=\"" + Escape(base) + "/?f=html\">Back to the catalog</a></p>\n";
  return Layout(base, heading, "", main);
}

}  // namespace metashelf::pages

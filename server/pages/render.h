// The HTML pages of `metashelf serve`: what a person sees at the OGC API
// endpoints when asking for HTML (a landing page with the collections, a
// collection page with its search form, results and map, a record page).
// Pure functions from plain models to complete documents; the server fills
// the models and adds the headers (ContentSecurityPolicy()). Every value
// from a record or a request is escaped for where it goes; no page carries
// inline script or style, and data reaches the map script only through
// data- attributes.
#ifndef METASHELF_SERVER_PAGES_RENDER_H_
#define METASHELF_SERVER_PAGES_RENDER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace metashelf::pages {

// A bounding box in decimal degrees; west > east crosses the antimeridian.
struct Box {
  double west = 0, south = 0, east = 0, north = 0;
};

struct CollectionInfo {
  std::string id;           // as in /collections/{id}
  std::string title;        // shown; the id when empty
  std::string description;  // may be empty
  std::int64_t records = 0;
};

struct LandingPage {
  std::string base;  // path prefix of every link ("" or "/catalog")
  std::string title;
  std::vector<CollectionInfo> collections;
};

// One record as a result line or the head of its own page.
struct RecordSummary {
  std::string id;
  std::string title;
  std::string abstract;
  std::vector<std::string> keywords;
  std::vector<std::pair<std::string, std::string>> dates;  // label, value
  std::vector<Box> boxes;
};

// What the search form holds, as the request gave it.
struct SearchForm {
  std::string q;      // free text
  std::string where;  // field conditions in the tool's query language
  std::string bbox;   // west,south,east,north
};

struct CollectionPage {
  std::string base;
  CollectionInfo collection;
  SearchForm form;
  std::vector<RecordSummary> records;  // this page of results
  std::int64_t matched = 0;            // all results
  std::int64_t offset = 0;             // of the first one shown
  std::int64_t limit = 20;
  std::string error;  // why the search was refused; shown above the form
};

struct RecordPage {
  std::string base;
  CollectionInfo collection;
  RecordSummary record;
  std::string xml;  // the record as stored, drawn as readable sections
  bool hasAttachment = false;
};

std::string RenderLanding(const LandingPage& page);
std::string RenderCollection(const CollectionPage& page);
std::string RenderRecord(const RecordPage& page);
// A page for a failure (not found, bad request): status line and message.
std::string RenderError(std::string_view base, int status, std::string_view message);

// The Content-Security-Policy header value every page is sent with.
const char* ContentSecurityPolicy();

// The URL path under which the pages' scripts, styles and basemap are
// served, relative to the base: "/static/".
constexpr std::string_view kStaticPrefix = "/static/";

struct Asset {
  std::string_view body;
  const char* contentType = nullptr;
};

// The static file at `name` (the part after kStaticPrefix), or nullptr-typed
// empty asset when there is none.
Asset FindAsset(std::string_view name);

}  // namespace metashelf::pages

#endif  // METASHELF_SERVER_PAGES_RENDER_H_

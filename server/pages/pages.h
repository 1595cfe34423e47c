// Where the HTML pages of the server plug in. The JSON interface builds each
// answer as a JSON document first; when a client asks for HTML (f=html, or
// an Accept header that prefers text/html), the document is handed to
// RenderPage, which writes the page from it. AddPageRoutes lets the pages
// serve what they need beside (styles, scripts, the basemap).
//
// pages.cpp is the pages' own; a kind of page it does not draw (conformance,
// queryables) is answered with the JSON document.
#ifndef METASHELF_SERVER_PAGES_PAGES_H_
#define METASHELF_SERVER_PAGES_PAGES_H_

#include <nlohmann/json.hpp>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace metashelf::server::pages {

enum class Page {
  kLanding,      // the landing document of /
  kConformance,  // /conformance
  kCollections,  // /collections
  kCollection,   // /collections/{id}
  kQueryables,   // /collections/{id}/queryables
  kItems,        // /collections/{id}/items: a FeatureCollection of records
  kItem,         // /collections/{id}/items/{recordId}: one record feature
};

// What a page may need besides its document.
struct PageContext {
  std::string baseUrl;      // "http://host:port", without a trailing slash
  std::string requestPath;  // the path asked for, e.g. "/collections/x/items"
  std::string query;        // the query string asked for, without '?'
  // For kItem: the record as stored, and whether it has an attachment.
  std::string recordXml;
  bool hasAttachment = false;
};

// Writes the page for `document` into `*html`: true when there is one.
bool RenderPage(Page page, const nlohmann::json& document, const PageContext& context,
                std::string* html);

// Adds the routes of the pages' own files to `server` (called once, before
// the server listens), and a post-routing step that sends every page with
// its security headers.
void AddPageRoutes(httplib::Server& server);

// Turns the JSON answer of a failed request that asked for HTML into a page
// saying why (a refused search shows its form again with the reason). The
// server's error handler calls it last.
void ShowFailureAsPage(const httplib::Request& req, httplib::Response& res);

}  // namespace metashelf::server::pages

#endif  // METASHELF_SERVER_PAGES_PAGES_H_

// The HTML pages of the server (pages.h): each JSON document read into the
// pages' models and drawn by the renderers of render.h; the static files
// the pages load; and, for every answer a person asked for as HTML, the
// security headers, with a failure shown as a page rather than as JSON.
#include "pages/pages.h"

#include <httplib.h>

#include "from_json.h"
#include "render.h"

namespace metashelf::server::pages {
namespace {

namespace mp = metashelf::pages;
using nlohmann::json;

// The path part of the base URL ("" for "http://host:8080", "/catalog" for
// "https://host/catalog"): what every link of a page starts with.
std::string BasePath(const std::string& baseUrl) {
  const std::size_t scheme = baseUrl.find("://");
  const std::size_t slash = baseUrl.find('/', scheme == std::string::npos ? 0 : scheme + 3);
  if (slash == std::string::npos) return "";
  std::string path = baseUrl.substr(slash);
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

// The n-th segment of a request path, percent-decoded ("/collections/a%20b/items", 1 -> "a b").
std::string Segment(const std::string& path, int n) {
  std::size_t start = 1;
  for (int i = 0; i < n; ++i) {
    start = path.find('/', start);
    if (start == std::string::npos) return "";
    ++start;
  }
  const std::size_t end = path.find('/', start);
  return mp::PercentDecode(path.substr(start, end == std::string::npos ? end : end - start), false);
}

std::string Text(const json& doc, const char* name) {
  const auto it = doc.find(name);
  return it != doc.end() && it->is_string() ? it->get<std::string>() : "";
}

// Whether the request asked for a page (as the JSON interface decides it).
bool WantsHtml(const httplib::Request& req) {
  if (req.has_param("f")) {
    const std::string f = req.get_param_value("f");
    return f == "html" || f == "text/html";
  }
  const std::string accept = req.get_header_value("Accept");
  const auto html = accept.find("text/html");
  const auto jsonAt = accept.find("json");
  return html != std::string::npos && (jsonAt == std::string::npos || html < jsonAt);
}

void AddSecurityHeaders(httplib::Response& res) {
  res.set_header("Content-Security-Policy", mp::ContentSecurityPolicy());
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("Referrer-Policy", "same-origin");
}

}  // namespace

bool RenderPage(Page page, const json& document, const PageContext& context, std::string* html) {
  const std::string base = BasePath(context.baseUrl);
  switch (page) {
    case Page::kLanding:
    case Page::kCollections: {
      mp::LandingPage p;
      p.base = base;
      p.title = page == Page::kLanding ? Text(document, "title") : "Collections";
      p.collections = mp::CollectionsFromJson(document);
      *html = mp::RenderLanding(p);
      return true;
    }
    case Page::kCollection: {
      mp::LandingPage p;
      p.base = base;
      p.title = Text(document, "title");
      p.collections = mp::CollectionsFromJson(json{{"collections", json::array({document})}});
      *html = mp::RenderLanding(p);
      return true;
    }
    case Page::kItems: {
      mp::CollectionPage p;
      p.base = base;
      p.collection.id = Segment(context.requestPath, 1);
      mp::FormFromQuery(mp::ParseQueryString(context.query), &p);
      mp::ResultsFromJson(document, &p);
      *html = mp::RenderCollection(p);
      return true;
    }
    case Page::kItem: {
      mp::RecordPage p;
      p.base = base;
      p.collection.id = Segment(context.requestPath, 1);
      p.record = mp::SummaryFromFeature(document);
      p.xml = context.recordXml;
      p.hasAttachment = context.hasAttachment;
      *html = mp::RenderRecord(p);
      return true;
    }
    default:
      return false;
  }
}

void AddPageRoutes(httplib::Server& server) {
  server.Get("/static/([^/]+)", [](const httplib::Request& req, httplib::Response& res) {
    const mp::Asset asset = mp::FindAsset(req.matches[1].str());
    if (asset.contentType == nullptr) {
      res.status = 404;
      res.set_content("no such file", "text/plain; charset=utf-8");
      return;
    }
    res.set_content(asset.body.data(), asset.body.size(), asset.contentType);
    res.set_header("Cache-Control", "public, max-age=3600");
  });
  // Every page goes out with its security headers.
  server.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.get_header_value("Content-Type").rfind("text/html", 0) == 0) AddSecurityHeaders(res);
  });
}

void ShowFailureAsPage(const httplib::Request& req, httplib::Response& res) {
  if (res.status < 400 || !WantsHtml(req)) return;
  // Only the JSON interface's answers: a CSW exception report stays XML.
  if (res.get_header_value("Content-Type").rfind("application/json", 0) != 0) return;
  const json doc = json::parse(res.body, nullptr, /*allow_exceptions=*/false);
  const std::string why = doc.is_object() ? Text(doc, "description") : "";
  const std::string message = why.empty() ? "The request failed." : why;
  std::string html;
  if (res.status == 400 && req.path.size() > 6 &&
      req.path.compare(req.path.size() - 6, 6, "/items") == 0) {
    // A refused search: its form again, with the reason.
    mp::CollectionPage p;
    p.collection.id = Segment(req.path, 1);
    const auto q = req.target.find('?');
    mp::FormFromQuery(mp::ParseQueryString(q == std::string::npos ? "" : req.target.substr(q + 1)),
                      &p);
    p.error = message;
    html = mp::RenderCollection(p);
  } else {
    html = mp::RenderError("", res.status, message);
  }
  res.set_content(html, "text/html; charset=utf-8");
}

}  // namespace metashelf::server::pages

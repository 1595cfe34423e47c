// Routes and answers of the JSON interface (ogcapi_service.h).
#include "ogcapi/ogcapi_service.h"

#include <httplib.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "core/filter_eval.h"
#include "core/query_run.h"
#include "core/queryables.h"
#include "core/record_view.h"
#include "core/whole_number.h"
#include "metashelf/base/numbers.h"
#include "pages/pages.h"
#include "pages/where_filter.h"

namespace metashelf::server {
namespace {

using nlohmann::json;

const char* const kGeoJson = "application/geo+json";
const char* const kJson = "application/json";

// A refused request: HTTP status, code and words.
struct ApiError {
  int status;
  std::string code;
  std::string description;
};

void SendError(httplib::Response& res, const ApiError& e) {
  res.status = e.status;
  res.set_content(json{{"code", e.code}, {"description", e.description}}.dump(), kJson);
}

enum class Format { kJson, kHtml, kXml };

// f=json|html|xml wins; otherwise an Accept header that names text/html
// before any JSON type asks for the page.
bool ChooseFormat(const httplib::Request& req, bool xmlAllowed, Format* format, ApiError* error) {
  if (req.has_param("f")) {
    const std::string f = req.get_param_value("f");
    if (f == "json" || f == "geojson" || f == "application/json" || f == kGeoJson) {
      *format = Format::kJson;
    } else if (f == "html" || f == "text/html") {
      *format = Format::kHtml;
    } else if (xmlAllowed && (f == "xml" || f == "application/xml")) {
      *format = Format::kXml;
    } else {
      *error = {400, "InvalidParameterValue", "unsupported format f=" + f};
      return false;
    }
    return true;
  }
  const std::string accept = req.get_header_value("Accept");
  const auto html = accept.find("text/html");
  const auto jsonAt = accept.find("json");
  *format = html != std::string::npos && (jsonAt == std::string::npos || html < jsonAt)
                ? Format::kHtml
                : Format::kJson;
  return true;
}

// Answers `doc` as JSON, or as the page the pages make of it.
void SendDocument(const httplib::Request& req, httplib::Response& res, const ServiceContext& ctx,
                  pages::Page page, const json& doc, Format format, const char* type,
                  pages::PageContext pc = {}) {
  if (format == Format::kHtml) {
    pc.baseUrl = ctx.BaseUrl(req);
    pc.requestPath = req.path;
    const auto q = req.target.find('?');
    if (q != std::string::npos) pc.query = req.target.substr(q + 1);
    std::string html;
    if (pages::RenderPage(page, doc, pc, &html)) {
      res.set_content(html, "text/html; charset=utf-8");
      return;
    }
  }
  res.set_content(doc.dump(), type);
}

json Link(const std::string& href, const std::string& rel, const std::string& type,
          const std::string& title = std::string()) {
  json l{{"href", href}, {"rel", rel}, {"type", type}};
  if (!title.empty()) l["title"] = title;
  return l;
}

std::string UrlEncode(const std::string& s) {
  std::string out;
  static const char* const kHex = "0123456789ABCDEF";
  for (unsigned char c : s) {
    if (std::isalnum(c) != 0 || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

json CollectionDocument(Connection& conn, const CollectionInfo& info, const std::string& base) {
  const std::string self = base + "/collections/" + UrlEncode(info.name);
  json doc{
      {"id", info.name},
      {"title", info.name},
      {"description", info.remark.empty() ? "Records on schema " + info.schemaName : info.remark},
      {"itemType", "record"},
      {"type", "Collection"},
      {"links",
       json::array({Link(self, "self", kJson, "this collection"),
                    Link(self + "/items", "items", kGeoJson, "the records"),
                    Link(self + "/queryables", "http://www.opengis.net/def/rel/ogc/1.0/queryables",
                         "application/schema+json", "what the records can be searched by"),
                    Link(base + "/collections", "collection", kJson, "all collections")})}};
  if (OpenCollection* c = conn.FindById(info.id); c != nullptr) {
    std::int32_t count = 0;
    if (c->set().GetNum(&count) == 1) doc["numberOfRecords"] = count;
    doc["schema"] = info.schemaName;
  }
  return doc;
}

json RecordFeature(const RecordView& r, const std::string& base) {
  const std::string collection = base + "/collections/" + UrlEncode(r.collection);
  const std::string self = collection + "/items/" + std::to_string(r.id);
  json properties{{"type", r.type.empty() ? "dataset" : r.type}, {"title", r.title}};
  if (!r.abstract.empty()) properties["description"] = r.abstract;
  if (!r.keywords.empty()) properties["keywords"] = r.keywords;
  if (!r.modified.empty()) properties["updated"] = r.modified;
  if (!r.date.empty()) properties["created"] = r.date;
  if (!r.creators.empty()) {
    json contacts = json::array();
    for (const std::string& c : r.creators) contacts.push_back(json{{"name", c}});
    properties["contacts"] = contacts;
  }
  json links =
      json::array({Link(self, "self", kGeoJson, "this record"),
                   Link(self + "?f=xml", "alternate", "application/xml", "the record as stored"),
                   Link(collection, "collection", kJson, r.collection)});
  for (const std::string& l : r.links) links.push_back(json{{"href", l}, {"rel", "related"}});
  json geometry = nullptr;
  if (r.hasBox) {
    geometry = json{
        {"type", "Polygon"},
        {"coordinates",
         json::array({json::array({json::array({r.west, r.south}), json::array({r.east, r.south}),
                                   json::array({r.east, r.north}), json::array({r.west, r.north}),
                                   json::array({r.west, r.south})})})}};
  }
  json f{{"id", std::to_string(r.id)},
         {"type", "Feature"},
         {"geometry", geometry},
         {"properties", properties},
         {"links", links}};
  if (r.hasBox) f["bbox"] = json::array({r.west, r.south, r.east, r.north});
  return f;
}

bool ParseNumberList(const std::string& text, std::vector<double>* out) {
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    double v = 0;
    if (!base::ParseDouble(part, &v)) return false;
    out->push_back(v);
  }
  return true;
}

bool ParseCount(const std::string& text, std::int64_t* out) {
  return ParseWholeNumber(text, out);
}

// The constraint of an items request: q, bbox, datetime and filter, all
// joined by "and".
bool ItemsFilter(const httplib::Request& req, Filter* out, ApiError* error) {
  std::vector<Filter> parts;
  if (req.has_param("q")) {
    // Comma-separated terms: a record matches any of them.
    std::vector<Filter> terms;
    std::stringstream in(req.get_param_value("q"));
    std::string term;
    while (std::getline(in, term, ',')) {
      if (term.find_first_not_of(' ') == std::string::npos) continue;
      Filter t;
      t.kind = Filter::Kind::kLike;
      t.property = "q";
      t.value = "%" + NormalizeLikePattern(term, '\x02', '\x03', '\0') + "%";
      terms.push_back(std::move(t));
    }
    if (terms.size() > kMaxFilterConditions) {
      *error = {400, "InvalidParameterValue", "too many terms in q"};
      return false;
    }
    if (!terms.empty()) parts.push_back(Filter::Combine(Filter::Kind::kOr, std::move(terms)));
  }
  // An empty bbox (a search form's empty field) asks for no box.
  if (req.has_param("bbox") && !req.get_param_value("bbox").empty()) {
    std::vector<double> v;
    if (!ParseNumberList(req.get_param_value("bbox"), &v) || (v.size() != 4 && v.size() != 6)) {
      *error = {400, "InvalidParameterValue", "bbox takes 4 or 6 numbers: west,south,east,north"};
      return false;
    }
    Filter b;
    b.kind = Filter::Kind::kBBox;
    b.property = "geometry";
    const bool six = v.size() == 6;
    b.box[0] = v[0];
    b.box[1] = v[1];
    b.box[2] = v[six ? 3 : 2];
    b.box[3] = v[six ? 4 : 3];
    parts.push_back(std::move(b));
  }
  if (req.has_param("datetime")) {
    // An instant or an interval "start/end" with ".." for an open end,
    // compared with each record's publication date.
    const std::string dt = req.get_param_value("datetime");
    const auto slash = dt.find('/');
    Filter d;
    d.property = "dc:date";
    if (slash == std::string::npos) {
      d.kind = Filter::Kind::kCompare;
      d.op = "=";
      d.value = dt;
    } else {
      const std::string a = dt.substr(0, slash);
      const std::string b = dt.substr(slash + 1);
      const bool openA = a.empty() || a == "..";
      const bool openB = b.empty() || b == "..";
      if (openA && openB) {
        d.kind = Filter::Kind::kAll;
      } else if (openA) {
        d.kind = Filter::Kind::kCompare;
        d.op = "<=";
        d.value = b;
      } else if (openB) {
        d.kind = Filter::Kind::kCompare;
        d.op = ">=";
        d.value = a;
      } else {
        d.kind = Filter::Kind::kBetween;
        d.value = a;
        d.value2 = b;
      }
    }
    if (d.kind != Filter::Kind::kAll) parts.push_back(std::move(d));
  }
  if (req.has_param("filter")) {
    const std::string lang =
        req.has_param("filter-lang") ? req.get_param_value("filter-lang") : "cql2-text";
    if (lang != "cql2-text" && lang != "cql-text") {
      *error = {400, "InvalidParameterValue", "filter-lang " + lang + " is not supported"};
      return false;
    }
    Filter f;
    FilterError fe;
    if (!ParseCql(req.get_param_value("filter"), &f, &fe)) {
      *error = {400, "InvalidParameterValue", "filter: " + fe.message};
      return false;
    }
    parts.push_back(std::move(f));
  }
  *out = parts.empty() ? Filter::All() : Filter::Combine(Filter::Kind::kAnd, std::move(parts));
  FilterError fe;
  if (!CheckFilterBounds(*out, &fe)) {
    *error = {400, "InvalidParameterValue", fe.message};
    return false;
  }
  return true;
}

bool ParseSortBy(const std::string& text, std::vector<SortKey>* out) {
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    SortKey k;
    if (!part.empty() && (part[0] == '+' || part[0] == '-' || part[0] == ' ')) {
      k.descending = part[0] == '-';
      part.erase(0, 1);
    }
    const auto colon = part.rfind(':');
    if (colon != std::string::npos &&
        (part.substr(colon + 1) == "A" || part.substr(colon + 1) == "D")) {
      k.descending = part.substr(colon + 1) == "D";
      part.erase(colon);
    }
    if (part.empty() || out->size() >= 4) return false;
    k.property = part;
    out->push_back(std::move(k));
  }
  return !out->empty();
}

ApiError FromEval(const EvalError& e) {
  if (e.kind == EvalError::Kind::kFailed) return {500, "ServerError", e.message};
  return {400, "InvalidParameterValue", e.message};
}

class Api {
 public:
  explicit Api(const ServiceContext& ctx) : ctx_(ctx) {}

  // Runs `body` with a borrowed connection; a pool that cannot open one
  // answers 503.
  template <typename Body>
  void WithConnection(httplib::Response& res, Body body) const {
    std::string error;
    Lease lease = ctx_.pool->Acquire(&error);
    if (!lease) {
      SendError(res, {503, "ServiceUnavailable", "the catalog cannot be opened: " + error});
      return;
    }
    body(*lease);
  }

  // Runs `body` with a borrowed connection and the collection named in the
  // path (never null); answers 503 or 404 itself when there is none.
  template <typename Body>
  void WithCollection(const httplib::Request& req, httplib::Response& res, Body body) const {
    WithConnection(res, [&](Connection& conn) {
      OpenCollection* c = PathCollection(conn, req, res);
      if (c != nullptr) body(conn, c);
    });
  }

  void Landing(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    const std::string base = ctx_.BaseUrl(req);
    json doc{{"title", "metashelf catalog '" + ctx_.catalogName + "'"},
             {"description",
              "Geographic metadata records, searchable over OGC API - Records "
              "and CSW 2.0.2 (at /csw)"},
             {"links",
              json::array({Link(base + "/", "self", kJson, "this document"),
                           Link(base + "/api", "service-desc",
                                "application/vnd.oai.openapi+json;version=3.0", "the API"),
                           Link(base + "/conformance", "conformance", kJson, "conformance classes"),
                           Link(base + "/collections", "data", kJson, "the collections"),
                           Link(base + "/csw?service=CSW&version=2.0.2&request=GetCapabilities",
                                "alternate", "application/xml", "CSW 2.0.2 capabilities")})}};
    if (format != Format::kHtml)
      return SendDocument(req, res, ctx_, pages::Page::kLanding, doc, format, kJson);
    // The page lists the collections with their record counts.
    WithConnection(res, [&](Connection& conn) {
      json list = json::array();
      for (const CollectionInfo& info : conn.Collections()) {
        list.push_back(CollectionDocument(conn, info, base));
      }
      doc["collections"] = list;
      SendDocument(req, res, ctx_, pages::Page::kLanding, doc, format, kJson);
    });
  }

  void Conformance(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    SendDocument(req, res, ctx_, pages::Page::kConformance,
                 json{{"conformsTo", ConformanceClasses()}}, format, kJson);
  }

  void Api_(const httplib::Request& req, httplib::Response& res) const {
    res.set_content(OpenApiDocument(ctx_.BaseUrl(req), ctx_.maxRecords).dump(),
                    "application/vnd.oai.openapi+json;version=3.0");
  }

  void Collections(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    WithConnection(res, [&](Connection& conn) {
      const std::string base = ctx_.BaseUrl(req);
      json list = json::array();
      for (const CollectionInfo& info : conn.Collections()) {
        list.push_back(CollectionDocument(conn, info, base));
      }
      json doc{{"collections", list},
               {"links", json::array({Link(base + "/collections", "self", kJson)})}};
      SendDocument(req, res, ctx_, pages::Page::kCollections, doc, format, kJson);
    });
  }

  // The collection named in the path, or an answered 404.
  OpenCollection* PathCollection(Connection& conn, const httplib::Request& req,
                                 httplib::Response& res) const {
    const std::string name = req.matches[1];
    OpenCollection* c = conn.Find(name);
    if (c == nullptr) SendError(res, {404, "NotFound", "no collection '" + name + "'"});
    return c;
  }

  void Collection(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    WithCollection(req, res, [&](Connection& conn, OpenCollection* c) {
      for (const CollectionInfo& info : conn.Collections()) {
        if (info.id != c->id()) continue;
        SendDocument(req, res, ctx_, pages::Page::kCollection,
                     CollectionDocument(conn, info, ctx_.BaseUrl(req)), format, kJson);
        return;
      }
      SendError(res, {404, "NotFound", "no collection '" + c->name() + "'"});
    });
  }

  void Queryables(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    WithCollection(req, res, [&](Connection&, OpenCollection* c) {
      json properties = json::object();
      for (const QueryableDef& q : KnownQueryables()) {
        // The plain names are this interface's own; the prefixed ones are
        // CSW's.
        if (std::string(q.name).find(':') != std::string::npos) continue;
        if (!QueryableAvailable(*c, q)) continue;
        json p{{"title", q.name}};
        if (std::string(q.type) == "geometry") {
          p["format"] = "geometry-polygon";
        } else {
          p["type"] = q.type;
        }
        properties[q.name] = p;
      }
      json doc{{"$schema", "https://json-schema.org/draft/2020-12/schema"},
               {"$id", ctx_.BaseUrl(req) + "/collections/" + UrlEncode(c->name()) + "/queryables"},
               {"type", "object"},
               {"title", c->name()},
               {"properties", properties}};
      SendDocument(req, res, ctx_, pages::Page::kQueryables, doc, format,
                   "application/schema+json");
    });
  }

  void Items(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, false, &format, &error)) return SendError(res, error);
    QueryRequest q;
    q.limit = ctx_.defaultRecords;
    if (req.has_param("limit")) {
      if (!ParseCount(req.get_param_value("limit"), &q.limit) || q.limit < 1) {
        return SendError(res, {400, "InvalidParameterValue", "limit takes a whole number >= 1"});
      }
      q.limit = std::min(q.limit, ctx_.maxRecords);
    }
    if (req.has_param("offset") && !ParseCount(req.get_param_value("offset"), &q.offset)) {
      return SendError(res, {400, "InvalidParameterValue", "offset takes a whole number >= 0"});
    }
    if (req.has_param("sortby") && !ParseSortBy(req.get_param_value("sortby"), &q.sort)) {
      return SendError(res, {400, "InvalidParameterValue", "sortby takes [+|-]property,..."});
    }
    if (!ItemsFilter(req, &q.filter, &error)) return SendError(res, error);
    WithCollection(req, res, [&](Connection&, OpenCollection* c) {
      q.collections.push_back(c);
      if (req.has_param("where") && !req.get_param_value("where").empty()) {
        // Conditions written as `metashelf search` takes them (the pages'
        // search form), joined to the others by "and".
        Filter where;
        std::string why;
        if (!pages::WhereFilter(req.get_param_value("where"), *c, &where, &why)) {
          return SendError(res, {400, "InvalidParameterValue", why});
        }
        q.filter =
            q.filter.kind == Filter::Kind::kAll
                ? std::move(where)
                : Filter::Combine(Filter::Kind::kAnd, {std::move(q.filter), std::move(where)});
        FilterError fe;
        if (!CheckFilterBounds(q.filter, &fe)) {
          return SendError(res, {400, "InvalidParameterValue", fe.message});
        }
      }
      QueryResult result;
      EvalError ee;
      if (!RunQuery(q, &result, &ee)) return SendError(res, FromEval(ee));
      const std::string base = ctx_.BaseUrl(req);
      json features = json::array();
      for (const QueryHit& hit : result.page) {
        RecordView view;
        std::string why;
        if (!LoadRecord(*hit.collection, hit.id, false, &view, &why)) {
          return SendError(res, {500, "ServerError", why});
        }
        features.push_back(RecordFeature(view, base));
      }
      const std::string self = base + "/collections/" + UrlEncode(c->name()) + "/items";
      json links =
          json::array({Link(self + PageQuery(req, q.offset, q.limit), "self", kGeoJson),
                       Link(base + "/collections/" + UrlEncode(c->name()), "collection", kJson)});
      const std::int64_t returned = static_cast<std::int64_t>(result.page.size());
      if (q.offset + returned < result.matched) {
        links.push_back(Link(self + PageQuery(req, q.offset + q.limit, q.limit), "next", kGeoJson));
      }
      if (q.offset > 0) {
        links.push_back(
            Link(self + PageQuery(req, std::max<std::int64_t>(0, q.offset - q.limit), q.limit),
                 "prev", kGeoJson));
      }
      json doc{{"type", "FeatureCollection"},
               {"features", features},
               {"numberMatched", result.matched},
               {"numberReturned", returned},
               {"links", links}};
      SendDocument(req, res, ctx_, pages::Page::kItems, doc, format, kGeoJson);
    });
  }

  void Item(const httplib::Request& req, httplib::Response& res) const {
    Format format;
    ApiError error;
    if (!ChooseFormat(req, true, &format, &error)) return SendError(res, error);
    WithCollection(req, res, [&](Connection& conn, OpenCollection* c) {
      const std::string idText = req.matches[2];
      std::int64_t id = 0;
      if (!ParseCount(idText, &id) || conn.CollectionOfRecord(id) != c) {
        return SendError(
            res, {404, "NotFound", "no record '" + idText + "' in collection '" + c->name() + "'"});
      }
      RecordView view;
      std::string why;
      if (!LoadRecord(*c, id, format != Format::kJson, &view, &why)) {
        return SendError(res, {500, "ServerError", why});
      }
      if (format == Format::kXml) {
        res.set_content(view.xml, "application/xml");
        return;
      }
      // The page shows the stored record and offers its attachment.
      pages::PageContext pc;
      if (format == Format::kHtml) {
        std::int32_t size = 0;
        pc.recordXml = std::move(view.xml);
        pc.hasAttachment = c->set().GetMetaAdditionalSize(id, size) == 1;
      }
      SendDocument(req, res, ctx_, pages::Page::kItem, RecordFeature(view, ctx_.BaseUrl(req)),
                   format, kGeoJson, std::move(pc));
    });
  }

  // The record's attachment, as stored.
  void Attachment(const httplib::Request& req, httplib::Response& res) const {
    WithCollection(req, res, [&](Connection& conn, OpenCollection* c) {
      const std::string idText = req.matches[2];
      std::int64_t id = 0;
      std::int32_t size = 0;
      if (!ParseCount(idText, &id) || conn.CollectionOfRecord(id) != c ||
          c->set().GetMetaAdditionalSize(id, size) != 1 || size < 0) {
        return SendError(
            res, {404, "NotFound",
                  "record '" + idText + "' of collection '" + c->name() + "' has no attachment"});
      }
      std::string data(static_cast<std::size_t>(size), '\0');
      if (size > 0 && c->set().GetMetaAdditional(id, data.data(), size) != 1) {
        return SendError(res, {500, "ServerError", "the attachment cannot be read"});
      }
      res.set_header("Content-Disposition",
                     "attachment; filename=\"record-" + std::to_string(id) + "-attachment\"");
      res.set_content(data, "application/octet-stream");
    });
  }

 private:
  // The request's own query with offset and limit replaced.
  static std::string PageQuery(const httplib::Request& req, std::int64_t offset,
                               std::int64_t limit) {
    std::string q = "?offset=" + std::to_string(offset) + "&limit=" + std::to_string(limit);
    for (const auto& [key, value] : req.params) {
      if (key == "offset" || key == "limit") continue;
      q += "&" + UrlEncode(key) + "=" + UrlEncode(value);
    }
    return q;
  }

  const ServiceContext& ctx_;
};

}  // namespace

const std::vector<std::string>& ConformanceClasses() {
  static const std::vector<std::string> kClasses = {
      "http://www.opengis.net/spec/ogcapi-common-1/1.0/conf/core",
      "http://www.opengis.net/spec/ogcapi-common-2/1.0/conf/collections",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/core",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/record-core",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/record-collection",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/searchable-catalog",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/searchable-catalog/sorting",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/searchable-catalog/filtering",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/sorting",
      "http://www.opengis.net/spec/ogcapi-records-1/1.0/conf/json",
      "http://www.opengis.net/spec/ogcapi-features-1/1.0/conf/geojson",
      "http://www.opengis.net/spec/ogcapi-features-3/1.0/conf/filter",
      "http://www.opengis.net/spec/ogcapi-features-3/1.0/conf/features-filter",
      "http://www.opengis.net/spec/cql2/1.0/conf/cql2-text",
      "http://www.opengis.net/spec/cql2/1.0/conf/basic-cql2",
  };
  return kClasses;
}

void AddOgcApiRoutes(httplib::Server& server, const ServiceContext& context) {
  using Handler = void (Api::*)(const httplib::Request&, httplib::Response&) const;
  // In the order they are tried: an attachment's path before its item's.
  static const struct {
    const char* pattern;
    Handler handler;
  } kRoutes[] = {
      {"/", &Api::Landing},
      {"/conformance", &Api::Conformance},
      {"/api", &Api::Api_},
      {"/collections", &Api::Collections},
      {"/collections/([^/]+)", &Api::Collection},
      {"/collections/([^/]+)/queryables", &Api::Queryables},
      {"/collections/([^/]+)/items", &Api::Items},
      {"/collections/([^/]+)/items/([^/]+)/attachment", &Api::Attachment},
      {"/collections/([^/]+)/items/([^/]+)", &Api::Item},
  };
  auto api = std::make_shared<Api>(context);
  for (const auto& route : kRoutes) {
    server.Get(route.pattern,
               [api, handler = route.handler](const httplib::Request& q, httplib::Response& r) {
                 ((*api).*handler)(q, r);
               });
  }
}

}  // namespace metashelf::server

// The OpenAPI description of the JSON interface, written from the routes it
// serves and the parameters they take.
#include <httplib.h>

#include "ogcapi/ogcapi_service.h"

namespace metashelf::server {

using nlohmann::json;

namespace {

json Param(const char* name, const char* in, json schema, const char* description,
           bool required = false) {
  return json{{"name", name},
              {"in", in},
              {"required", required},
              {"schema", std::move(schema)},
              {"description", description}};
}

json Get(const char* summary, json parameters, const char* type) {
  return json{{"get",
               {{"summary", summary},
                {"parameters", std::move(parameters)},
                {"responses",
                 {{"200", {{"description", "success"}, {"content", {{type, json::object()}}}}},
                  {"400", {{"description", "a parameter is refused"}}},
                  {"404", {{"description", "no such collection or record"}}}}}}}};
}

}  // namespace

json OpenApiDocument(const std::string& baseUrl, std::int64_t maxRecords) {
  const json f =
      Param("f", "query", {{"type", "string"}, {"enum", {"json", "html"}}}, "the answer's format");
  const json collectionId =
      Param("collectionId", "path", {{"type", "string"}}, "a collection's name", true);
  const json items = json::array(
      {collectionId, f,
       Param("q", "query", {{"type", "string"}}, "free text; comma-separated terms match any"),
       Param("bbox", "query",
             {{"type", "array"}, {"minItems", 4}, {"maxItems", 6}, {"items", {{"type", "number"}}}},
             "west,south,east,north in degrees"),
       Param("datetime", "query", {{"type", "string"}},
             "a date or an interval start/end (.. for open) of publication"),
       Param("limit", "query",
             {{"type", "integer"}, {"minimum", 1}, {"maximum", maxRecords}, {"default", 10}},
             "records per page (larger values are cut to the maximum)"),
       Param("offset", "query", {{"type", "integer"}, {"minimum", 0}, {"default", 0}},
             "records skipped"),
       Param("sortby", "query", {{"type", "string"}}, "[+|-]queryable,... "),
       Param("filter", "query", {{"type", "string"}}, "a CQL2 text constraint"),
       Param("filter-lang", "query", {{"type", "string"}, {"enum", {"cql2-text"}}},
             "the constraint's language")});
  json paths{
      {"/", Get("landing page", json::array({f}), "application/json")},
      {"/conformance", Get("conformance classes", json::array({f}), "application/json")},
      {"/api", Get("this document", json::array(), "application/vnd.oai.openapi+json;version=3.0")},
      {"/collections", Get("the collections", json::array({f}), "application/json")},
      {"/collections/{collectionId}",
       Get("one collection", json::array({collectionId, f}), "application/json")},
      {"/collections/{collectionId}/queryables",
       Get("what the records can be searched by", json::array({collectionId, f}),
           "application/schema+json")},
      {"/collections/{collectionId}/items", Get("search records", items, "application/geo+json")},
      {"/collections/{collectionId}/items/{recordId}",
       Get("one record",
           json::array({collectionId,
                        Param("recordId", "path", {{"type", "string"}}, "a record id", true),
                        Param("f", "query", {{"type", "string"}, {"enum", {"json", "html", "xml"}}},
                              "the answer's format; xml is the record as stored")}),
           "application/geo+json")},
      {"/csw", Get("the CSW 2.0.2 interface (also POST)", json::array(), "application/xml")},
  };
  return json{{"openapi", "3.0.3"},
              {"info",
               {{"title", "metashelf catalog"},
                {"version", "1.0.0"},
                {"description", "OGC API - Records over a metashelf catalog"}}},
              {"servers", json::array({json{{"url", baseUrl}}})},
              {"paths", paths}};
}

}  // namespace metashelf::server

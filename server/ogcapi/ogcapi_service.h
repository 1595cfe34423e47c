// The JSON interface of the catalog (OGC API - Records): landing page,
// conformance, collections, queryables, record searches and single
// records as GeoJSON features, the stored record as XML, and the API
// description at /api. Errors are JSON documents with their HTTP status.
#ifndef METASHELF_SERVER_OGCAPI_OGCAPI_SERVICE_H_
#define METASHELF_SERVER_OGCAPI_OGCAPI_SERVICE_H_

#include <nlohmann/json.hpp>
#include <string>

#include "http/service.h"

namespace httplib {
class Server;
}

namespace metashelf::server {

void AddOgcApiRoutes(httplib::Server& server, const ServiceContext& context);

// The OpenAPI document of the interface.
nlohmann::json OpenApiDocument(const std::string& baseUrl, std::int64_t maxRecords);

// The conformance classes the interface declares.
const std::vector<std::string>& ConformanceClasses();

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_OGCAPI_OGCAPI_SERVICE_H_

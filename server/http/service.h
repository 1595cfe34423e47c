// What every protocol handler of the server shares: the connection pool,
// the limits, and the base URL that links in answers start with.
#ifndef METASHELF_SERVER_HTTP_SERVICE_H_
#define METASHELF_SERVER_HTTP_SERVICE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/catalog_pool.h"

namespace httplib {
struct Request;
}

namespace metashelf::server {

struct ServiceContext {
  ConnectionPool* pool = nullptr;
  std::string catalogName;
  // As configured (--base-url); empty: taken from each request's Host.
  std::string fixedBaseUrl;
  // The most records one answer holds (maxRecords, limit).
  std::int64_t maxRecords = 1000;
  std::int64_t defaultRecords = 10;

  // "http://host:port" without a trailing slash.
  std::string BaseUrl(const httplib::Request& request) const;
};

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_HTTP_SERVICE_H_

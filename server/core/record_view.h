// A record as the catalog protocols show it: the values of its aliased
// nodes (title, abstract, keywords, bounds, dates, links) for the Dublin
// Core and GeoJSON forms, and the stored record itself, rebuilt exactly as
// `metashelf get` prints it.
#ifndef METASHELF_SERVER_CORE_RECORD_VIEW_H_
#define METASHELF_SERVER_CORE_RECORD_VIEW_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/catalog_pool.h"

namespace metashelf::server {

struct RecordView {
  std::int64_t id = 0;
  std::string collection;
  std::string title;
  std::string abstract;
  std::vector<std::string> keywords;
  std::string type;
  std::string modified;
  std::string date;  // publication date
  std::vector<std::string> creators;
  std::vector<std::string> links;
  bool hasBox = false;
  double west = 0, east = 0, south = 0, north = 0;
  std::string xml;  // the stored record (when asked for)
};

// Reads record `id` of `collection`. `withXml` also rebuilds the record.
// False with `error` set when the record cannot be read.
bool LoadRecord(OpenCollection& collection, std::int64_t id, bool withXml, RecordView* out,
                std::string* error);

// `xml` without a leading XML declaration, for embedding in a response.
std::string WithoutDeclaration(const std::string& xml);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_RECORD_VIEW_H_

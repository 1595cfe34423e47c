// The XML that the CSW interface writes: exception reports, Dublin Core
// records at the three element sets, and the output schemas that each
// collection's own records are known by.
#ifndef METASHELF_SERVER_CSW_CSW_OUTPUT_H_
#define METASHELF_SERVER_CSW_CSW_OUTPUT_H_

#include <pugixml.hpp>
#include <string>
#include <vector>

#include "core/catalog_pool.h"
#include "core/record_view.h"

namespace metashelf::server::csw {

constexpr const char* kCswNs = "http://www.opengis.net/cat/csw/2.0.2";
constexpr const char* kDcNs = "http://purl.org/dc/elements/1.1/";
constexpr const char* kDctNs = "http://purl.org/dc/terms/";
constexpr const char* kOwsNs = "http://www.opengis.net/ows";
constexpr const char* kOgcNs = "http://www.opengis.net/ogc";
constexpr const char* kGmlNs = "http://www.opengis.net/gml";
constexpr const char* kXsiNs = "http://www.w3.org/2001/XMLSchema-instance";

enum class ElementSet { kBrief, kSummary, kFull };

// A failure as the client sees it.
struct CswError {
  int status = 400;
  std::string code;     // exceptionCode
  std::string locator;  // the parameter at fault (may be empty)
  std::string text;
};

std::string ExceptionReport(const CswError& error);

// Appends the Dublin Core form of `record` to `parent`.
void AppendDublinCore(pugi::xml_node parent, const RecordView& record, ElementSet set);

// The output schema names a collection's own records are known by: the
// namespace of its root element, or for an unqualified root the element's
// name and the catalog name clients use for such records.
std::vector<std::string> NativeSchemaNames(OpenCollection& collection,
                                           const std::string& schemaText);

// The document as text, with the comment placeholders written by
// PlaceRecord replaced by the records' own bytes.
std::string Serialize(const pugi::xml_document& doc, const std::vector<std::string>& records);

// Appends a placeholder for records[index] to `parent`.
void PlaceRecord(pugi::xml_node parent, std::size_t index);

}  // namespace metashelf::server::csw

#endif  // METASHELF_SERVER_CSW_CSW_OUTPUT_H_

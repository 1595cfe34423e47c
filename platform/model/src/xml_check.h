// The check every rebuilt record passes before it is handed out: UTF-8
// throughout and well-formed XML. A record whose stored parts were damaged
// (bytes of the database file overwritten, a bad disk) rebuilds into text
// that fails it, and is refused rather than passed on.
#ifndef METASHELF_MODEL_SRC_XML_CHECK_H_
#define METASHELF_MODEL_SRC_XML_CHECK_H_

#include <string>
#include <string_view>

namespace metashelf::model {

// True when `xml` is UTF-8 and well-formed XML; otherwise false with
// `*reason` saying what is wrong and where.
bool WellFormedUtf8Xml(std::string_view xml, std::string* reason);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_SRC_XML_CHECK_H_

// The references that stand for markup characters in XML values.
#ifndef METASHELF_BASE_XML_ESCAPE_H_
#define METASHELF_BASE_XML_ESCAPE_H_

#include <string_view>

namespace metashelf::base {

// The reference written for `c` in XML text or an attribute value: "&amp;",
// "&lt;", "&gt;", "&quot;" and "&apos;" for the markup characters, "&#9;",
// "&#10;" and "&#13;" for tab, line feed and carriage return (which an
// attribute value would otherwise lose); empty for any other byte.
std::string_view XmlReference(char c);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_XML_ESCAPE_H_

// A stored record (XML) as readable HTML sections: each top-level part a
// <section> with a heading, the rest nested definition lists, element names
// turned into words, and the wrapper elements some encodings put around
// every value folded into the element they wrap.
#ifndef METASHELF_SERVER_PAGES_RECORD_VIEW_H_
#define METASHELF_SERVER_PAGES_RECORD_VIEW_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace metashelf::pages {

// A readable label for an element name: the namespace prefix dropped, the
// label table consulted (short names such as "idinfo"), otherwise class
// prefixes ("MD_", "CI_") dropped and camelCase and underscores split into
// words, first letter capitalised.
std::string LabelFor(std::string_view elementName);

// The record as sections. At most `maxNodes` elements are drawn; a longer
// record ends with a note that the rest is in the XML download. Text that
// is not well-formed XML gives a paragraph saying so.
std::string RenderRecordSections(std::string_view xml, std::size_t maxNodes = 4000);

}  // namespace metashelf::pages

#endif  // METASHELF_SERVER_PAGES_RECORD_VIEW_H_

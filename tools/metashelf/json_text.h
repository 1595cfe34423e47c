// Texts in the tool's JSON output: every string a command prints as JSON
// goes through JsonString, so that no title or path can break the document.
#ifndef METASHELF_TOOLS_JSON_TEXT_H_
#define METASHELF_TOOLS_JSON_TEXT_H_

#include <string>

namespace metashelf::cli {

// `text` as a JSON string literal, quotes included. Control characters are
// escaped; bytes that are not valid UTF-8 become U+FFFD.
std::string JsonString(const std::string& text);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_JSON_TEXT_H_

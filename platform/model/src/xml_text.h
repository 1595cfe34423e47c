// Values as XML writes them: where a value sits (character data, CDATA,
// attribute values), decoding it to what a parser reports, the default
// escaping the rebuild writes, and XML white space.
#ifndef METASHELF_MODEL_XML_TEXT_H_
#define METASHELF_MODEL_XML_TEXT_H_

#include <string>
#include <string_view>

namespace metashelf::model {

// Where a value sits in the record; decides its decoding and escaping.
enum class ValueContext : char {
  kText = 't',        // character data of an element
  kCdata = 'c',       // the whole content of one CDATA section
  kAttrDouble = 'a',  // attribute value between double quotes
  kAttrSingle = 'q',  // attribute value between single quotes
};

bool IsValueContext(char c);

// Decodes raw markup into the value an XML parser reports: references are
// resolved, line ends normalised (and, in attributes, tab/line breaks become
// blanks). Returns false when `raw` holds a reference to an entity other
// than the five predefined ones, or a malformed reference.
bool DecodeValue(std::string_view raw, ValueContext context, std::string& out);

// Appends `value` as the rebuild writes it when the value label keeps no
// other form: & < > escaped in text, quotes and tab/line breaks too in
// attributes; `crlf` writes line feeds of text as CR LF.
void AppendEscaped(std::string_view value, ValueContext context, bool crlf, std::string& out);
// False when AppendEscaped would write `value` unchanged (whatever `crlf`).
bool NeedsEscaping(std::string_view value, ValueContext context);

// XML white space: blank, tab, line feed, carriage return.
inline bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_XML_TEXT_H_

// Values inside XML: decoding character data and attribute values, the
// default escaping the rebuild writes, number and date forms, and the data
// type names of schema texts with their table types.
#ifndef METASHELF_MODEL_XML_VALUES_H_
#define METASHELF_MODEL_XML_VALUES_H_

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

// Number forms. A number is [+-]digits[.digits][e[+-]digits] (or starting
// with the point), finite.
bool ParseNumber(std::string_view text, double& value);
// The canonical text of a number: the shortest that reads back as the same
// double; for integer data types the integer.
std::string FormatNumber(double value, bool integer);
// Integers of integer-typed nodes must be exact in a double.
bool IsExactInteger(double value);

// A full date YYYY-MM-DD that exists (year 0001 to 9999).
bool IsFullDate(std::string_view text);

// XML white space: blank, tab, line feed, carriage return.
inline bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Data type names of schema texts.
bool IsKnownDataType(std::string_view name);
bool IsIntegerDataType(std::string_view name);
// 2 for number types, 3 for "date", 1 for every other type (and for
// compound nodes, which have none).
short TableTypeOf(std::string_view dataType);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_XML_VALUES_H_

// Decoding, escaping, number and date forms, data type names.
#include "xml_values.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/xml_escape.h"
#include "text_codec.h"

namespace metashelf::model {
namespace {

constexpr std::string_view kIntegerTypes[] = {"integer",
                                              "int",
                                              "long",
                                              "short",
                                              "byte",
                                              "nonNegativeInteger",
                                              "positiveInteger",
                                              "negativeInteger",
                                              "nonPositiveInteger",
                                              "unsignedLong",
                                              "unsignedInt",
                                              "unsignedShort",
                                              "unsignedByte"};
constexpr std::string_view kFractionTypes[] = {"decimal", "float", "double"};
constexpr std::string_view kTextTypes[] = {
    "string", "normalizedString", "token",  "anyURI", "boolean",   "dateTime",     "time",
    "gYear",  "gYearMonth",       "gMonth", "gDay",   "gMonthDay", "duration",     "language",
    "Name",   "NCName",           "QName",  "ID",     "IDREF",     "base64Binary", "hexBinary",
    "NMTOKEN"};

bool ParseCharRef(std::string_view ref, unsigned& cp) {
  // ref is what stands between "&#" and ";".
  if (ref.empty()) return false;
  int base = 10;
  if (ref[0] == 'x') {
    base = 16;
    ref.remove_prefix(1);
    if (ref.empty()) return false;
  }
  unsigned long long v = 0;
  for (char c : ref) {
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      return false;
    }
    v = v * base + d;
    if (v > 0x10FFFF) return false;
  }
  cp = static_cast<unsigned>(v);
  if (cp < 0x20) return cp == 0x9 || cp == 0xA || cp == 0xD;
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;
  return cp != 0xFFFE && cp != 0xFFFF;
}

}  // namespace

bool IsValueContext(char c) {
  return c == 't' || c == 'c' || c == 'a' || c == 'q';
}

bool DecodeValue(std::string_view raw, ValueContext context, std::string& out) {
  out.clear();
  out.reserve(raw.size());
  const bool attribute =
      context == ValueContext::kAttrDouble || context == ValueContext::kAttrSingle;
  const bool references = context != ValueContext::kCdata;
  std::size_t i = 0;
  const std::size_t n = raw.size();
  while (i < n) {
    const char c = raw[i];
    if (c == '\r') {
      out.push_back(attribute ? ' ' : '\n');
      i += (i + 1 < n && raw[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    if (attribute && (c == '\n' || c == '\t')) {
      out.push_back(' ');
      ++i;
      continue;
    }
    if (c == '&' && references) {
      const auto semi = raw.find(';', i + 1);
      if (semi == std::string_view::npos) return false;
      const std::string_view name = raw.substr(i + 1, semi - i - 1);
      if (name == "lt") {
        out.push_back('<');
      } else if (name == "gt") {
        out.push_back('>');
      } else if (name == "amp") {
        out.push_back('&');
      } else if (name == "apos") {
        out.push_back('\'');
      } else if (name == "quot") {
        out.push_back('"');
      } else if (!name.empty() && name[0] == '#') {
        unsigned cp = 0;
        if (!ParseCharRef(name.substr(1), cp)) return false;
        AppendUtf8(out, cp);
      } else {
        return false;
      }
      i = semi + 1;
      continue;
    }
    out.push_back(c);
    ++i;
  }
  return true;
}

namespace {

// Bytes that the default writing of each context changes.
struct EscapeTable {
  bool text[256] = {};
  bool attrDouble[256] = {};
  bool attrSingle[256] = {};
  constexpr EscapeTable() {
    for (unsigned char c : {'&', '<', '>', '\r', '\n'}) text[c] = true;
    for (unsigned char c : {'&', '<', '>', '\t', '\n', '\r'}) {
      attrDouble[c] = true;
      attrSingle[c] = true;
    }
    attrDouble[static_cast<unsigned char>('"')] = true;
    attrSingle[static_cast<unsigned char>('\'')] = true;
  }
};
constexpr EscapeTable kEscape;

}  // namespace

bool NeedsEscaping(std::string_view value, ValueContext context) {
  const bool* table = context == ValueContext::kText         ? kEscape.text
                      : context == ValueContext::kAttrDouble ? kEscape.attrDouble
                      : context == ValueContext::kAttrSingle ? kEscape.attrSingle
                                                             : nullptr;
  if (table == nullptr) {
    return value.find('\r') != std::string_view::npos ||
           value.find('\n') != std::string_view::npos ||
           value.find("]]>") != std::string_view::npos;
  }
  for (char c : value) {
    if (table[static_cast<unsigned char>(c)]) return true;
  }
  return false;
}

void AppendEscaped(std::string_view value, ValueContext context, bool crlf, std::string& out) {
  const bool* table = context == ValueContext::kText         ? kEscape.text
                      : context == ValueContext::kAttrDouble ? kEscape.attrDouble
                      : context == ValueContext::kAttrSingle ? kEscape.attrSingle
                                                             : nullptr;
  if (table == nullptr) {  // CDATA
    std::size_t i = 0;
    while (i < value.size()) {
      const char c = value[i];
      if (c == ']' && value.substr(i, 3) == "]]>") {
        out += "]]]]><![CDATA[>";
        i += 3;
        continue;
      }
      if (c == '\n' && crlf) out.push_back('\r');
      out.push_back(c);
      ++i;
    }
    return;
  }
  std::size_t run = 0;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (!table[static_cast<unsigned char>(c)]) continue;
    out.append(value.data() + run, i - run);
    run = i + 1;
    if (c == '\n' && context == ValueContext::kText) {
      if (crlf) out.push_back('\r');
      out.push_back('\n');
    } else {
      out += base::XmlReference(c);
    }
  }
  out.append(value.data() + run, value.size() - run);
}

bool ParseNumber(std::string_view text, double& value) {
  return base::ParseDouble(text, &value);
}

std::string FormatNumber(double value, bool integer) {
  if (integer) {
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(std::trunc(value)));
    return std::string(buffer, r.ptr);
  }
  if (value == 0) value = 0;  // -0 prints as 0, as a stored number reads back
  return base::ShortestDouble(value);
}

bool IsExactInteger(double value) {
  return std::trunc(value) == value && std::fabs(value) <= 9007199254740992.0;
}

bool IsFullDate(std::string_view t) {
  return base::IsCalendarDate(t);
}

bool IsKnownDataType(std::string_view name) {
  for (auto t : kIntegerTypes)
    if (t == name) return true;
  for (auto t : kFractionTypes)
    if (t == name) return true;
  for (auto t : kTextTypes)
    if (t == name) return true;
  return name == "date";
}

bool IsIntegerDataType(std::string_view name) {
  for (auto t : kIntegerTypes)
    if (t == name) return true;
  return false;
}

short TableTypeOf(std::string_view dataType) {
  if (dataType == "date") return 3;
  for (auto t : kFractionTypes)
    if (t == dataType) return 2;
  if (IsIntegerDataType(dataType)) return 2;
  return 1;
}

}  // namespace metashelf::model

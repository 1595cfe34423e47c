// Decoding, escaping, number and date forms, data type names.
#include "xml_values.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

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
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      case '\n':
        if (context != ValueContext::kText) {
          out += "&#10;";
        } else {
          if (crlf) out.push_back('\r');
          out.push_back('\n');
        }
        break;
      default:
        out.push_back(c);
    }
  }
  out.append(value.data() + run, value.size() - run);
}

bool ParseNumber(std::string_view text, double& value) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != n || n > 400) return false;
  // strtod needs a terminated text; the forms above are short.
  std::string copy(text);
  const char* start = copy.c_str();
  if (*start == '+') ++start;
  char* end = nullptr;
  const double v = std::strtod(start, &end);
  if (end == start || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string FormatNumber(double value, bool integer) {
  char buffer[64];
  if (integer) {
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(std::trunc(value)));
    return std::string(buffer, r.ptr);
  }
  if (value == 0) value = 0;  // -0 prints as 0, as a stored number reads back
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, r.ptr);
}

bool IsExactInteger(double value) {
  return std::trunc(value) == value && std::fabs(value) <= 9007199254740992.0;
}

bool IsFullDate(std::string_view t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
  for (int k : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (t[k] < '0' || t[k] > '9') return false;
  }
  const int year = (t[0] - '0') * 1000 + (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0');
  const int month = (t[5] - '0') * 10 + (t[6] - '0');
  const int day = (t[8] - '0') * 10 + (t[9] - '0');
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int last = kDays[month - 1];
  if (month == 2 && ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0)) last = 29;
  return day <= last;
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

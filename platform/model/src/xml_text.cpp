// Values as XML writes them: decoding character data and attribute values
// (references, line ends, attribute blanks) and the default escaping the
// rebuild writes.
#include "xml_text.h"

#include <cstring>

#include "metashelf/base/xml_escape.h"
#include "text_codec.h"

namespace metashelf::model {
namespace {

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

}  // namespace metashelf::model

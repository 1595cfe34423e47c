// JSON quoting and password masking for the tool's output and messages.
#include "text_util.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace metashelf::cli {
namespace {

// Length of the valid UTF-8 sequence at `i`, or 0.
std::size_t Utf8Length(const std::string& s, std::size_t i) {
  const auto c = static_cast<unsigned char>(s[i]);
  std::size_t len = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
  if (len == 0 || i + len > s.size()) return 0;
  if (len == 2 && c < 0xC2) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  }
  return len;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    const std::size_t len = Utf8Length(text, i);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (len > 1) {
      out.append(text, i, len);
      i += len;
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += c;
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string MaskPassword(const std::string& uri) {
  const std::size_t scheme = uri.find("://");
  if (scheme != std::string::npos) {
    const std::size_t start = scheme + 3;
    const std::size_t end = uri.find_first_of("/?#", start);
    const std::size_t at = uri.rfind('@', end == std::string::npos ? uri.size() : end);
    if (at != std::string::npos && at >= start) {
      const std::size_t colon = uri.find(':', start);
      if (colon != std::string::npos && colon < at) {
        return uri.substr(0, colon + 1) + "***" + uri.substr(at);
      }
    }
    // A password may also come as a query parameter.
    std::string out = uri;
    std::size_t p = out.find("password=");
    while (p != std::string::npos) {
      if (p == 0 || out[p - 1] == '?' || out[p - 1] == '&') {
        const std::size_t e = out.find('&', p);
        out = out.substr(0, p + 9) + "***" + (e == std::string::npos ? "" : out.substr(e));
      }
      p = out.find("password=", p + 9);
    }
    return out;
  }
  // libpq conninfo: key = value pairs, values optionally single-quoted.
  std::string out;
  std::size_t i = 0;
  while (i < uri.size()) {
    const std::size_t key = uri.find("password", i);
    if (key == std::string::npos) break;
    std::size_t j = key + 8;
    const bool wordStart = key == 0 || std::isspace(static_cast<unsigned char>(uri[key - 1]));
    while (j < uri.size() && std::isspace(static_cast<unsigned char>(uri[j]))) ++j;
    if (!wordStart || j >= uri.size() || uri[j] != '=') {
      out.append(uri, i, j - i);
      i = j;
      continue;
    }
    ++j;
    while (j < uri.size() && std::isspace(static_cast<unsigned char>(uri[j]))) ++j;
    out.append(uri, i, j - i);
    std::size_t e = j;
    if (e < uri.size() && uri[e] == '\'') {
      ++e;
      while (e < uri.size() && uri[e] != '\'') e += uri[e] == '\\' ? 2 : 1;
      e = std::min(e + 1, uri.size());
    } else {
      while (e < uri.size() && !std::isspace(static_cast<unsigned char>(uri[e]))) ++e;
    }
    out += "***";
    i = e;
  }
  out.append(uri, std::min(i, uri.size()), std::string::npos);
  return out;
}

}  // namespace metashelf::cli

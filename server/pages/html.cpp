// Escaping, percent-encoding and shortening for the HTML pages.
#include "html.h"

#include <cstdint>

namespace metashelf::pages {
namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when the
// bytes there are not one (overlong forms, surrogates and values above
// U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  std::size_t n = 0;
  std::uint32_t cp = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, cp = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && cp < 0x10000) ||
      cp > 0x10FFFF) {
    return 0;
  }
  return n;
}

}  // namespace

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
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
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default: {
        const std::size_t n = Utf8Length(text, i);
        if (n == 0) {
          out += "\xEF\xBF\xBD";
          ++i;
          continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        if (n == 1 && ((u < 0x20 && c != '\t' && c != '\n' && c != '\r') || u == 0x7F)) {
          out += ' ';
        } else {
          out.append(text.substr(i, n));
        }
        i += n;
        continue;
      }
    }
    ++i;
  }
  return out;
}

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0x0F];
    }
  }
  return out;
}

std::string Shorten(std::string_view text, std::size_t limit) {
  std::size_t i = 0, chars = 0, lastSpace = std::string_view::npos;
  while (i < text.size() && chars < limit) {
    if (text[i] == ' ' || text[i] == '\n' || text[i] == '\t') lastSpace = i;
    const std::size_t n = Utf8Length(text, i);
    i += n == 0 ? 1 : n;
    ++chars;
  }
  if (i >= text.size()) return std::string(text);
  // Cut at the last space when it keeps most of the text.
  const std::size_t cut =
      lastSpace != std::string_view::npos && lastSpace > i * 3 / 4 ? lastSpace : i;
  std::string out(text.substr(0, cut));
  while (!out.empty() && (out.back() == ' ' || out.back() == '\n' || out.back() == '\t')) {
    out.pop_back();
  }
  return out + "\xE2\x80\xA6";
}

}  // namespace metashelf::pages

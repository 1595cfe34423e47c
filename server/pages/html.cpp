// Escaping, percent-encoding and shortening for the HTML pages.
#include "html.h"

#include "metashelf/base/utf8.h"
#include "metashelf/base/xml_escape.h"

namespace metashelf::pages {

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    // The markup characters take XML's references, but the apostrophe its
    // number, which every HTML reader knows; tab and line ends stay text.
    if (c == '\'') {
      out += "&#39;";
      ++i;
      continue;
    }
    if (c == '&' || c == '<' || c == '>' || c == '"') {
      out += base::XmlReference(c);
      ++i;
      continue;
    }
    const std::size_t n = base::Utf8CharLength(text, i);
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
    const std::size_t n = base::Utf8CharLength(text, i);
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

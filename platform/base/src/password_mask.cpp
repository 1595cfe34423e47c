// Password masking for messages that show a database address.
#include "metashelf/base/password_mask.h"

#include <algorithm>

namespace metashelf::base {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// `text` with ASCII letters in lower case (same length, same offsets): the
// keyword is found in any case, as a server that refuses "PASSWORD=" would
// still show its value.
std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string MaskUri(std::string_view uri, std::size_t scheme) {
  std::string out(uri);
  const std::size_t start = scheme + 3;
  const std::size_t end = out.find_first_of("/?#", start);
  const std::size_t at = out.rfind('@', end == std::string::npos ? out.size() : end);
  if (at != std::string::npos && at >= start) {
    const std::size_t colon = out.find(':', start);
    if (colon != std::string::npos && colon < at) {
      out.replace(colon + 1, at - colon - 1, kPasswordMask);
    }
  }
  // A password may also come as a query parameter.
  for (std::size_t p = AsciiLower(out).find("password="); p != std::string::npos;
       p = AsciiLower(out).find("password=", p + 9)) {
    if (p == 0 || out[p - 1] == '?' || out[p - 1] == '&') {
      const std::size_t e = out.find('&', p);
      const std::size_t stop = e == std::string::npos ? out.size() : e;
      out.replace(p + 9, stop - p - 9, kPasswordMask);
    }
  }
  return out;
}

// libpq conninfo: key = value pairs, values optionally single-quoted.
std::string MaskConninfo(std::string_view text) {
  std::string out;
  const std::string lower = AsciiLower(text);
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t key = lower.find("password", i);
    if (key == std::string_view::npos) break;
    std::size_t j = key + 8;
    const bool wordStart = key == 0 || IsSpace(text[key - 1]);
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (!wordStart || j >= text.size() || text[j] != '=') {
      out.append(text, i, j - i);
      i = j;
      continue;
    }
    ++j;
    while (j < text.size() && IsSpace(text[j])) ++j;
    out.append(text, i, j - i);
    std::size_t e = j;
    if (e < text.size() && text[e] == '\'') {
      ++e;
      while (e < text.size() && text[e] != '\'') e += text[e] == '\\' ? 2 : 1;
      e = std::min(e + 1, text.size());
    } else {
      while (e < text.size() && !IsSpace(text[e])) ++e;
    }
    out += kPasswordMask;
    i = e;
  }
  if (i < text.size()) out.append(text, i, std::string_view::npos);
  return out;
}

}  // namespace

std::string MaskPassword(std::string_view address) {
  const std::size_t scheme = address.find("://");
  return scheme != std::string_view::npos ? MaskUri(address, scheme) : MaskConninfo(address);
}

}  // namespace metashelf::base

// Whole numbers read from request text (startPosition, maxRecords, limit,
// offset, record ids, ports): ASCII digits only, no sign, blank or locale,
// and never an exception, however long or odd the text.
#ifndef METASHELF_SERVER_CORE_WHOLE_NUMBER_H_
#define METASHELF_SERVER_CORE_WHOLE_NUMBER_H_

#include <charconv>
#include <cstdint>
#include <string_view>

namespace metashelf::server {

// True with `*out` set when `text` is one to `maxDigits` ASCII digits
// (at most 18, which every int64 holds).
inline bool ParseWholeNumber(std::string_view text, std::int64_t* out, std::size_t maxDigits = 12) {
  if (text.empty() || text.size() > maxDigits || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  std::int64_t value = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
  if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
  *out = value;
  return true;
}

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_WHOLE_NUMBER_H_

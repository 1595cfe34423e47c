// Decimal numbers by the C rules: std::from_chars and std::to_chars never
// consult the locale, where strtod and printf follow LC_NUMERIC and would
// read or write "-105,694" under a comma-decimal locale.
#include "metashelf/base/numbers.h"

#include <charconv>
#include <cmath>

#include "metashelf/base/ascii.h"

namespace metashelf::base {
namespace {

std::size_t SkipDigits(std::string_view text, std::size_t* i) {
  std::size_t n = 0;
  while (*i < text.size() && IsAsciiDigit(text[*i])) ++*i, ++n;
  return n;
}

// The significant digits of the shortest text that reads back as `value`:
// those of std::to_chars's shortest scientific form (its plain form may spell
// an integer out in more digits).
int ShortestDigits(double value) {
  char text[40];
  const auto r = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific);
  if (r.ec != std::errc()) return 17;
  int first = -1, last = -1, at = 0;
  for (const char* p = text; p < r.ptr && *p != 'e'; ++p) {
    if (!IsAsciiDigit(*p)) continue;
    if (*p != '0') {
      if (first < 0) first = at;
      last = at;
    }
    ++at;
  }
  return first < 0 ? 1 : last - first + 1;
}

std::string Print(double value, std::chars_format format, int precision, bool upper) {
  char text[400];
  const auto r = std::to_chars(text, text + sizeof text, value, format, precision);
  if (r.ec != std::errc()) return std::string();
  const std::string_view out(text, static_cast<std::size_t>(r.ptr - text));
  return upper ? AsciiUpper(out) : std::string(out);
}

}  // namespace

bool IsDecimalNumber(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = SkipDigits(text, &i);
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits += SkipDigits(text, &i);
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (SkipDigits(text, &i) == 0) return false;
  }
  return i == text.size();
}

bool ParseDouble(std::string_view text, double* value) {
  if (!IsDecimalNumber(text)) return false;
  // from_chars takes no leading '+'.
  if (text[0] == '+') text.remove_prefix(1);
  double parsed = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), parsed);
  if (r.ptr != text.data() + text.size()) return false;
  if (r.ec == std::errc::result_out_of_range) {
    // An underflow reads as zero (or the nearest subnormal), as strtod gives
    // it; an overflow is refused.
    const auto e = text.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && text.find('-', e) != std::string_view::npos;
    if (!tiny) return false;
    parsed = text[0] == '-' ? -0.0 : 0.0;
  } else if (r.ec != std::errc() || !std::isfinite(parsed)) {
    return false;
  }
  *value = parsed;
  return true;
}

std::string ShortestDouble(double value, bool upperExponent) {
  // The shortest form's digit count is where the search starts; printing at
  // that precision rounds the exact value, which at a power of two may miss
  // the round trip, so one more digit is tried until it holds.
  std::string text;
  for (int digits = ShortestDigits(value); digits <= 17; ++digits) {
    text = upperExponent ? Print(value, std::chars_format::scientific, digits - 1, true)
                         : Print(value, std::chars_format::general, digits, false);
    double back = 0;
    if (ParseDouble(text, &back) && back == value) break;
  }
  return text;
}

std::string FormatDouble(double value, char style, int precision) {
  switch (style) {
    case 'f':
      return Print(value, std::chars_format::fixed, precision, false);
    case 'e':
      return Print(value, std::chars_format::scientific, precision, false);
    case 'E':
      return Print(value, std::chars_format::scientific, precision, true);
    default:
      return Print(value, std::chars_format::general, precision, false);
  }
}

}  // namespace metashelf::base

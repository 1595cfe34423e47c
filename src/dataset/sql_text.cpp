// Formatting of per-set statement texts and of the values they carry.
#include "dataset/sql_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace metashelf {
namespace dataset {

std::string Format(const char* format, ...) {
  char small[1024];
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string text;
  if (n < 0) {
    va_end(again);
    return text;
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    text.assign(small, static_cast<std::size_t>(n));
  } else {
    text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(&text[0], text.size(), format, again);
    text.resize(static_cast<std::size_t>(n));
  }
  va_end(again);
  return text;
}

void AppendInt(std::string* out, std::int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out->append(digits, static_cast<std::size_t>(result.ptr - digits));
}

void AppendQuoted(std::string* out, const char* value, std::size_t length) {
  const char* p = value;
  const char* end = value + length;
  while (p < end) {
    const void* hit = std::memchr(p, '\'', static_cast<std::size_t>(end - p));
    if (hit == nullptr) {
      out->append(p, static_cast<std::size_t>(end - p));
      return;
    }
    const char* quote = static_cast<const char*>(hit);
    out->append(p, static_cast<std::size_t>(quote - p) + 1);
    *out += '\'';
    p = quote + 1;
  }
}

std::string QuoteLiteral(const char* value) {
  std::string quoted;
  if (value == nullptr) return quoted;
  const std::size_t length = std::strlen(value);
  quoted.reserve(length + 2);
  AppendQuoted(&quoted, value, length);
  return quoted;
}

namespace {

// The significant digits of the shortest decimal that reads back as
// `value`: the mantissa digits of std::to_chars's shortest scientific form
// (the plain form may spell an integer out in more digits). 0 when that
// form cannot be had.
int ShortestDigits(double value) {
  char shortest[40];
  const auto result =
      std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
  if (result.ec != std::errc()) return 0;
  int first = -1, last = -1, at = 0;
  for (const char* p = shortest; p < result.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') {
      if (*p != '0') {
        if (first < 0) first = at;
        last = at;
      }
      ++at;
    }
  }
  return first < 0 ? 1 : last - first + 1;
}

}  // namespace

std::string ShortestNumber(double value, bool upperExponent) {
  char buffer[40];
  // The shortest form's digit count is the precision the loop below would
  // stop at; it is checked, and the loop runs only if the check fails.
  const int digits = ShortestDigits(value);
  if (digits >= 1 && digits <= 17) {
    std::snprintf(buffer, sizeof buffer, upperExponent ? "%.*E" : "%.*g",
                  upperExponent ? digits - 1 : digits, value);
    if (std::strtod(buffer, nullptr) == value) return buffer;
  }
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buffer, sizeof buffer, upperExponent ? "%.*E" : "%.*g",
                  upperExponent ? precision - 1 : precision, value);
    if (std::strtod(buffer, nullptr) == value) break;
  }
  return buffer;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool ParseNumberValue(const char* text, double* value, bool* isNull) {
  *isNull = false;
  *value = 0;
  if (text == nullptr) {
    *isNull = true;
    return true;
  }
  const char* begin = text;
  while (IsBlank(*begin)) ++begin;
  const char* end = begin + std::strlen(begin);
  while (end > begin && IsBlank(end[-1])) --end;
  if (begin == end) {
    *isNull = true;
    return true;
  }
  // sign? digits* (. digits*)? ((e|E) sign? digits+)? with at least one digit
  // before the exponent.
  const char* p = begin;
  if (*p == '+' || *p == '-') ++p;
  int mantissaDigits = 0;
  while (p < end && IsDigit(*p)) ++p, ++mantissaDigits;
  if (p < end && *p == '.') {
    ++p;
    while (p < end && IsDigit(*p)) ++p, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < end && (*p == '+' || *p == '-')) ++p;
    int exponentDigits = 0;
    while (p < end && IsDigit(*p)) ++p, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (p != end) return false;
  const std::string number(begin, end);
  errno = 0;
  const double parsed = std::strtod(number.c_str(), nullptr);
  if (!std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

bool IsStorableDate(const char* text) {
  if (text == nullptr || *text == '\0') return true;
  if (std::strlen(text) != 10 || text[4] != '-' || text[7] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(text[i])) return false;
  }
  const int year =
      (text[0] - '0') * 1000 + (text[1] - '0') * 100 + (text[2] - '0') * 10 + (text[3] - '0');
  const int month = (text[5] - '0') * 10 + (text[6] - '0');
  const int day = (text[8] - '0') * 10 + (text[9] - '0');
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int last = month == 2 && leap ? 29 : kDays[month - 1];
  return day <= last;
}

}  // namespace dataset
}  // namespace metashelf

// Formatting of per-set statement texts and of the values they carry.
#include "dataset/sql_text.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/sql_quote.h"

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
  base::AppendQuoteDoubled(out, std::string_view(value, length));
}

std::string QuoteLiteral(const char* value) {
  return value == nullptr ? std::string() : base::QuoteDoubled(value);
}

std::string ShortestNumber(double value, bool upperExponent) {
  return base::ShortestDouble(value, upperExponent);
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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
  return base::ParseDouble(std::string_view(begin, static_cast<std::size_t>(end - begin)), value);
}

bool IsStorableDate(const char* text) {
  return text == nullptr || *text == '\0' || base::IsCalendarDate(text);
}

}  // namespace dataset
}  // namespace metashelf

// Checks and conversions of search request texts.
#include "search/search_text.h"

#include <cstring>
#include <limits>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/base/utf8.h"

namespace metashelf {
namespace search {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

bool IsAcceptedExpression(const std::string& expression) {
  std::size_t i = 0;
  while (i < expression.size()) {
    const char c = expression[i];
    if (IsDigit(c) || IsBlank(c) || c == '(' || c == ')') {
      ++i;
    } else if (expression.compare(i, 3, "and") == 0) {
      i += 3;
    } else if (expression.compare(i, 2, "or") == 0) {
      i += 2;
    } else {
      return false;
    }
  }
  return true;
}

bool IsAcceptedOperator(const std::string& op) {
  static const char* const kAccepted[] = {"=", "<>", "!=", "<", "<=", ">", ">=", "like", "between"};
  for (const char* accepted : kAccepted) {
    if (op == accepted) return true;
  }
  return false;
}

bool IsNumberText(const std::string& value) {
  return base::IsDecimalNumber(value);
}

bool IsDateText(const std::string& value) {
  return base::IsCalendarDate(value);
}

std::string QuoteDoubled(const std::string& value) {
  return base::QuoteDoubled(value);
}

bool ParseConditionNumber(const char* digits, std::size_t length, std::int32_t* number) {
  if (digits == nullptr || length == 0) return false;
  std::int64_t value = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (!IsDigit(digits[i])) return false;
    value = value * 10 + (digits[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  *number = static_cast<std::int32_t>(value);
  return true;
}

std::int64_t ParseIdText(const char* text, std::size_t room) {
  const std::size_t length = strnlen(text, room);
  std::size_t i = 0;
  while (i < length && (IsBlank(text[i]) || text[i] == '\f' || text[i] == '\v')) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate toward the sign's limit so that INT64_MIN is reachable.
  const std::int64_t limit = negative ? std::numeric_limits<std::int64_t>::min()
                                      : -std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;  // kept negative
  for (; i < length && IsDigit(text[i]); ++i) {
    const int digit = text[i] - '0';
    if (value < (limit + digit) / 10) {
      value = limit;
      break;
    }
    value = value * 10 - digit;
  }
  return negative ? value : -value;
}

std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t room) {
  return base::Utf8CutLength(text, length, room);
}

}  // namespace search
}  // namespace metashelf

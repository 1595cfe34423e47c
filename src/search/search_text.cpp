// Checks and conversions of search request texts.
#include "search/search_text.h"

#include <cstring>
#include <limits>

namespace metashelf {
namespace search {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Digits starting at `*i`; advances past them and returns how many.
std::size_t SkipDigits(const std::string& s, std::size_t* i) {
  const std::size_t start = *i;
  while (*i < s.size() && IsDigit(s[*i])) ++*i;
  return *i - start;
}

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
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
  std::size_t i = 0;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  std::size_t digits = SkipDigits(value, &i);
  if (i < value.size() && value[i] == '.') {
    ++i;
    digits += SkipDigits(value, &i);
  }
  if (digits == 0) return false;
  if (i < value.size() && (value[i] == 'e' || value[i] == 'E')) {
    ++i;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
    if (SkipDigits(value, &i) == 0) return false;
  }
  return i == value.size();
}

bool IsDateText(const std::string& value) {
  if (value.size() != 10 || value[4] != '-' || value[7] != '-') return false;
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(value[i])) return false;
  }
  const int year = std::stoi(value.substr(0, 4));
  const int month = std::stoi(value.substr(5, 2));
  const int day = std::stoi(value.substr(8, 2));
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || month < 1 || month > 12 || day < 1) return false;
  const int last = kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return day <= last;
}

std::string QuoteDoubled(const std::string& value) {
  std::string out;
  out.reserve(value.size() + 8);
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
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
  if (length <= room) return length;
  auto continues = [text](std::size_t i) {
    return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
  };
  // text[cut] is the first byte left out; while it continues a character,
  // that character started inside the prefix and is left out whole. A
  // character has at most three continuation bytes: more is not UTF-8, and
  // the bytes are then cut where the room ends.
  std::size_t cut = room;
  for (int step = 0; step < 3 && cut > 0 && continues(cut); ++step) --cut;
  return continues(cut) ? room : cut;
}

}  // namespace search
}  // namespace metashelf

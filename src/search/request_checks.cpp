// What a search request may contain: expressions, operators, condition numbers.
#include "search/request_checks.h"

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

}  // namespace search
}  // namespace metashelf

// Reading a record id from a driver's text column.
#include "search/id_text.h"

#include <cstring>
#include <limits>

namespace metashelf {
namespace search {

std::int64_t ParseIdText(const char* text, std::size_t room) {
  const std::size_t length = strnlen(text, room);
  std::size_t i = 0;
  while (i < length && std::strchr(" \t\n\r\f\v", text[i]) != nullptr) ++i;
  bool negative = false;
  if (i < length && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate toward the sign's limit so that INT64_MIN is reachable.
  const std::int64_t limit = negative ? std::numeric_limits<std::int64_t>::min()
                                      : -std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;  // kept negative
  for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value < (limit + digit) / 10) {
      value = limit;
      break;
    }
    value = value * 10 - digit;
  }
  return negative ? value : -value;
}

}  // namespace search
}  // namespace metashelf

// The calendar check for YYYY-MM-DD texts, and the numbers of a printed
// date and time.
#include "metashelf/base/calendar.h"

#include <cctype>
#include <charconv>

namespace metashelf::base {

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsCalendarDate(std::string_view t) {
  if (t.size() != 10 || t[4] != '-' || t[7] != '-') return false;
  for (int k : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (t[k] < '0' || t[k] > '9') return false;
  }
  const int year = (t[0] - '0') * 1000 + (t[1] - '0') * 100 + (t[2] - '0') * 10 + (t[3] - '0');
  const int month = (t[5] - '0') * 10 + (t[6] - '0');
  const int day = (t[8] - '0') * 10 + (t[9] - '0');
  return year >= 1 && day >= 1 && day <= DaysInMonth(year, month);
}

int ReadDateTimeFields(std::string_view text, int fields[6]) {
  // The separator before each number; ' ' stands for any run of blanks.
  static constexpr char kBefore[] = {'\0', '-', '-', ' ', ':', ':'};
  const char* p = text.data();
  const char* const end = p + text.size();
  auto skipBlanks = [&] {
    while (p < end && std::isspace(static_cast<unsigned char>(*p)) != 0) ++p;
  };
  for (int i = 0; i < 6; ++i) {
    if (kBefore[i] != '\0' && kBefore[i] != ' ') {
      if (p == end || *p != kBefore[i]) return i;
      ++p;
    }
    skipBlanks();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    int value = 0;
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || (p < end && (*p == '+' || *p == '-'))) return i;
    p = next;
    fields[i] = negative ? -value : value;
  }
  return 6;
}

}  // namespace metashelf::base

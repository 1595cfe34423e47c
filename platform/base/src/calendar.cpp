// The calendar check for YYYY-MM-DD texts.
#include "metashelf/base/calendar.h"

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

}  // namespace metashelf::base

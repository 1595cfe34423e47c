// Calendar dates written YYYY-MM-DD: the one check every layer uses before a
// text becomes a date (node values, search conditions, the tool's queries,
// the dialect's date literals).
#ifndef METASHELF_BASE_CALENDAR_H_
#define METASHELF_BASE_CALENDAR_H_

#include <string_view>

namespace metashelf::base {

// Gregorian leap years (every fourth year, but not centuries other than
// every fourth one).
bool IsLeapYear(int year);

// The days of `month` (1..12) in `year`; 0 for a month outside 1..12.
int DaysInMonth(int year, int month);

// True when `text` is exactly ten characters YYYY-MM-DD naming a real day:
// year 0001..9999, month 01..12, day within its month with leap years
// counted.
bool IsCalendarDate(std::string_view text);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_CALENDAR_H_

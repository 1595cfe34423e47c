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

// Reads the numbers of a date and time written "Y-M-D h:m:s" (the form the
// database engines print) into fields[0..5]: year, month, day, hour, minute,
// second. Each number may follow blanks and carry a sign; blanks between the
// date and the time may be any number, none included. Returns how many
// numbers were read before the text stopped matching (0 to 6; a number that
// does not fit an int stops it). Checks no ranges: the caller does.
int ReadDateTimeFields(std::string_view text, int fields[6]);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_CALENDAR_H_

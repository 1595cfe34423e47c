// The number and date forms of leaf values: reading and canonical printing
// of numbers, exact integers, full calendar dates.
#include "value_forms.h"

#include <charconv>
#include <cmath>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"

namespace metashelf::model {

bool ParseNumber(std::string_view text, double& value) {
  return base::ParseDouble(text, &value);
}

std::string FormatNumber(double value, bool integer) {
  if (integer) {
    char buffer[32];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, static_cast<long long>(std::trunc(value)));
    return std::string(buffer, r.ptr);
  }
  if (value == 0) value = 0;  // -0 prints as 0, as a stored number reads back
  return base::ShortestDouble(value);
}

bool IsExactInteger(double value) {
  return std::trunc(value) == value && std::fabs(value) <= 9007199254740992.0;
}

bool IsFullDate(std::string_view t) {
  return base::IsCalendarDate(t);
}

}  // namespace metashelf::model

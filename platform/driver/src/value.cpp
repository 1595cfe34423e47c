// Conversions of backend values into callers' bound buffers.
#include "internal/value.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "metashelf/base/calendar.h"
#include "metashelf/base/numbers.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {

Value Value::Date(int year, int month, int day, int hour, int minute, int second) {
  Value x;
  x.kind = Kind::kDate;
  x.date.year = static_cast<std::int16_t>(year);
  x.date.month = static_cast<std::uint8_t>(month);
  x.date.day = static_cast<std::uint8_t>(day);
  x.date.hour = static_cast<std::uint8_t>(hour);
  x.date.minute = static_cast<std::uint8_t>(minute);
  x.date.second = static_cast<std::uint8_t>(second);
  return x;
}

namespace {

// A number text as a backend delivers it; blanks around it are passed over.
bool ParseDouble(const std::string& text, double* out) {
  const auto begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return false;
  const auto end = text.find_last_not_of(" \t\r\n");
  return base::ParseDouble(std::string_view(text).substr(begin, end - begin + 1), out);
}

bool ToInt32(double v, std::int32_t* out) {
  if (!std::isfinite(v)) return false;
  const double t = std::trunc(v);
  if (t < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
      t > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
    return false;
  }
  *out = static_cast<std::int32_t>(t);
  return true;
}

bool ParseDate(const std::string& text, OCIDate* out) {
  int f[6] = {};
  const int n = base::ReadDateTimeFields(text, f);
  if (n != 3 && n != 6) return false;
  const int y = f[0], mo = f[1], d = f[2], h = f[3], mi = f[4], s = f[5];
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 ||
      s > 59) {
    return false;
  }
  out->year = static_cast<std::int16_t>(y);
  out->month = static_cast<std::uint8_t>(mo);
  out->day = static_cast<std::uint8_t>(d);
  out->hour = static_cast<std::uint8_t>(h);
  out->minute = static_cast<std::uint8_t>(mi);
  out->second = static_cast<std::uint8_t>(s);
  return true;
}

}  // namespace

bool StoreValue(const Value& value, std::int16_t type, void* buffer, std::int32_t bufferLength,
                std::string* error) {
  if (value.kind == Value::Kind::kNull) return true;
  if (type == GIS_TYPE_BLOB) return true;
  if (buffer == nullptr) {
    *error = "null buffer";
    return false;
  }
  switch (type) {
    case GIS_TYPE_INT: {
      if (bufferLength < 4) break;
      std::int32_t v = 0;
      double d = 0;
      bool ok = false;
      if (value.kind == Value::Kind::kInt) {
        ok = value.integer >= std::numeric_limits<std::int32_t>::min() &&
             value.integer <= std::numeric_limits<std::int32_t>::max();
        v = static_cast<std::int32_t>(value.integer);
      } else if (value.kind == Value::Kind::kDouble) {
        ok = ToInt32(value.real, &v);
      } else if (value.kind == Value::Kind::kText && ParseDouble(value.bytes, &d)) {
        ok = ToInt32(d, &v);
      }
      if (!ok) {
        *error = "value does not fit a 32-bit integer";
        return false;
      }
      std::memcpy(buffer, &v, 4);
      return true;
    }
    case GIS_TYPE_FLOAT: {
      if (bufferLength < 8) break;
      double d = 0;
      if (value.kind == Value::Kind::kInt) {
        d = static_cast<double>(value.integer);
      } else if (value.kind == Value::Kind::kDouble) {
        d = value.real;
      } else if (!(value.kind == Value::Kind::kText && ParseDouble(value.bytes, &d))) {
        *error = "value is not a number";
        return false;
      }
      std::memcpy(buffer, &d, 8);
      return true;
    }
    case GIS_TYPE_STRING: {
      if (bufferLength < 1) break;
      // A text is written from where it lies; the other kinds are
      // formatted first.
      std::string formatted;
      std::string_view text;
      char tmp[64];
      switch (value.kind) {
        case Value::Kind::kInt: {
          const auto result = std::to_chars(tmp, tmp + sizeof tmp, value.integer);
          text = std::string_view(tmp, static_cast<std::size_t>(result.ptr - tmp));
          break;
        }
        case Value::Kind::kDouble:
          formatted = base::ShortestDouble(value.real);
          text = formatted;
          break;
        case Value::Kind::kDate:
          std::snprintf(tmp, sizeof tmp, "%04d-%02d-%02d", value.date.year, value.date.month,
                        value.date.day);
          text = tmp;
          break;
        default:
          text = value.bytes;
      }
      const std::size_t room = static_cast<std::size_t>(bufferLength) - 1;
      const std::size_t n = text.size() < room ? text.size() : room;
      std::memcpy(buffer, text.data(), n);
      static_cast<char*>(buffer)[n] = '\0';
      return true;
    }
    case GIS_TYPE_LONGRAW: {
      const std::size_t room = static_cast<std::size_t>(bufferLength);
      const std::size_t n = value.bytes.size() < room ? value.bytes.size() : room;
      if (n > 0) std::memcpy(buffer, value.bytes.data(), n);
      return true;
    }
    case GIS_TYPE_DATE: {
      if (bufferLength < 8) break;
      OCIDate date{};
      if (value.kind == Value::Kind::kDate) {
        date = value.date;
      } else if (!(value.kind == Value::Kind::kText && ParseDate(value.bytes, &date))) {
        *error = "value is not a date";
        return false;
      }
      std::memcpy(buffer, &date, sizeof date);
      return true;
    }
    default:
      *error = "unknown type code " + std::to_string(type);
      return false;
  }
  *error = "buffer too small for type " + std::to_string(type);
  return false;
}

}  // namespace driver
}  // namespace metashelf

// PostgreSQL wire formats <-> driver values. Binary results avoid text
// round trips for numbers, BLOBs and dates; types without a binary reader
// here make the whole statement use text results (see PgConnection::Prepare).
#include "backends/postgresql/value_codec.h"

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
namespace postgresql {
namespace {

// Type OIDs of pg_type (fixed in every PostgreSQL release).
enum : Oid {
  kBool = 16,
  kBytea = 17,
  kChar = 18,
  kName = 19,
  kInt8 = 20,
  kInt2 = 21,
  kInt4 = 23,
  kText = 25,
  kOid = 26,
  kTid = 27,
  kFloat4 = 700,
  kFloat8 = 701,
  kUnknown = 705,
  kBpchar = 1042,
  kVarchar = 1043,
  kDate = 1082,
  kTimestamp = 1114,
  kNumeric = 1700,
};

// Days from 1970-01-01 to y-m-d (proleptic Gregorian), and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (*m <= 2));
}

const std::int64_t kPgEpochDays = DaysFromCivil(2000, 1, 1);

std::uint16_t Be16(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint16_t>((u[0] << 8) | u[1]);
}
std::uint32_t Be32(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (std::uint32_t{u[0]} << 24) | (std::uint32_t{u[1]} << 16) | (std::uint32_t{u[2]} << 8) |
         u[3];
}
std::uint64_t Be64(const char* p) {
  return (std::uint64_t{Be32(p)} << 32) | Be32(p + 4);
}

// A decimal text: an Int when it is integral and fits, else the text with
// trailing fractional zeros removed ("1.500000" -> "1.5").
Value DecimalValue(std::string text) {
  const auto dot = text.find('.');
  if (dot != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text.find_first_of(".eEN") == std::string::npos && text.size() <= 19) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == 0 && end != nullptr && *end == '\0') return Value::Int(v);
  }
  if (text == "-0") return Value::Int(0);
  return Value::Text(std::move(text));
}

Value NumericFromBinary(const char* p, int length) {
  if (length < 8) return Value::Null();
  const int ndigits = static_cast<std::int16_t>(Be16(p));
  const int weight = static_cast<std::int16_t>(Be16(p + 2));
  const std::uint16_t sign = Be16(p + 4);
  if (sign == 0xC000) return Value::Text("NaN");
  if (length < 8 + 2 * ndigits) return Value::Null();
  auto digit = [&](int i) -> int {
    return i >= 0 && i < ndigits ? static_cast<int>(Be16(p + 8 + 2 * i)) : 0;
  };
  std::string out;
  if (sign == 0x4000) out += '-';
  char group[8];
  if (weight < 0) {
    out += '0';
  } else {
    for (int pos = weight; pos >= 0; --pos) {
      std::snprintf(group, sizeof group, pos == weight ? "%d" : "%04d", digit(weight - pos));
      out += group;
    }
  }
  const int lowest = weight - ndigits + 1;
  if (lowest < 0) {
    out += '.';
    for (int pos = -1; pos >= lowest; --pos) {
      std::snprintf(group, sizeof group, "%04d", digit(weight - pos));
      out += group;
    }
  }
  return DecimalValue(std::move(out));
}

Value TimestampValue(std::int64_t micros) {
  std::int64_t days = micros / 86400000000LL;
  std::int64_t rest = micros % 86400000000LL;
  if (rest < 0) {
    rest += 86400000000LL;
    --days;
  }
  int y = 0, m = 0, d = 0;
  CivilFromDays(days + kPgEpochDays, &y, &m, &d);
  const std::int64_t secs = rest / 1000000;
  return Value::Date(y, m, d, static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                     static_cast<int>(secs % 60));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A float4/float8 as the server writes it in text: a decimal number or one of
// its words for the values that are not.
double FloatFromText(const std::string& text) {
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  if (text == "Infinity") return std::numeric_limits<double>::infinity();
  if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
  double value = 0;
  base::ParseDouble(text, &value);
  return value;
}

Value FromText(Oid type, const char* p, int length) {
  std::string text(p, static_cast<std::size_t>(length));
  switch (type) {
    case kBool:
      return Value::Int(text == "t" ? 1 : 0);
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      return Value::Int(std::strtoll(text.c_str(), nullptr, 10));
    case kFloat4:
    case kFloat8:
      return Value::Double(FloatFromText(text));
    case kNumeric:
      return DecimalValue(std::move(text));
    case kBytea: {
      if (text.size() >= 2 && text[0] == '\\' && text[1] == 'x') {
        std::string bytes;
        for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
          bytes += static_cast<char>(HexDigit(text[i]) * 16 + HexDigit(text[i + 1]));
        }
        return Value::Bytes(std::move(bytes));
      }
      return Value::Bytes(std::move(text));
    }
    case kDate:
    case kTimestamp: {
      int f[6] = {};
      if (base::ReadDateTimeFields(text, f) >= 3)
        return Value::Date(f[0], f[1], f[2], f[3], f[4], f[5]);
      return Value::Text(std::move(text));
    }
    default:
      return Value::Text(std::move(text));
  }
}

Value FromBinary(Oid type, const char* p, int length) {
  switch (type) {
    case kBool:
      return Value::Int(length > 0 && p[0] != 0 ? 1 : 0);
    case kInt2:
      return Value::Int(static_cast<std::int16_t>(Be16(p)));
    case kInt4:
      return Value::Int(static_cast<std::int32_t>(Be32(p)));
    case kOid:
      return Value::Int(Be32(p));
    case kInt8:
      return Value::Int(static_cast<std::int64_t>(Be64(p)));
    case kFloat4: {
      const std::uint32_t bits = Be32(p);
      float f;
      std::memcpy(&f, &bits, 4);
      return Value::Double(f);
    }
    case kFloat8: {
      const std::uint64_t bits = Be64(p);
      double d;
      std::memcpy(&d, &bits, 8);
      return Value::Double(d);
    }
    case kNumeric:
      return NumericFromBinary(p, length);
    case kBytea:
      return Value::Bytes(std::string(p, static_cast<std::size_t>(length)));
    case kDate: {
      int y = 0, m = 0, d = 0;
      CivilFromDays(static_cast<std::int32_t>(Be32(p)) + kPgEpochDays, &y, &m, &d);
      return Value::Date(y, m, d);
    }
    case kTimestamp: {
      const auto micros = static_cast<std::int64_t>(Be64(p));
      if (micros == std::numeric_limits<std::int64_t>::max() ||
          micros == std::numeric_limits<std::int64_t>::min()) {
        return Value::Text(micros > 0 ? "infinity" : "-infinity");
      }
      return TimestampValue(micros);
    }
    case kTid: {
      char text[32];
      std::snprintf(text, sizeof text, "(%u,%u)", Be32(p), static_cast<unsigned>(Be16(p + 4)));
      return Value::Text(text);
    }
    default:  // text, varchar, bpchar, name, char, unknown: the bytes themselves
      return Value::Text(std::string(p, static_cast<std::size_t>(length)));
  }
}

}  // namespace

bool ReadsInBinary(Oid type) {
  switch (type) {
    case kBool:
    case kBytea:
    case kChar:
    case kName:
    case kInt8:
    case kInt2:
    case kInt4:
    case kText:
    case kOid:
    case kTid:
    case kFloat4:
    case kFloat8:
    case kUnknown:
    case kBpchar:
    case kVarchar:
    case kDate:
    case kTimestamp:
    case kNumeric:
      return true;
    default:
      return false;
  }
}

Value DecodeCell(const PGresult* result, int row, int column, int format) {
  if (PQgetisnull(result, row, column)) return Value::Null();
  const char* p = PQgetvalue(result, row, column);
  const int length = PQgetlength(result, row, column);
  const Oid type = PQftype(result, column);
  return format == 1 ? FromBinary(type, p, length) : FromText(type, p, length);
}

std::string ShortestDouble(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return base::ShortestDouble(value);
}

bool EncodeParam(const Value& value, WireParam* out, std::string* error) {
  *out = WireParam();
  switch (value.kind) {
    case Value::Kind::kNull:
      return true;
    case Value::Kind::kInt:
      out->bytes = std::to_string(value.integer);
      break;
    case Value::Kind::kDouble:
      if (!std::isfinite(value.real)) {
        *error = "a parameter is not a finite number";
        return false;
      }
      out->bytes = ShortestDouble(value.real);
      break;
    case Value::Kind::kText:
      out->bytes = value.bytes;
      break;
    case Value::Kind::kBytes:
      out->format = 1;
      out->bytes = value.bytes;
      break;
    case Value::Kind::kDate: {
      char text[48];
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", value.date.year,
                    value.date.month, value.date.day, value.date.hour, value.date.minute,
                    value.date.second);
      out->bytes = text;
      break;
    }
  }
  out->null = false;
  return true;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

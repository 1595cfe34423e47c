// A column value as a backend delivers it, and the conversions that write it
// into a caller's bound buffer by OCI type code. Shared by every backend so
// that NULL handling, text cutting and date filling behave alike.
#ifndef METASHELF_DRIVER_INTERNAL_VALUE_H_
#define METASHELF_DRIVER_INTERNAL_VALUE_H_

#include <cstdint>
#include <string>

#include "metashelf/oci_date.h"

namespace metashelf {
namespace driver {

struct Value {
  enum class Kind { kNull, kInt, kDouble, kText, kBytes, kDate };
  Kind kind = Kind::kNull;
  std::int64_t integer = 0;
  double real = 0;
  std::string bytes;  // text or binary
  OCIDate date{};

  static Value Null() { return Value(); }
  static Value Int(std::int64_t v) {
    Value x;
    x.kind = Kind::kInt;
    x.integer = v;
    return x;
  }
  static Value Double(double v) {
    Value x;
    x.kind = Kind::kDouble;
    x.real = v;
    return x;
  }
  static Value Text(std::string v) {
    Value x;
    x.kind = Kind::kText;
    x.bytes = std::move(v);
    return x;
  }
  static Value Bytes(std::string v) {
    Value x;
    x.kind = Kind::kBytes;
    x.bytes = std::move(v);
    return x;
  }
  static Value Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
};

// Writes `value` into `buffer` (of `bufferLength` bytes) as OCI type `type`:
//   3   int32 (numbers truncated toward zero; text parsed as a number)
//   4   double
//   5   text, cut to bufferLength-1 bytes and NUL-terminated
//   24  bytes, at most bufferLength
//   156 OCIDate (from a date, or from "YYYY-MM-DD[ HH:MI:SS]" text)
//   113 nothing is written (a locator)
// A NULL value writes nothing. Returns true on success; false with
// `*error` set for an unknown type, a too-small buffer for a fixed-size
// type, or a value that cannot be converted.
bool StoreValue(const Value& value, std::int16_t type, void* buffer, std::int32_t bufferLength,
                std::string* error);

}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_INTERNAL_VALUE_H_

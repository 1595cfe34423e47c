// Conversions between PostgreSQL's wire formats and the driver's values:
// result cells (binary where the type allows, text otherwise) into Value,
// and caller parameter values into what PQexecPrepared sends.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_VALUE_CODEC_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_VALUE_CODEC_H_

#include <libpq-fe.h>

#include <string>

#include "internal/backend.h"
#include "internal/value.h"

namespace metashelf {
namespace driver {
namespace postgresql {

// True for the column types DecodeCell reads in binary result format.
bool ReadsInBinary(Oid type);

// The value of one result cell; `format` is the result's format (0 text,
// 1 binary). NUMERIC becomes an Int when it is integral and fits 64 bits,
// otherwise its exact decimal text without trailing zeros (as Oracle prints
// a NUMBER); timestamps and dates become dates.
Value DecodeCell(const PGresult* result, int row, int column, int format);

// One parameter as sent: NULL, or bytes in text (format 0) or binary
// (format 1, for BLOB data) form.
struct WireParam {
  bool null = true;
  std::string bytes;
  int format = 0;
};

// A caller's parameter value as sent: text for numbers, texts and dates,
// binary for BLOB data (an empty BLOB stays an empty BLOB, not NULL). False
// with `*error` for a number that is not finite.
bool EncodeParam(const Value& value, WireParam* out, std::string* error);

// The shortest decimal text that reads back as the same double.
std::string ShortestDouble(double value);

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_VALUE_CODEC_H_

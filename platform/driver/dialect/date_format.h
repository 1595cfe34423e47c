// Oracle's TO_DATE and TO_CHAR for the date formats the system writes
// ('YYYY-MM-DD' and 'YYYY-MM-DD HH24:MI:SS'), with Oracle's reading rules:
// a zero-length text is NULL; punctuation may be left out when every digit
// of an element is given (20010315); any punctuation matches any other;
// date fields may not be missing (2001 is an error), time fields at the end
// may; trailing text is an error; impossible dates (2001-02-30) are errors.
// One parser, registered as a SQLite function and used by every backend.
#ifndef METASHELF_DRIVER_DIALECT_DATE_FORMAT_H_
#define METASHELF_DRIVER_DIALECT_DATE_FORMAT_H_

#include <string>
#include <string_view>

#include "dialect/error.h"

namespace metashelf {
namespace driver {
namespace dialect {

struct CivilTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// True for a format this file reads and writes (case-insensitive).
bool SupportedDateFormat(std::string_view format);

// Reads `text` by `format`. Returns true with `*isNull` for a zero-length
// text; true with `*out` for a valid date; false with an ORA-style `*error`.
bool ParseOracleDate(std::string_view text, std::string_view format, CivilTime* out, bool* isNull,
                     Error* error);

// Writes `value` by `format`; false with `*error` for an unsupported format.
bool FormatOracleDate(const CivilTime& value, std::string_view format, std::string* out,
                      Error* error);

// The storage form of dates: "YYYY-MM-DD HH:MM:SS", and its reader (which
// also takes "YYYY-MM-DD").
std::string StorageText(const CivilTime& value);
bool ParseStorageText(std::string_view text, CivilTime* out);

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_DATE_FORMAT_H_

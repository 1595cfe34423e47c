// The one mapping of SQLite result codes to driver states.
#include "backends/sqlite/error.h"

#include <sqlite3.h>

#include <cstring>

namespace metashelf {
namespace driver {
namespace sqlite {

const char* StateOf(int extendedCode) {
  switch (extendedCode & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return "00000";
    case SQLITE_CONSTRAINT:
      return "23000";  // integrity constraint violation
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "HYT00";  // timeout expired
    case SQLITE_MISMATCH:
      return "22018";  // invalid character value for cast
    case SQLITE_TOOBIG:
      return "22001";  // string data, right truncated
    case SQLITE_RANGE:
      return "07009";  // invalid descriptor index
    case SQLITE_NOMEM:
      return "HY001";  // memory allocation error
    case SQLITE_ERROR:
    case SQLITE_AUTH:
      return "42000";  // syntax error or access violation
    case SQLITE_READONLY:
    case SQLITE_PERM:
      return "42501";
    case SQLITE_INTERRUPT:
      return "HY008";
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
      return "08001";
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_PROTOCOL:
    case SQLITE_SCHEMA:
    case SQLITE_MISUSE:
    case SQLITE_NOLFS:
    case SQLITE_FORMAT:
    case SQLITE_NOTICE:
    case SQLITE_WARNING:
    case SQLITE_INTERNAL:
    case SQLITE_ABORT:
    case SQLITE_EMPTY:
    case SQLITE_NOTFOUND:
    default:
      return "HY000";
  }
}

Reported Classify(int extendedCode, const char* message) {
  // "CHECK constraint failed: MS_BYTES_<COLUMN>": a VARCHAR2 over its
  // bytes, as ORA-12899 says it.
  static const char kBytes[] = "CHECK constraint failed: MS_BYTES_";
  if ((extendedCode & 0xff) == SQLITE_CONSTRAINT && message != nullptr &&
      std::strncmp(message, kBytes, sizeof kBytes - 1) == 0) {
    return {"22001", 12899};
  }
  // "table T already exists", "index I already exists" (also views and
  // triggers): the name comes first, the words last.
  static const char kTaken[] = " already exists";
  if (extendedCode == SQLITE_ERROR && message != nullptr) {
    const std::size_t length = std::strlen(message);
    const std::size_t tail = sizeof kTaken - 1;
    if (length > tail && std::strcmp(message + length - tail, kTaken) == 0) return {"42S01", 955};
    // "no such table: T": a name that is not there, as ORA-00942 says it.
    if (std::strncmp(message, "no such table", 13) == 0) return {"42S02", 942};
  }
  return {StateOf(extendedCode), extendedCode};
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

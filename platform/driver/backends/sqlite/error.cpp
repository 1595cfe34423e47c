// The one mapping of SQLite failures to driver states and Oracle numbers.
#include "backends/sqlite/error.h"

#include <sqlite3.h>

#include <string>

#include "dialect/dialect.h"

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

namespace {

// The mark of a result code that carries an Oracle number: a bit no SQLite
// extended code uses (they stay below 1 << 16).
constexpr int kOracleMark = 1 << 28;

// The Oracle number of each SQLite failure; the server backend maps its
// failures to the same numbers.
std::int32_t OracleNumberOf(int extendedCode) {
  switch (extendedCode) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      return 1;  // ORA-00001: unique constraint violated
    case SQLITE_CONSTRAINT_NOTNULL:
      return 1400;  // cannot insert NULL
    case SQLITE_CONSTRAINT_FOREIGNKEY:
      return 2291;  // parent key not found
    case SQLITE_CONSTRAINT_CHECK:
      return 2290;  // check constraint violated
    default:
      break;
  }
  switch (extendedCode & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return 0;
    case SQLITE_CONSTRAINT:
      return 1;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return 54;  // resource busy
    case SQLITE_MISMATCH:
      return 1722;  // invalid number
    case SQLITE_TOOBIG:
      return 1489;  // result too long
    case SQLITE_RANGE:
      return 1007;  // variable not in select list
    case SQLITE_NOMEM:
      return 4031;  // out of memory
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return 1031;  // insufficient privileges
    case SQLITE_INTERRUPT:
      return 1013;  // user requested cancel
    case SQLITE_FULL:
      return 1653;  // unable to extend: the disk is full
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
      return 3113;  // the database cannot be reached
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
      return 1114;  // I/O error
    case SQLITE_ERROR:
      return 900;  // invalid SQL statement
    default:
      return 600;  // internal error
  }
}

// True when the file holds a table, index, view or trigger named `name`.
bool Holds(sqlite3* db, const std::string& name) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE name=?1 COLLATE NOCASE", -1, &s,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    return true;  // unknown: claim nothing
  }
  sqlite3_bind_text(s, 1, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  const bool found = sqlite3_step(s) == SQLITE_ROW;
  sqlite3_finalize(s);
  return found;
}

}  // namespace

int OracleResultCode(std::int32_t oracle) {
  return SQLITE_ERROR | kOracleMark | (oracle << 8);
}

Reported Classify(int extendedCode) {
  if ((extendedCode & kOracleMark) != 0 && (extendedCode & 0xff) == SQLITE_ERROR) {
    const std::int32_t oracle = (extendedCode & ~kOracleMark) >> 8;
    dialect::Error refusal(oracle, std::string());
    return {dialect::StateOf(refusal), oracle};
  }
  if (extendedCode == SQLITE_CONSTRAINT_CHECK) return {"23000", 2290};
  return {StateOf(extendedCode), OracleNumberOf(extendedCode)};
}

Reported ClassifyStatement(sqlite3* db, int extendedCode, const dialect::Adapted* adapted) {
  if (extendedCode == SQLITE_ERROR && adapted != nullptr && db != nullptr) {
    if (!adapted->creates.empty() && Holds(db, adapted->creates)) return {"42S01", 955};
    for (const std::string& table : adapted->tables) {
      if (!Holds(db, table)) return {"42S02", 942};
    }
  }
  return Classify(extendedCode);
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

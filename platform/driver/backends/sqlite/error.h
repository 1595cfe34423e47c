// SQLite failures as the driver reports them: a five-character state and,
// as native code, the number Oracle reports the same failure with, as on
// every backend. Nothing here reads a message: the extended result code
// says what it can, functions of ours raise codes that carry their Oracle
// number, and a name that is taken or missing is looked up in the file.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_

#include <cstdint>

struct sqlite3;

namespace metashelf {
namespace driver {
namespace dialect {
struct Adapted;
}
namespace sqlite {

// The state for an extended SQLite result code.
const char* StateOf(int extendedCode);

// What a failure is reported as: its state and native code.
struct Reported {
  const char* state;
  std::int32_t native;
};

// The result code a function of ours raises (sqlite3_result_error_code) to
// refuse with Oracle's number `oracle`: SQLITE_ERROR, a mark, and the
// number above the low byte, which Classify reads back.
int OracleResultCode(std::int32_t oracle);

// The state and Oracle number of a failure with SQLite's extended result
// code.
Reported Classify(int extendedCode);

// The same for a failure of the statement `adapted` (null when there is
// none) on `db`: SQLite reports a name already taken and a table that is not
// there with its generic SQLITE_ERROR, so when the statement creates a name
// that the file holds it is 42S01 / ORA-00955, and when it names a table
// the file does not hold it is 42S02 / ORA-00942, as on Oracle and the
// server backend.
Reported ClassifyStatement(sqlite3* db, int extendedCode, const dialect::Adapted* adapted);

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_

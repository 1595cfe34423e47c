// SQLite result codes as the driver reports them: a five-character state,
// the extended native code and SQLite's message.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_

struct sqlite3;

namespace metashelf {
namespace driver {
namespace sqlite {

// The state for an extended SQLite result code.
const char* StateOf(int extendedCode);

// What a failure is reported as: its state and native code.
struct Reported {
  const char* state;
  int native;
};

// The state and native code of a failure with SQLite's extended result code
// and message. SQLite reports a name already taken with its generic
// SQLITE_ERROR, which only the message tells apart; that one carries the
// state and number it has on Oracle and on the server backend (42S01,
// 955), so that a caller can tell "it is there already" from a failure;
// likewise a table that is not there (42S02, 942).
Reported Classify(int extendedCode, const char* message);

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_

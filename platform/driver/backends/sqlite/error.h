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

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_ERROR_H_

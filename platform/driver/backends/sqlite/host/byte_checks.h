// Byte checks for tables made before a VARCHAR2(n) column held at most n
// bytes: SQLite cannot add a CHECK to a table without rebuilding it, so
// such a table gets two triggers per column (before an insert, before an
// update of the column) that refuse a longer value with the check's own
// message, which the error mapping reports as ORA-12899. Rows stored
// before are left as they are.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_HOST_BYTE_CHECKS_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_HOST_BYTE_CHECKS_H_

#include <string>

struct sqlite3;

namespace metashelf {
namespace host {

// Adds the missing triggers in one transaction; `*added` counts them. True
// when nothing was missing or everything was added; false with `*error`
// set otherwise (the database is then unchanged).
bool AddByteChecks(sqlite3* db, int* added, std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_HOST_BYTE_CHECKS_H_

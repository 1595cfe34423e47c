// SQL functions that give SQLite what the Oracle dialect needs: to_date and
// to_char with Oracle's rules, a case-sensitive LIKE, LOB lengths, and the
// sequence draws and increments of the sequence store.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_FUNCTIONS_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_FUNCTIONS_H_

#include <string>

struct sqlite3;

namespace metashelf {
namespace driver {
namespace sqlite {

class SequenceStore;

// Registers every function on `db`; `sequences` must outlive `db`.
bool RegisterFunctions(sqlite3* db, SequenceStore* sequences, std::string* error);

// LIKE as Oracle reads it: case-sensitive, "_" one UTF-8 character, "%" any
// run, no escape character unless one is given.
bool LikeMatch(const unsigned char* pattern, const unsigned char* text, int escape);

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_FUNCTIONS_H_

// The layout of a SQLite database file: which version of the file's
// arrangement it holds (PRAGMA user_version), the making of a new one, the
// older layout of several files that `metashelf upgrade` converts, and the
// online copy behind CHostDataBase::Backup.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_HOST_LAYOUT_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_HOST_LAYOUT_H_

#include <string>

struct sqlite3;

namespace metashelf {
namespace host {

// 0: the older layout (owners and sequences in files beside the main one);
// 2: one file. Stored as the file's user_version.
constexpr int kLayoutVersion = 2;

struct Layout {
  int version = 0;
  bool hasCatalogs = false;  // the table MS_CATALOGS exists
  int tables = 0;            // tables of any kind in the file
};
bool ReadLayout(sqlite3* db, Layout* layout, std::string* error);

// Makes the registry and sequence tables of a new database and marks the
// file as one-file layout, in one transaction.
bool MakeLayout(sqlite3* db, std::string* error);

// "dir/name.db" -> "dir/name"; other paths stay whole. The older layout
// kept "<stem>.<OWNER>.db" and "<stem>.sequences.db" beside the main file.
std::string LayoutStem(const std::string& path);
// Why a file of the older layout is refused, and the command that converts it.
std::string OlderLayoutMessage(const std::string& path);

// Copies the database of `db` to the new file `destination` in one read
// snapshot (SQLite's online backup), writing "<destination>.part" and
// renaming it into place when whole. False with `*error` set.
bool BackupDatabase(sqlite3* db, const std::string& destination, std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_HOST_LAYOUT_H_

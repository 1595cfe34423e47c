// Reading and making the one-file layout, and the online backup.
#include "backends/sqlite/host/layout.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "backends/sqlite/sequences.h"

namespace metashelf {
namespace host {
namespace {

// The file's application id: "MSHF", so that `file` and other tools can
// tell a metashelf database.
constexpr int kApplicationId = 0x4D534846;

int IntOf(sqlite3* db, const char* sql, bool* ok) {
  sqlite3_stmt* s = nullptr;
  int value = 0;
  *ok = sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK;
  if (*ok) {
    const int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      value = sqlite3_column_int(s, 0);
    } else if (rc != SQLITE_DONE) {
      *ok = false;
    }
  }
  sqlite3_finalize(s);
  return value;
}

}  // namespace

bool ReadLayout(sqlite3* db, Layout* layout, std::string* error) {
  bool ok = true;
  layout->version = IntOf(db, "PRAGMA user_version", &ok);
  if (ok) layout->tables = IntOf(db, "SELECT count(*) FROM sqlite_master WHERE type='table'", &ok);
  if (ok) {
    layout->hasCatalogs =
        IntOf(db, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name='MS_CATALOGS'",
              &ok) == 1;
  }
  if (!ok) *error = std::string("cannot read the database: ") + sqlite3_errmsg(db);
  return ok;
}

bool MakeLayout(sqlite3* db, std::string* error) {
  const std::string sql =
      "BEGIN IMMEDIATE;"
      "CREATE TABLE IF NOT EXISTS MS_CATALOGS(MTDB_ID INTEGER PRIMARY KEY,"
      "NAME TEXT NOT NULL UNIQUE,OWNER TEXT NOT NULL);"
      "PRAGMA application_id=" +
      std::to_string(kApplicationId) + ";PRAGMA user_version=" + std::to_string(kLayoutVersion) +
      ";";
  char* message = nullptr;
  bool ok = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK;
  if (!ok) *error = message ? message : "cannot make the database";
  sqlite3_free(message);
  message = nullptr;
  if (ok) ok = driver::sqlite::SequenceStore::Provision(db, error);
  if (ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, &message) != SQLITE_OK) {
    ok = false;
    *error = message ? message : "cannot make the database";
  }
  sqlite3_free(message);
  if (!ok && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  return ok;
}

std::string LayoutStem(const std::string& path) {
  if (path.size() > 3 && path.compare(path.size() - 3, 3, ".db") == 0) {
    return path.substr(0, path.size() - 3);
  }
  return path;
}

std::string OlderLayoutMessage(const std::string& path) {
  const std::string stem = LayoutStem(path);
  return path + " is in the older layout of several files (" + stem + ".<OWNER>.db and " + stem +
         ".sequences.db beside it); run 'metashelf upgrade' to make it one file";
}

bool BackupDatabase(sqlite3* db, const std::string& destination, std::string* error) {
  struct stat st {};
  if (stat(destination.c_str(), &st) == 0) {
    *error = destination + " exists; a backup is written to a new file";
    return false;
  }
  const std::string part = destination + ".part";
  unlink(part.c_str());
  sqlite3* out = nullptr;
  if (sqlite3_open_v2(part.c_str(), &out, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    *error = "cannot write " + part + ": " + (out ? sqlite3_errmsg(out) : "no memory");
    sqlite3_close(out);
    return false;
  }
  bool ok = false;
  sqlite3_backup* backup = sqlite3_backup_init(out, "main", db, "main");
  if (backup == nullptr) {
    *error = std::string("cannot start the backup: ") + sqlite3_errmsg(out);
  } else {
    // All pages in one step: one read snapshot of the source, so the copy
    // is consistent; in WAL mode writers go on meanwhile.
    int rc = SQLITE_OK;
    for (int tries = 0; tries < 300; ++tries) {
      rc = sqlite3_backup_step(backup, -1);
      if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED) break;
      sqlite3_sleep(100);
    }
    sqlite3_backup_finish(backup);
    ok = rc == SQLITE_DONE && sqlite3_errcode(out) == SQLITE_OK;
    if (!ok) *error = std::string("the backup failed: ") + sqlite3_errstr(rc);
  }
  // The copy is a file of its own: no log beside it.
  if (ok &&
      sqlite3_exec(out, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    ok = false;
    *error = std::string("the backup failed: ") + sqlite3_errmsg(out);
  }
  if (sqlite3_close(out) != SQLITE_OK) ok = false;
  if (ok && rename(part.c_str(), destination.c_str()) != 0) {
    ok = false;
    *error = "cannot rename " + part + " to " + destination;
  }
  if (!ok) unlink(part.c_str());
  return ok;
}

}  // namespace host
}  // namespace metashelf

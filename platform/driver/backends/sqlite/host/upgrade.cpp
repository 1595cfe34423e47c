// `metashelf upgrade`: converts a SQLite database of the older layout, whose
// owners lived in files beside the main one ("<stem>.<OWNER>.db") and whose
// sequences lived in "<stem>.sequences.db", into one file. Everything
// happens in one transaction of the main file, so a failure leaves it as it
// was; the old files are only read, and left in place.
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backends/sqlite/connection.h"
#include "backends/sqlite/host/layout.h"
#include "backends/sqlite/host/sqlite_host.h"
#include "backends/sqlite/sequences.h"
#include "dialect/dialect.h"
#include "metashelf/base/sql_quote.h"

namespace metashelf {
namespace host {

namespace {

constexpr int kBusyTimeoutMs = 30000;

class Db {
 public:
  ~Db() { sqlite3_close_v2(db_); }
  sqlite3* db_ = nullptr;

  bool Exec(const std::string& sql, std::string* error) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      *error = std::string(message ? message : "statement failed");
      sqlite3_free(message);
      return false;
    }
    return true;
  }
  // The rows of a query as text columns.
  bool Rows(const std::string& sql, std::vector<std::vector<std::string>>* rows,
            std::string* error) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      *error = sqlite3_errmsg(db_);
      return false;
    }
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      std::vector<std::string> row;
      for (int c = 0; c < sqlite3_column_count(s); ++c) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        row.emplace_back(text ? text : "");
      }
      rows->push_back(std::move(row));
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) *error = sqlite3_errmsg(db_);
    return rc == SQLITE_DONE;
  }
  std::int64_t Max(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    std::string ignored;
    if (!Rows(sql, &rows, &ignored) || rows.empty() || rows[0].empty()) return 0;
    return std::strtoll(rows[0][0].c_str(), nullptr, 10);
  }
};

std::string FileUri(const std::string& path) {
  std::string uri = "file:";
  if (!path.empty() && path[0] == '/') uri += "//";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
      uri += hex;
    } else {
      uri += c;
    }
  }
  return uri + "?mode=ro";
}

bool NonEmptyFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// The CREATE text of `name` as an owner's one-file object: the original
// text from its first "(" (a table's columns, an index's key list after ON).
bool OneFileCreate(const std::string& type, const std::string& owner, const std::string& name,
                   const std::string& table, const std::string& sql, std::string* out) {
  std::string upper = sql;
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (type == "table") {
    const std::size_t open = sql.find('(');
    if (open == std::string::npos) return false;
    *out = "CREATE TABLE " + driver::dialect::OwnerTableName(owner, name) + sql.substr(open);
    return true;
  }
  const std::size_t on = upper.find(" ON ");
  const std::size_t open = on == std::string::npos ? on : sql.find('(', on);
  if (open == std::string::npos) return false;
  *out =
      std::string(upper.rfind("CREATE UNIQUE", 0) == 0 ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
      driver::dialect::OwnerTableName(owner, name) + " ON " +
      driver::dialect::OwnerTableName(owner, table) + sql.substr(open);
  return true;
}

}  // namespace

bool UpgradeSqlite(const std::string& rest, std::string* report, std::string* error) {
  std::string path, ignoredOwner;
  if (!ParseSqliteUri(rest, &path, &ignoredOwner, error)) return false;
  if (!NonEmptyFile(path)) {
    *error = "no database at " + path;
    return false;
  }
  Db d;
  if (sqlite3_open_v2(path.c_str(), &d.db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_URI, nullptr) !=
      SQLITE_OK) {
    *error = "cannot open " + path + ": " + (d.db_ ? sqlite3_errmsg(d.db_) : "no memory");
    return false;
  }
  sqlite3_busy_timeout(d.db_, kBusyTimeoutMs);
  Layout layout;
  if (!ReadLayout(d.db_, &layout, error)) return false;
  if (!layout.hasCatalogs) {
    *error = path + " is not a metashelf database";
    return false;
  }
  if (layout.version >= kLayoutVersion) {
    *report = path + " is already one file; nothing to do";
    return true;
  }
  if (sqlite3_db_readonly(d.db_, "main") == 1) {
    *error = "the database " + path + " is read-only (it can be read, not changed)";
    return false;
  }
  // Every owner with a catalog must have its file: a missing one would turn
  // its catalogs into empty ones.
  std::vector<std::vector<std::string>> owners;
  if (!d.Rows("SELECT OWNER,group_concat(NAME,', ') FROM MS_CATALOGS GROUP BY OWNER ORDER BY 1",
              &owners, error)) {
    return false;
  }
  const std::string stem = LayoutStem(path);
  for (std::size_t k = 0; k < owners.size(); ++k) {
    const std::string& owner = owners[k][0];
    const std::string file = stem + "." + owner + ".db";
    if (!driver::sqlite::SqliteConnection::ValidOwner(owner)) {
      *error = "the registry names an invalid owner: " + owner;
      return false;
    }
    if (!NonEmptyFile(file)) {
      *error = file + " (the tables of catalog " + owners[k][1] +
               ") is missing or empty; put it back beside " + path + " and run the upgrade again";
      return false;
    }
    if (!d.Exec("ATTACH DATABASE " + base::SqlLiteral(FileUri(file)) + " AS o" + std::to_string(k),
                error)) {
      *error = "cannot read " + file + ": " + *error;
      return false;
    }
  }
  const std::string sequenceFile = stem + ".sequences.db";
  const bool haveSequences = NonEmptyFile(sequenceFile);
  if (haveSequences &&
      !d.Exec("ATTACH DATABASE " + base::SqlLiteral(FileUri(sequenceFile)) + " AS seqs", error)) {
    *error = "cannot read " + sequenceFile + ": " + *error;
    return false;
  }
  bool ok =
      d.Exec("BEGIN IMMEDIATE", error) && driver::sqlite::SequenceStore::Provision(d.db_, error);
  int tables = 0;
  for (std::size_t k = 0; ok && k < owners.size(); ++k) {
    const std::string& owner = owners[k][0];
    const std::string schema = "o" + std::to_string(k);
    std::vector<std::vector<std::string>> objects;
    ok = d.Rows("SELECT type,name,tbl_name,sql FROM " + schema +
                    ".sqlite_master WHERE sql IS NOT NULL AND type IN('table','index') AND name "
                    "NOT LIKE 'sqlite_%' ORDER BY type='index',rowid",
                &objects, error);
    for (std::size_t i = 0; ok && i < objects.size(); ++i) {
      const auto& o = objects[i];
      std::string create;
      if (!OneFileCreate(o[0], owner, o[1], o[2], o[3], &create)) {
        *error = "cannot read the definition of " + owner + "." + o[1];
        ok = false;
        break;
      }
      ok = d.Exec(create, error);
      if (ok && o[0] == "table") {
        ++tables;
        ok = d.Exec("INSERT INTO " + driver::dialect::OwnerTableName(owner, o[1]) +
                        " SELECT * FROM " + schema + ".\"" + o[1] + "\"",
                    error);
      }
    }
  }
  if (ok && haveSequences) {
    ok = d.Exec(
        "INSERT OR REPLACE INTO MS_SEQUENCES(OWNER,NAME,LAST,INCREMENT) "
        "SELECT OWNER,NAME,LAST,INCREMENT FROM seqs.SEQUENCES",
        error);
  }
  // Ids continue after the largest in use, whatever the sequences said (a
  // lost or stale sequence file must never hand out an id twice).
  driver::sqlite::SequenceStore sequences(d.db_);
  if (ok) {
    ok = sequences.Raise("", "MTDB_ID", d.Max("SELECT max(MTDB_ID) FROM MS_CATALOGS"), error);
  }
  std::int64_t largest = 0;
  for (std::size_t k = 0; ok && k < owners.size(); ++k) {
    const std::string& owner = owners[k][0];
    using driver::dialect::OwnerTableName;
    for (const auto& [table, column] :
         {std::pair<const char*, const char*>{"KRDB_META_SCHEMA", "SCHEMA_ID"},
          {"KRDB_META_SET", "COL_ID"},
          {"KRDB_META_INFO", "META_ID"}}) {
      largest = std::max(largest, d.Max("SELECT max(" + std::string(column) + ") FROM " +
                                        OwnerTableName(owner, table)));
    }
    if (!haveSequences) {
      // Node ids: the largest one any value row names.
      std::vector<std::vector<std::string>> valueTables;
      ok = d.Rows("SELECT name FROM sqlite_master WHERE type='table' AND name LIKE " +
                      base::SqlLiteral(owner + ".META_ND%"),
                  &valueTables, error);
      std::int64_t node = 0;
      for (const auto& v : valueTables) {
        node = std::max(node, d.Max("SELECT max(NODEGUID) FROM \"" + v[0] + "\""));
      }
      if (ok) ok = sequences.Raise(owner, "KRSQ_SCHEMANODEID", node, error);
    }
  }
  if (ok) ok = sequences.Raise("", "XCLSID", largest, error);
  if (ok) {
    ok = d.Exec("PRAGMA application_id=1297303622;PRAGMA user_version=" +
                    std::to_string(kLayoutVersion) + ";COMMIT",
                error);
  }
  if (!ok) {
    if (!sqlite3_get_autocommit(d.db_)) d.Exec("ROLLBACK", &ignoredOwner);
    *error = "the upgrade changed nothing: " + *error;
    return false;
  }
  *report = path + " is now one file: " + std::to_string(owners.size()) + " owner(s), " +
            std::to_string(tables) + " table(s) copied in; ";
  *report += haveSequences ? "sequences taken from " + sequenceFile
                           : "no " + sequenceFile + ", so ids continue after the largest in use";
  *report += ". The old files beside it are no longer used and may be removed.";
  return true;
}

}  // namespace host
}  // namespace metashelf

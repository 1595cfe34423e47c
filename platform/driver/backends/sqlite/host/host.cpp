// CHostDataBase on a SQLite file: the catalog registry (table MS_CATALOGS),
// owners' tables and sequences, all in that one file; ids from the sequence
// table, the host's transactions, backup and the engine's check.
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstdio>

#include "backend_api/catalog_registry.h"
#include "backend_api/connected_host.h"
#include "backend_api/opener.h"
#include "backends/sqlite/connection.h"
#include "backends/sqlite/host/layout.h"
#include "backends/sqlite/host/provisioning.h"
#include "backends/sqlite/host/sqlite_host.h"

namespace metashelf {
namespace host {
namespace {

using driver::sqlite::SqliteConnection;

constexpr const char* kDefaultOwner = "METASHELF";
constexpr std::int32_t kMaxId = 0x7fffffff;
constexpr int kMaxProblems = 100;

class SqliteHostDataBase : public ConnectedHost<SqliteConnection> {
 public:
  SqliteHostDataBase(std::unique_ptr<SqliteConnection> connection, std::string owner,
                     std::string uri)
      : ConnectedHost(std::move(connection), std::move(owner)), uri_(std::move(uri)) {}

  // Checks the file's layout, and makes a new database's tables when
  // `create` allows it.
  bool Init(CHostDataBase::OpenMode mode, std::string* error) {
    const std::string path = connection_->path();
    Layout layout;
    if (!ReadLayout(db(), &layout, error)) return false;
    if (layout.version > kLayoutVersion) {
      *error = path + " was written by a newer metashelf (layout " +
               std::to_string(layout.version) + "); use that version";
      return false;
    }
    if (layout.hasCatalogs && layout.version < kLayoutVersion) {
      *error = OlderLayoutMessage(path);
      return false;
    }
    if (layout.hasCatalogs) return true;
    if (mode != CHostDataBase::OpenMode::kCreate) {
      *error = layout.tables == 0 ? "no metashelf database in " + path + " (the file is empty)"
                                  : path + " is a SQLite file but not a metashelf database";
      return false;
    }
    return MakeLayout(db(), error);
  }

  // CBas_GDataBase
  int db_GetMtdbInfo(std::int32_t mtdbID, unsigned char* record) override {
    if (record == nullptr) return 0;
    sqlite3_stmt* s = Prepare("SELECT NAME,OWNER FROM MS_CATALOGS WHERE MTDB_ID=?1");
    if (!s) return 0;
    sqlite3_bind_int(s, 1, mtdbID);
    int found = 0;
    if (sqlite3_step(s) == SQLITE_ROW) {
      const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      const auto* owner = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
      FillMtdbInfo(record, mtdbID, name, owner);
      found = 1;
    }
    sqlite3_finalize(s);
    return found;
  }

  std::int32_t db_CreateMtdb(const char* name) override {
    if (!CheckNewCatalogName(*this, name, &last_error_)) return -1;
    if (!Exec("SAVEPOINT create_mtdb")) return -1;
    std::string error;
    std::int64_t id = 0;
    bool ok = ProvisionCatalogObjects(connection_.get(), owner_, &error) &&
              connection_->sequences().Next("", "MTDB_ID", true, &id, &error) && id > 0 &&
              id <= kMaxId;
    if (ok) {
      sqlite3_stmt* s = Prepare("INSERT INTO MS_CATALOGS(MTDB_ID,NAME,OWNER) VALUES(?1,?2,?3)");
      ok = s != nullptr;
      if (ok) {
        sqlite3_bind_int64(s, 1, id);
        sqlite3_bind_text(s, 2, name, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 3, owner_.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(s) == SQLITE_DONE;
        if (!ok) error = sqlite3_errmsg(db());
      }
      sqlite3_finalize(s);
    }
    if (!ok) {
      Exec("ROLLBACK TO create_mtdb");
      Exec("RELEASE create_mtdb");
      last_error_ = error.empty() ? "cannot create the catalog" : error;
      return -1;
    }
    Exec("RELEASE create_mtdb");
    return static_cast<std::int32_t>(id);
  }

  std::int32_t db_DeleteMtdb(std::int32_t mtdbID) override {
    sqlite3_stmt* s = Prepare("DELETE FROM MS_CATALOGS WHERE MTDB_ID=?1");
    if (!s) return 0;
    sqlite3_bind_int(s, 1, mtdbID);
    const bool ok = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    if (!ok) {
      last_error_ = sqlite3_errmsg(db());
      return 0;
    }
    return sqlite3_changes(db()) == 1 ? 1 : 0;
  }

  // Cora_IDataBase
  std::int32_t db_GetFreeXCLSID() override {
    std::int64_t id = 0;
    std::string error;
    if (!connection_->sequences().Next("", "XCLSID", true, &id, &error) || id < 1 || id > kMaxId) {
      last_error_ = error.empty() ? "the id sequence is exhausted" : error;
      return 0;
    }
    return static_cast<std::int32_t>(id);
  }

  // CHostDataBase
  std::int32_t FindMtdb(const char* name) override {
    if (name == nullptr) return 0;
    sqlite3_stmt* s = Prepare("SELECT MTDB_ID FROM MS_CATALOGS WHERE NAME=?1");
    if (!s) return 0;
    sqlite3_bind_text(s, 1, name, -1, SQLITE_TRANSIENT);
    const std::int32_t id = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : 0;
    sqlite3_finalize(s);
    return id;
  }

  std::vector<std::pair<std::int32_t, std::string>> ListMtdbs() override {
    std::vector<std::pair<std::int32_t, std::string>> out;
    sqlite3_stmt* s = Prepare("SELECT MTDB_ID,NAME FROM MS_CATALOGS ORDER BY MTDB_ID");
    if (!s) return out;
    while (sqlite3_step(s) == SQLITE_ROW) {
      const auto* n = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
      out.emplace_back(sqlite3_column_int(s, 0), n ? n : "");
    }
    sqlite3_finalize(s);
    return out;
  }

  std::int32_t Begin() override { return Exec("BEGIN IMMEDIATE") ? 1 : 0; }
  std::int32_t Commit() override { return Exec("COMMIT") ? 1 : 0; }
  std::int32_t Rollback() override { return Exec("ROLLBACK") ? 1 : 0; }

  const char* Backend() const override { return "sqlite"; }

  std::int32_t Backup(const char* destination) override {
    if (destination == nullptr || *destination == '\0') {
      last_error_ = "the backup needs a file name";
      return 0;
    }
    return BackupDatabase(db(), destination, &last_error_) ? 1 : 0;
  }

  std::int32_t CheckStorage(std::vector<std::string>* problems) override {
    sqlite3_stmt* s =
        Prepare(("PRAGMA integrity_check(" + std::to_string(kMaxProblems) + ")").c_str());
    if (!s) {
      if (problems) problems->push_back(last_error_);
      return 0;
    }
    bool whole = true;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      const auto* line = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      const std::string text = line ? line : "";
      if (text == "ok") continue;
      whole = false;
      if (problems) problems->push_back(text);
    }
    if (rc != SQLITE_DONE) {
      whole = false;
      if (problems) problems->push_back(sqlite3_errmsg(db()));
    }
    sqlite3_finalize(s);
    return whole ? 1 : 0;
  }
  std::string DisplayUri() const override { return uri_; }

 private:
  sqlite3* db() const { return connection_->db(); }

  bool Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
      last_error_ = message ? message : "statement failed";
      sqlite3_free(message);
      return false;
    }
    return true;
  }

  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db(), sql, -1, &s, nullptr) != SQLITE_OK) {
      last_error_ = sqlite3_errmsg(db());
      sqlite3_finalize(s);
      return nullptr;
    }
    return s;
  }

  std::string uri_;
};

}  // namespace

bool ParseSqliteUri(const std::string& rest, std::string* path, std::string* owner,
                    std::string* error) {
  *path = rest;
  *owner = kDefaultOwner;
  const std::size_t query = rest.find('?');
  if (query != std::string::npos) {
    *path = rest.substr(0, query);
    const std::string options = rest.substr(query + 1);
    if (options.rfind("owner=", 0) != 0 || options.find('&') != std::string::npos) {
      *error = "unknown option in " + rest + " (only ?owner=NAME is known)";
      return false;
    }
    *owner = options.substr(6);
    UpperCaseOwner(owner);
  }
  if (path->empty()) {
    *error = "the database path is empty";
    return false;
  }
  if (!SqliteConnection::ValidOwner(*owner)) {
    *error = InvalidOwnerMessage(*owner);
    return false;
  }
  return true;
}

std::unique_ptr<CHostDataBase> OpenSqlite(const std::string& rest, CHostDataBase::OpenMode mode,
                                          std::string* error) {
  std::string path, owner;
  if (!ParseSqliteUri(rest, &path, &owner, error)) return nullptr;
  struct stat st {};
  if (mode != CHostDataBase::OpenMode::kCreate && stat(path.c_str(), &st) != 0) {
    *error = "no database at " + path;
    return nullptr;
  }
  using Mode = SqliteConnection::Mode;
  const Mode connectionMode = mode == CHostDataBase::OpenMode::kCreate     ? Mode::kCreate
                              : mode == CHostDataBase::OpenMode::kExisting ? Mode::kExisting
                                                                           : Mode::kReadOnly;
  auto connection = SqliteConnection::Open(path, connectionMode, error);
  if (!connection) return nullptr;
  auto db = std::make_unique<SqliteHostDataBase>(std::move(connection), owner, "sqlite:" + rest);
  if (!db->Init(mode, error)) return nullptr;
  return db;
}

namespace {
constexpr const char* kScheme = "sqlite:";
constexpr std::size_t kSchemeSize = 7;
}  // namespace

extern const Opener kSqliteOpener = {
    "sqlite:PATH", [](const std::string& uri) { return uri.rfind(kScheme, 0) == 0; },
    [](const std::string& uri, CHostDataBase::OpenMode mode, std::string* error) {
      return OpenSqlite(uri.substr(kSchemeSize), mode, error);
    },
    [](const std::string& uri, std::string* report, std::string* error) {
      return UpgradeSqlite(uri.substr(kSchemeSize), report, error);
    }};

}  // namespace host
}  // namespace metashelf

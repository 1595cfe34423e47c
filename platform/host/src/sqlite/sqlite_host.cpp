// CHostDataBase on a SQLite file: the catalog registry (table MS_CATALOGS
// of the main file), owners as attached files, ids from the sequence store,
// and the host's transactions.
#include <sqlite3.h>

#include "../catalog_registry.h"
#include "../connected_host.h"
#include "../open_backends.h"
#include "backends/sqlite/connection.h"
#include "provisioning.h"

namespace metashelf {
namespace host {
namespace {

using driver::sqlite::SqliteConnection;

constexpr const char* kDefaultOwner = "METASHELF";
constexpr std::int32_t kMaxId = 0x7fffffff;
// Free ids are reserved this many at a time: one durable write per block
// instead of one per id (ids left in a block when the object closes are
// skipped, never reused).
constexpr std::int64_t kIdBlock = 64;

class SqliteHostDataBase : public ConnectedHost<SqliteConnection> {
 public:
  SqliteHostDataBase(std::unique_ptr<SqliteConnection> connection, std::string owner,
                     std::string uri)
      : ConnectedHost(std::move(connection), std::move(owner)), uri_(std::move(uri)) {}

  bool Init(std::string* error) {
    if (!Exec("CREATE TABLE IF NOT EXISTS MS_CATALOGS(MTDB_ID INTEGER PRIMARY KEY,"
              "NAME TEXT NOT NULL UNIQUE,OWNER TEXT NOT NULL)")) {
      *error = last_error_;
      return false;
    }
    // Every owner any catalog lives in, and our own.
    std::vector<std::string> owners{owner_};
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db(), "SELECT DISTINCT OWNER FROM MS_CATALOGS", -1, &s, nullptr) ==
        SQLITE_OK) {
      while (sqlite3_step(s) == SQLITE_ROW) {
        const auto* o = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        if (o && SqliteConnection::ValidOwner(o)) owners.emplace_back(o);
      }
    }
    sqlite3_finalize(s);
    for (const std::string& owner : owners) {
      if (!connection_->AttachOwner(owner, error)) return false;
    }
    return true;
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
    if (!connection_->sequences().NextCached("", "XCLSID", kIdBlock, &id, &error) || id < 1 ||
        id > kMaxId) {
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

std::unique_ptr<CHostDataBase> OpenSqlite(const std::string& rest, std::string* error) {
  std::string path = rest;
  std::string owner = kDefaultOwner;
  const std::size_t query = rest.find('?');
  if (query != std::string::npos) {
    path = rest.substr(0, query);
    const std::string options = rest.substr(query + 1);
    if (options.rfind("owner=", 0) != 0 || options.find('&') != std::string::npos) {
      *error = "unknown option in " + rest + " (only ?owner=NAME is known)";
      return nullptr;
    }
    owner = options.substr(6);
    UpperCaseOwner(&owner);
  }
  if (!SqliteConnection::ValidOwner(owner)) {
    *error = InvalidOwnerMessage(owner);
    return nullptr;
  }
  auto connection = SqliteConnection::Open(path, error);
  if (!connection) return nullptr;
  auto db = std::make_unique<SqliteHostDataBase>(std::move(connection), owner, "sqlite:" + rest);
  if (!db->Init(error)) return nullptr;
  return db;
}

}  // namespace host
}  // namespace metashelf

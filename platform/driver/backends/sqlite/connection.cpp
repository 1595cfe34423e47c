// Opening a SQLite database for the driver, attaching owners, and the cache
// of adapted and compiled statement forms.
#include "backends/sqlite/connection.h"

#include <sqlite3.h>

#include "backends/sqlite/error.h"
#include "backends/sqlite/functions.h"
#include "backends/sqlite/statement.h"
#include "metashelf/base/owner_name.h"

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr std::size_t kMaxCachedForms = 256;
constexpr std::size_t kMaxInternalStatements = 64;

// "dir/name.db" -> "dir/name"; other paths stay whole.
std::string Stem(const std::string& path) {
  if (path.size() > 3 && path.compare(path.size() - 3, 3, ".db") == 0) {
    return path.substr(0, path.size() - 3);
  }
  return path;
}

}  // namespace

Form::~Form() {
  sqlite3_finalize(stmt);
}

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path,
                                                         std::string* error) {
  if (path.empty() || path == ":memory:") {
    *error = "a SQLite database needs a file path";
    return nullptr;
  }
  std::unique_ptr<SqliteConnection> c(new SqliteConnection());
  c->path_ = path;
  // A connection is used by one thread at a time (callers never share a
  // catalog across threads at once), so SQLite's per-call locking of the
  // connection is left out.
  if (sqlite3_open_v2(path.c_str(), &c->db_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    *error = "cannot open " + path + ": " + (c->db_ ? sqlite3_errmsg(c->db_) : "no memory");
    return nullptr;
  }
  sqlite3_extended_result_codes(c->db_, 1);
  sqlite3_busy_timeout(c->db_, kBusyTimeoutMs);
  char* message = nullptr;
  // WAL with synchronous=NORMAL: a commit writes the log without waiting
  // for the disk; a power cut may lose the last commits but never corrupts.
  if (sqlite3_exec(c->db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                   &message) != SQLITE_OK) {
    *error = "cannot use " + path + ": " + (message ? message : "");
    sqlite3_free(message);
    return nullptr;
  }
  c->sequences_ = SequenceStore::Open(Stem(path) + ".sequences.db", error);
  if (!c->sequences_) return nullptr;
  if (!RegisterFunctions(c->db_, c->sequences_.get(), error)) return nullptr;
  return c;
}

void SqliteConnection::Finalizer::operator()(sqlite3_stmt* stmt) const {
  sqlite3_finalize(stmt);
}

SqliteConnection::~SqliteConnection() {
  cache_.clear();
  internal_.clear();
  sqlite3_close_v2(db_);
}

std::unique_ptr<Statement> SqliteConnection::NewStatement() {
  if (db_ == nullptr) return nullptr;
  return std::unique_ptr<Statement>(new SqliteStatement(this));
}

std::string SqliteConnection::OwnerPath(const std::string& owner) const {
  return Stem(path_) + "." + owner + ".db";
}

bool SqliteConnection::ValidOwner(const std::string& owner) {
  // Owners arrive upper-cased; MAIN and TEMP name SQLite's own schemas.
  return base::IsOwnerName(owner) && owner == base::UpperOwnerName(owner) && owner != "MAIN" &&
         owner != "TEMP";
}

bool SqliteConnection::AttachOwner(const std::string& owner, std::string* error) {
  if (!ValidOwner(owner)) {
    *error = "invalid owner name: " + owner;
    return false;
  }
  if (IsAttached(owner)) return true;
  sqlite3_stmt* s = nullptr;
  const std::string sql = "ATTACH DATABASE ?1 AS " + owner;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  const std::string file = OwnerPath(owner);
  sqlite3_bind_text(s, 1, file.c_str(), -1, SQLITE_TRANSIENT);
  const int rc = sqlite3_step(s);
  sqlite3_finalize(s);
  if (rc != SQLITE_DONE) {
    *error = "cannot attach owner " + owner + ": " + sqlite3_errmsg(db_);
    return false;
  }
  const std::string wal =
      "PRAGMA " + owner + ".journal_mode=WAL; PRAGMA " + owner + ".synchronous=NORMAL";
  char* message = nullptr;
  if (sqlite3_exec(db_, wal.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    *error = std::string("cannot set journal mode: ") + (message ? message : "");
    sqlite3_free(message);
    return false;
  }
  attached_.insert(owner);
  return true;
}

Form* SqliteConnection::Acquire(const std::string& key, std::string* state, std::string* error,
                                int* native) {
  auto it = cache_.find(key);
  if (it != cache_.end() && !it->second->inUse) {
    it->second->inUse = true;
    return it->second.get();
  }
  auto form = std::make_unique<Form>();
  form->key = key;
  if (!dialect::Adapt(key, dialect::Target::kSQLite, &form->adapted, error)) {
    *state = "42000";
    *native = 0;
    return nullptr;
  }
  if (form->adapted.kind == dialect::Adapted::Kind::kStatement) {
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_, form->adapted.text.c_str(),
                           static_cast<int>(form->adapted.text.size()), &form->stmt, &tail);
    if (rc != SQLITE_OK || form->stmt == nullptr) {
      if (rc == SQLITE_OK) {
        *state = "42000";
        *native = 0;
        *error = "empty statement";
      } else {
        const Reported reported = Classify(sqlite3_extended_errcode(db_), sqlite3_errmsg(db_));
        *state = reported.state;
        *native = reported.native;
        *error = sqlite3_errmsg(db_);
      }
      return nullptr;
    }
  }
  form->inUse = true;
  if (it == cache_.end()) {
    if (cache_.size() >= kMaxCachedForms) {
      for (auto e = cache_.begin(); e != cache_.end();) {
        e = e->second->inUse ? std::next(e) : cache_.erase(e);
      }
    }
    form->cached = true;
    Form* raw = form.get();
    cache_.emplace(key, std::move(form));
    return raw;
  }
  return form.release();  // a private copy while the cached one is busy
}

sqlite3_stmt* SqliteConnection::Internal(const std::string& sql, std::string* error) {
  auto it = internal_.find(sql);
  if (it != internal_.end()) return it->second.get();
  // Every internal statement is reset after each use, so none is busy here.
  if (internal_.size() >= kMaxInternalStatements) internal_.clear();
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
          SQLITE_OK ||
      stmt == nullptr) {
    *error = sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return nullptr;
  }
  internal_.emplace(sql, std::unique_ptr<sqlite3_stmt, Finalizer>(stmt));
  return stmt;
}

void SqliteConnection::Release(Form* form) {
  if (form == nullptr) return;
  if (form->stmt) {
    sqlite3_reset(form->stmt);
    sqlite3_clear_bindings(form->stmt);
  }
  if (form->cached) {
    form->inUse = false;
  } else {
    delete form;
  }
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

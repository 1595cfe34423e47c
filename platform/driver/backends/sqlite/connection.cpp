// Opening a SQLite database for the driver (read-write or read-only), and the cache
// of adapted and compiled statement forms.
#include "backends/sqlite/connection.h"

#include <sqlite3.h>
#include <unistd.h>

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

// A file: URI for `path` with `query` ("mode=ro"): the path's "%", "?" and
// "#" are escaped so that any file name opens.
std::string FileUri(const std::string& path, const char* query) {
  std::string uri = "file:";
  if (!path.empty() && path[0] == '/') uri += "//";
  for (char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      static const char kHex[] = "0123456789ABCDEF";
      uri += '%';
      uri += kHex[(static_cast<unsigned char>(c) >> 4) & 0xF];
      uri += kHex[static_cast<unsigned char>(c) & 0xF];
    } else {
      uri += c;
    }
  }
  return uri + "?" + query;
}

// True when the file, or the folder its journal files go to, cannot be
// written (read-only media, or another user's file).
bool CannotWrite(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "."
                             : slash == 0               ? "/"
                                                        : path.substr(0, slash);
  return access(path.c_str(), W_OK) != 0 || access(folder.c_str(), W_OK) != 0;
}

// Reads the schema, which is where a file that cannot be read (or whose
// WAL index cannot be made on read-only media) first fails.
int Probe(sqlite3* db) {
  return sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
}

}  // namespace

Form::~Form() {
  sqlite3_finalize(stmt);
}

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const std::string& path, Mode mode,
                                                         std::string* error, bool* readOnly) {
  if (readOnly) *readOnly = false;
  if (path.empty() || path == ":memory:") {
    *error = "a SQLite database needs a file path";
    return nullptr;
  }
  std::unique_ptr<SqliteConnection> c(new SqliteConnection());
  c->path_ = path;
  c->readOnly_ = mode == Mode::kReadOnly;
  // A connection is used by one thread at a time (callers never share a
  // catalog across threads at once), so SQLite's per-call locking of the
  // connection is left out.
  int flags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
  flags |= mode == Mode::kReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (mode == Mode::kCreate) flags |= SQLITE_OPEN_CREATE;
  auto fail = [&](const std::string& what) {
    *error = what;
    return nullptr;
  };
  const char* query = mode == Mode::kReadOnly   ? "mode=ro"
                      : mode == Mode::kExisting ? "mode=rw"
                                                : "mode=rwc";
  int rc = sqlite3_open_v2(FileUri(path, query).c_str(), &c->db_, flags, nullptr);
  if (rc == SQLITE_OK && mode == Mode::kReadOnly && Probe(c->db_) != SQLITE_OK) {
    // A WAL file on read-only media cannot have its index made; nobody can
    // write there either, so the file is read as it stands.
    const int code = sqlite3_extended_errcode(c->db_);
    if ((code & 0xff) == SQLITE_CANTOPEN || (code & 0xff) == SQLITE_READONLY) {
      sqlite3_close_v2(c->db_);
      c->db_ = nullptr;
      rc = sqlite3_open_v2(FileUri(path, "mode=ro&immutable=1").c_str(), &c->db_, flags, nullptr);
    }
  }
  if (rc != SQLITE_OK) {
    return fail("cannot open " + path + ": " + (c->db_ ? sqlite3_errmsg(c->db_) : "no memory"));
  }
  sqlite3_extended_result_codes(c->db_, 1);
  sqlite3_busy_timeout(c->db_, kBusyTimeoutMs);
  if (Probe(c->db_) != SQLITE_OK) {
    // On read-only media a WAL file fails here, as its index cannot be made.
    if (mode != Mode::kReadOnly && CannotWrite(path)) {
      if (readOnly) *readOnly = true;
      return fail("the database " + path + " is read-only (it can be read, not changed)");
    }
    return fail("cannot read " + path + ": " + sqlite3_errmsg(c->db_));
  }
  if (mode != Mode::kReadOnly && sqlite3_db_readonly(c->db_, "main") == 1) {
    if (readOnly) *readOnly = true;
    return fail("the database " + path + " is read-only (it can be read, not changed)");
  }
  c->sequences_ = std::make_unique<SequenceStore>(c->db_);
  if (mode != Mode::kReadOnly) {
    char* message = nullptr;
    // WAL with synchronous=NORMAL: a commit writes the log without waiting
    // for the disk; a power cut may lose the last commits but never corrupts.
    if (sqlite3_exec(c->db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL", nullptr, nullptr,
                     &message) != SQLITE_OK) {
      const int code = sqlite3_extended_errcode(c->db_);
      std::string reason = message ? message : "";
      sqlite3_free(message);
      if ((code & 0xff) == SQLITE_READONLY || (code & 0xff) == SQLITE_CANTOPEN) {
        if (readOnly) *readOnly = true;
        return fail("the database " + path + " is read-only (it can be read, not changed)");
      }
      return fail("cannot use " + path + ": " + reason);
    }
  }
  if (!RegisterFunctions(c->db_, c->sequences_.get(), error)) return nullptr;
  return c;
}

void SqliteConnection::Finalizer::operator()(sqlite3_stmt* stmt) const {
  sqlite3_finalize(stmt);
}

SqliteConnection::~SqliteConnection() {
  if (sequences_) sequences_->Settle();
  cache_.clear();
  internal_.clear();
  sqlite3_close_v2(db_);
}

std::unique_ptr<Statement> SqliteConnection::NewStatement() {
  if (db_ == nullptr) return nullptr;
  return std::unique_ptr<Statement>(new SqliteStatement(this));
}

bool SqliteConnection::ValidOwner(const std::string& owner) {
  // Owners arrive upper-cased; MAIN and TEMP name SQLite's own schemas.
  return base::IsOwnerName(owner) && owner == base::UpperOwnerName(owner) && owner != "MAIN" &&
         owner != "TEMP";
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
  dialect::Error refusal;
  if (!dialect::Adapt(key, dialect::Target::kSQLite, &form->adapted, &refusal)) {
    *state = dialect::StateOf(refusal);
    *native = refusal.oracle;
    *error = refusal.message;
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
        *native = dialect::kInvalidStatement;
        *error = "empty statement";
      } else {
        // The message first: the classification's lookups replace it.
        *error = sqlite3_errmsg(db_);
        const Reported reported =
            ClassifyStatement(db_, sqlite3_extended_errcode(db_), &form->adapted);
        *state = reported.state;
        *native = reported.native;
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

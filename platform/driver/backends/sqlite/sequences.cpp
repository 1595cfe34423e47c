// The sequence store: one table in a file of its own.
#include "backends/sqlite/sequences.h"

#include <sqlite3.h>

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

constexpr int kBusyTimeoutMs = 30000;

// A prepared statement finalized on every path.
class Stmt {
 public:
  Stmt(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Stmt() { sqlite3_finalize(stmt_); }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

void BindName(sqlite3_stmt* s, const std::string& owner, const std::string& name) {
  sqlite3_bind_text(s, 1, owner.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
}

}  // namespace

std::unique_ptr<SequenceStore> SequenceStore::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    *error = "cannot open sequence store " + path + ": " + (db ? sqlite3_errmsg(db) : "no memory");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  char* message = nullptr;
  const int rc = sqlite3_exec(db,
                              "PRAGMA journal_mode=WAL;"
                              "CREATE TABLE IF NOT EXISTS SEQUENCES(OWNER TEXT NOT NULL,"
                              "NAME TEXT NOT NULL,LAST INTEGER NOT NULL,INCREMENT INTEGER NOT "
                              "NULL,PRIMARY KEY(OWNER,NAME))",
                              nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    *error = std::string("cannot prepare sequence store: ") + (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<SequenceStore>(new SequenceStore(db));
}

SequenceStore::~SequenceStore() {
  sqlite3_close(db_);
}

bool SequenceStore::Create(const std::string& owner, const std::string& name, std::int64_t start,
                           std::string* error) {
  Stmt s(db_, "INSERT OR IGNORE INTO SEQUENCES(OWNER,NAME,LAST,INCREMENT) VALUES(?1,?2,?3-1,1)");
  if (!s.get()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  BindName(s.get(), owner, name);
  sqlite3_bind_int64(s.get(), 3, start);
  if (sqlite3_step(s.get()) != SQLITE_DONE) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool SequenceStore::Next(const std::string& owner, const std::string& name, bool create,
                         std::int64_t* value, std::string* error) {
  if (create && !Create(owner, name, 1, error)) return false;
  Stmt s(db_, "UPDATE SEQUENCES SET LAST=LAST+INCREMENT WHERE OWNER=?1 AND NAME=?2 RETURNING LAST");
  if (!s.get()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  BindName(s.get(), owner, name);
  const int rc = sqlite3_step(s.get());
  if (rc == SQLITE_ROW) {
    *value = sqlite3_column_int64(s.get(), 0);
    sqlite3_step(s.get());  // completes the UPDATE
    return true;
  }
  if (rc == SQLITE_DONE) {
    *error = "ORA-02289: sequence does not exist: " + (owner.empty() ? "" : owner + ".") + name;
  } else {
    *error = sqlite3_errmsg(db_);
  }
  return false;
}

bool SequenceStore::NextCached(const std::string& owner, const std::string& name,
                               std::int64_t block, std::int64_t* value, std::string* error) {
  if (block < 1) block = 1;
  Block& reserved = blocks_[owner + '\0' + name];
  if (reserved.next <= reserved.last) {
    *value = reserved.next++;
    return true;
  }
  if (!Create(owner, name, 1, error)) return false;
  Stmt s(db_,
         "UPDATE SEQUENCES SET LAST=LAST+?3 WHERE OWNER=?1 AND NAME=?2 AND INCREMENT=1 "
         "RETURNING LAST");
  if (!s.get()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  BindName(s.get(), owner, name);
  sqlite3_bind_int64(s.get(), 3, block);
  const int rc = sqlite3_step(s.get());
  if (rc != SQLITE_ROW) {
    *error = rc == SQLITE_DONE ? "sequence " + name + " does not count by 1" : sqlite3_errmsg(db_);
    return false;
  }
  reserved.last = sqlite3_column_int64(s.get(), 0);
  sqlite3_step(s.get());  // completes the UPDATE
  reserved.next = reserved.last - block + 1;
  *value = reserved.next++;
  return true;
}

bool SequenceStore::SetIncrement(const std::string& owner, const std::string& name,
                                 std::int64_t increment, std::string* error) {
  if (increment == 0) {
    *error = "ORA-04002: INCREMENT must be a non-zero integer";
    return false;
  }
  Stmt s(db_, "UPDATE SEQUENCES SET INCREMENT=?3 WHERE OWNER=?1 AND NAME=?2");
  if (!s.get()) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  BindName(s.get(), owner, name);
  sqlite3_bind_int64(s.get(), 3, increment);
  if (sqlite3_step(s.get()) != SQLITE_DONE) {
    *error = sqlite3_errmsg(db_);
    return false;
  }
  if (sqlite3_changes(db_) == 0) {
    *error = "ORA-02289: sequence does not exist: " + (owner.empty() ? "" : owner + ".") + name;
    return false;
  }
  return true;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

// The sequence store: the table MS_SEQUENCES of the database file.
#include "backends/sqlite/sequences.h"

#include <sqlite3.h>

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

// One of the store's kept statements, reset (and its bindings cleared)
// when the draw is done with it.
class Stmt {
 public:
  Stmt(std::map<const char*, sqlite3_stmt*>* kept, sqlite3* db, const char* sql) {
    auto it = kept->find(sql);
    if (it != kept->end()) {
      stmt_ = it->second;
      return;
    }
    if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
      sqlite3_finalize(stmt_);
      stmt_ = nullptr;
      return;
    }
    kept->emplace(sql, stmt_);
  }
  ~Stmt() {
    if (stmt_) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  sqlite3_stmt* get() const { return stmt_; }

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

void BindName(sqlite3_stmt* s, const std::string& owner, const std::string& name) {
  sqlite3_bind_text(s, 1, owner.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
}

// Runs a kept statement that writes one sequence's row: ?1 the owner, ?2
// the name, ?3 `number`. False with the engine's message when it fails.
bool WriteRow(std::map<const char*, sqlite3_stmt*>* kept, sqlite3* db, const char* sql,
              const std::string& owner, const std::string& name, std::int64_t number,
              std::string* error) {
  Stmt s(kept, db, sql);
  if (!s.get()) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  BindName(s.get(), owner, name);
  sqlite3_bind_int64(s.get(), 3, number);
  if (sqlite3_step(s.get()) != SQLITE_DONE) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  return true;
}

std::string NoSuchSequence(const std::string& owner, const std::string& name) {
  return "ORA-02289: sequence does not exist: " + (owner.empty() ? "" : owner + ".") + name;
}

}  // namespace

bool SequenceStore::Provision(sqlite3* db, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db,
                   "CREATE TABLE IF NOT EXISTS MS_SEQUENCES(OWNER TEXT NOT NULL,NAME TEXT NOT "
                   "NULL,LAST INTEGER NOT NULL,INCREMENT INTEGER NOT NULL,PRIMARY KEY(OWNER,NAME))",
                   nullptr, nullptr, &message) != SQLITE_OK) {
    *error = std::string("cannot make the sequence table: ") + (message ? message : "");
    sqlite3_free(message);
    return false;
  }
  return true;
}

SequenceStore::~SequenceStore() {
  for (auto& [sql, stmt] : kept_) sqlite3_finalize(stmt);
}

bool SequenceStore::Create(const std::string& owner, const std::string& name, std::int64_t start,
                           std::string* error) {
  return WriteRow(&kept_, db_,
                  "INSERT OR IGNORE INTO MS_SEQUENCES(OWNER,NAME,LAST,INCREMENT) "
                  "VALUES(?1,?2,?3-1,1)",
                  owner, name, start, error);
}

bool SequenceStore::Next(const std::string& owner, const std::string& name, bool create,
                         std::int64_t* value, std::string* error) {
  refusal_ = 0;
  if (create && !Create(owner, name, 1, error)) return false;
  // Twice at most: a draw at or below a value handed out before (its own
  // draw was rolled back) raises the sequence past that value first.
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::int64_t drawn = 0;
    std::int64_t increment = 0;
    {
      Stmt s(&kept_, db_,
             "UPDATE MS_SEQUENCES SET LAST=LAST+INCREMENT WHERE OWNER=?1 AND NAME=?2 "
             "RETURNING LAST,INCREMENT");
      if (!s.get()) {
        *error = sqlite3_errmsg(db_);
        return false;
      }
      BindName(s.get(), owner, name);
      const int rc = sqlite3_step(s.get());
      if (rc == SQLITE_DONE) {
        refusal_ = 2289;
        *error = NoSuchSequence(owner, name);
        return false;
      }
      if (rc != SQLITE_ROW) {
        *error = sqlite3_errmsg(db_);
        return false;
      }
      drawn = sqlite3_column_int64(s.get(), 0);
      increment = sqlite3_column_int64(s.get(), 1);
      if (sqlite3_step(s.get()) != SQLITE_DONE) {  // completes the UPDATE
        *error = sqlite3_errmsg(db_);
        return false;
      }
    }
    if (increment <= 0) {
      *value = drawn;
      return true;
    }
    std::int64_t& handed = handed_[{owner, name}];
    if (drawn > handed) {
      handed = drawn;
      *value = drawn;
      return true;
    }
    if (!Raise(owner, name, handed, error)) return false;
  }
  *error = "the sequence " + name + " does not move past the values it handed out";
  return false;
}

void SequenceStore::Settle() {
  if (handed_.empty()) return;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  std::string error;
  for (const auto& [key, handed] : handed_) Raise(key.first, key.second, handed, &error);
}

bool SequenceStore::Raise(const std::string& owner, const std::string& name, std::int64_t floor,
                          std::string* error) {
  if (!Create(owner, name, 1, error)) return false;
  return WriteRow(&kept_, db_,
                  "UPDATE MS_SEQUENCES SET LAST=?3 WHERE OWNER=?1 AND NAME=?2 AND LAST<?3", owner,
                  name, floor, error);
}

bool SequenceStore::SetIncrement(const std::string& owner, const std::string& name,
                                 std::int64_t increment, std::string* error) {
  refusal_ = 0;
  if (increment == 0) {
    refusal_ = 4002;
    *error = "ORA-04002: INCREMENT must be a non-zero integer";
    return false;
  }
  if (!WriteRow(&kept_, db_, "UPDATE MS_SEQUENCES SET INCREMENT=?3 WHERE OWNER=?1 AND NAME=?2",
                owner, name, increment, error)) {
    return false;
  }
  if (sqlite3_changes(db_) == 0) {
    refusal_ = 2289;
    *error = NoSuchSequence(owner, name);
    return false;
  }
  return true;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

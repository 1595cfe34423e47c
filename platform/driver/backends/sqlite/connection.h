// A driver connection on a SQLite database file. Oracle owners are attached
// databases in files beside the main one ("<stem>.<OWNER>.db"), so that
// OWNER.TABLE texts run unchanged and the sqlite3 shell can open each file;
// sequences live in "<stem>.sequences.db" behind a connection of their own.
//
// The connection keeps adapted and prepared forms of statement texts keyed
// by the text with its literal values lifted out, so that the thousands of
// statements that differ only in values are adapted and compiled once.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_CONNECTION_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_CONNECTION_H_

#include <memory>
#include <set>
#include <string>
#include <unordered_map>

#include "backends/sqlite/sequences.h"
#include "dialect/dialect.h"
#include "internal/backend.h"

struct sqlite3;
struct sqlite3_stmt;

namespace metashelf {
namespace driver {
namespace sqlite {

// One adapted statement text and its compiled form (none for procedure calls).
struct Form {
  Form() = default;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;
  ~Form();
  std::string key;
  dialect::Adapted adapted;
  sqlite3_stmt* stmt = nullptr;
  bool cached = false;
  bool inUse = false;
};

class SqliteConnection : public Connection {
 public:
  // Opens (creating when missing) the database file at `path` and its
  // sequence store; sets WAL and a busy timeout. Null with `*error` set.
  static std::unique_ptr<SqliteConnection> Open(const std::string& path, std::string* error);
  ~SqliteConnection() override;

  std::unique_ptr<Statement> NewStatement() override;

  sqlite3* db() const { return db_; }
  SequenceStore& sequences() { return *sequences_; }
  const std::string& path() const { return path_; }

  // The file an owner's objects live in.
  std::string OwnerPath(const std::string& owner) const;
  // Attaches `owner` (upper-case letters, digits, "_", starting with a
  // letter, under 32 characters) when it is not attached yet. Fails inside
  // an open transaction (SQLite cannot attach there).
  bool AttachOwner(const std::string& owner, std::string* error);
  bool IsAttached(const std::string& owner) const { return attached_.count(owner) != 0; }
  static bool ValidOwner(const std::string& owner);

  // A form for the lifted text `key`: from the cache when one is free, else
  // newly adapted and compiled. Null with `*error`/`*native` on failure.
  Form* Acquire(const std::string& key, std::string* state, std::string* error, int* native);
  // Gives a form back: cached ones are reset for the next user, others freed.
  void Release(Form* form);
  // Forms currently cached (for tests of the cache).
  std::size_t CachedForms() const { return cache_.size(); }

  // A statement the connection runs for itself (a procedure's sources, a
  // savepoint), compiled on first use and kept; reset it after each use.
  // Null with `*error` set when `sql` does not compile.
  sqlite3_stmt* Internal(const std::string& sql, std::string* error);

  // Lifts literals out of statement texts, recognising recent shapes.
  dialect::ShapeMemo& shapes() { return shapes_; }
  // The statements' lifting scratch: it holds earlier literals, whose
  // storage the next lift writes over instead of allocating anew.
  dialect::Shaped& lifted() { return lifted_; }

 private:
  SqliteConnection() = default;
  sqlite3* db_ = nullptr;
  std::string path_;
  std::unique_ptr<SequenceStore> sequences_;
  std::set<std::string> attached_;
  std::unordered_map<std::string, std::unique_ptr<Form>> cache_;
  dialect::ShapeMemo shapes_;
  dialect::Shaped lifted_;
  struct Finalizer {
    void operator()(sqlite3_stmt* stmt) const;
  };
  std::unordered_map<std::string, std::unique_ptr<sqlite3_stmt, Finalizer>> internal_;
};

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_CONNECTION_H_

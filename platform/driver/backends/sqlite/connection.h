// A driver connection on a SQLite database file. The database is that one
// file: an Oracle owner's objects are its tables named "OWNER.TABLE" (the
// dialect maps OWNER.TABLE texts to them) and sequences are rows of its
// table MS_SEQUENCES, so that a copy of the file is a copy of the database.
//
// The connection keeps adapted and prepared forms of statement texts keyed
// by the text with its literal values lifted out, so that the thousands of
// statements that differ only in values are adapted and compiled once.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_CONNECTION_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_CONNECTION_H_

#include <memory>
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
  // How a file is opened: kCreate makes it when missing; kExisting needs
  // it; kReadOnly needs it and never writes (a file on read-only media, or
  // one the user may not write, opens this way).
  enum class Mode { kCreate, kExisting, kReadOnly };
  // Opens the database file at `path`; read-write modes set WAL. Every
  // mode sets a busy timeout. Null with `*error` set; `*readOnly` (may be
  // null) tells a read-write open that failed because the file or its
  // folder cannot be written.
  static std::unique_ptr<SqliteConnection> Open(const std::string& path, Mode mode,
                                                std::string* error, bool* readOnly = nullptr);
  ~SqliteConnection() override;

  std::unique_ptr<Statement> NewStatement() override;

  sqlite3* db() const { return db_; }
  SequenceStore& sequences() { return *sequences_; }
  const std::string& path() const { return path_; }

  bool readOnly() const { return readOnly_; }
  // An owner name: upper-case letters, digits, "_", starting with a letter,
  // under 32 characters.
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

 protected:
  // Units of work (units.cpp): the outermost begins with BEGIN IMMEDIATE,
  // as the host's transactions do, so that it never waits to write after
  // it has read.
  bool TransactionOpen() override;
  bool RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) override;

 public:
  // The statements' lifting scratch: it holds earlier literals, whose
  // storage the next lift writes over instead of allocating anew.
  dialect::Shaped& lifted() { return lifted_; }

 private:
  SqliteConnection() = default;
  sqlite3* db_ = nullptr;
  std::string path_;
  bool readOnly_ = false;
  std::unique_ptr<SequenceStore> sequences_;
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

// The PostgreSQL backend's connection: one libpq connection, a cache of
// server-side prepared statements keyed by their adapted text, and a small
// "run one statement" helper for the host object. Every statement goes
// through the extended query protocol (PQprepare/PQexecPrepared or
// PQexecParams), so a text never carries a second statement.
//
// Write units (pipeline.cpp): while one is open, row changes whose result
// nobody needs to go on are queued in libpq's pipeline mode and their
// results read at the next statement that needs its own result, or at the
// unit's end; repeated single-row inserts are held and sent as statements
// of several rows when anything but another table's insert goes out
// (held_rows.cpp); the unit runs in a
// transaction or savepoint sent in the same pipeline, so a failure found late undoes the whole
// unit. Outside a unit, a statement run inside an open transaction gets a savepoint of its own in
// the same round trip, so that its failure undoes only itself.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_

#include <libpq-fe.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "backends/postgresql/row_batch.h"
#include "dialect/dialect.h"
#include "internal/backend.h"

namespace metashelf {
namespace driver {
namespace postgresql {

// Frees a PGresult when it goes out of scope.
struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// A prepared statement on the server: its name, the number of parameters
// the server inferred, and the result format that decodes without loss
// (1 binary when every result column has a type the backend reads in binary).
struct Prepared {
  std::string name;
  int params = 0;
  int columns = 0;
  int resultFormat = 0;
  std::string text;
  std::vector<Oid> types;  // of the parameters, as the server inferred them
  // Uses so far, and the count at which the statement is prepared again
  // under a new name (0: never), so that its plan follows the tables.
  std::uint64_t uses = 0;
  std::uint64_t replanAt = 0;
};

// One text parameter of PgConnection::Run; nullopt is NULL.
using TextParam = std::optional<std::string>;

// One statement to send: a server-side prepared statement by name, or a
// text run once. The arrays stay the caller's until the call returns.
struct Request {
  const Prepared* prepared = nullptr;  // when known: a row change may be held
  bool toBatchEnd = false;             // held rows may wait for the batch's end
  const char* name = nullptr;          // prepared statement, or
  const char* text = nullptr;          // a text with its own parameters
  int count = 0;
  const char* const* values = nullptr;
  const int* lengths = nullptr;
  const int* formats = nullptr;
  int resultFormat = 0;
};

// Told of a queued statement's successful result when it is read; false
// with `*failure` filled makes the statement count as failed.
using ResultSink = std::function<bool(const PGresult*, Diagnostic*)>;

class PgConnection : public Connection {
 public:
  // Opens a connection with a libpq conninfo string or URI. Null with
  // `*error` set on failure; the message never holds the password.
  static std::unique_ptr<PgConnection> Open(const std::string& conninfo, std::string* error);
  ~PgConnection() override;

  std::unique_ptr<Statement> NewStatement() override;

  PGconn* raw() const { return conn_; }

  // The server-side prepared form of `text` (already adapted), prepared on
  // first use and kept for the connection's life. Null with `*error` filled
  // when the server refuses the text.
  const Prepared* Prepare(const std::string& text, Diagnostic* error);

  // The PostgreSQL form of an Oracle text whose literals have been lifted
  // out (dialect::LiftLiterals), adapted once per connection. Null with
  // `*error` for a text the adapter refuses.
  std::shared_ptr<const dialect::Adapted> Adapt(const std::string& key, dialect::Error* error);

  // What the adapter is told about this database (its prefix-keyed
  // columns); set by whoever makes the tables, before their first use.
  void SetRules(dialect::Rules rules) {
    rules_ = std::move(rules);
    adapted_.clear();
  }
  const dialect::Rules& rules() const { return rules_; }

  // Runs one statement with text parameters and text results; the result
  // (rows or command status) or null with `*error` filled.
  ResultPtr Run(const std::string& text, const std::vector<TextParam>& params, Diagnostic* error);

  // Lifts literals out of statement texts, recognising recent shapes.
  dialect::ShapeMemo& shapes() { return shapes_; }

  // Whether a unit of work is open: its row changes may then be queued.
  bool InUnit() const { return OpenUnits() > 0; }

  // Queues `request` in the open unit; `sink` (may be empty) sees its
  // result when it is read. False with `*error` when the unit has already
  // failed or the statement cannot be sent; the unit then fails. A
  // single-row insert without a sink may be held and sent later with the
  // rows of the same statement that follow it: its failure is then the
  // combined statement's, found where a queued failure would be.
  bool Queue(const Request& request, ResultSink sink, Diagnostic* error);

  // Runs `request` now and returns its result (rows or command status), or
  // null with `*error` filled. Everything queued is read first, in the same
  // round trip: a failure among it fails this call too. With `ownSavepoint`,
  // outside a unit and inside an open transaction, the statement runs
  // within a savepoint of its own, sent with it, and rolled back to when it
  // fails, so that the transaction goes on.
  ResultPtr Now(const Request& request, bool ownSavepoint, Diagnostic* error);

  // Reads every queued result; false with `*error` on the first failure.
  bool Settle(Diagnostic* error);

  // False with `*error` when a statement of the open units has failed:
  // nothing more can succeed in them until a rollback.
  bool UnitUsable(Diagnostic* error) const {
    if (!unitFailed_) return true;
    *error = unitFailure_;
    return false;
  }

 protected:
  // Units of work (units.cpp). PostgreSQL takes no savepoint outside a
  // transaction block, so the outermost unit outside one runs BEGIN. BEGIN
  // and SAVEPOINT are queued; COMMIT and RELEASE are queued and then every
  // result of the unit is read, so the unit's end is one round trip.
  bool TransactionOpen() override;
  bool RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) override;
  bool KeepsShapeSerial() const override { return true; }

 private:
  explicit PgConnection(PGconn* conn) : conn_(conn) {}
  void Forget();

  // A statement sent in pipeline mode whose result is still to be read.
  struct Pending {
    ResultSink sink;
    ResultPtr* keep = nullptr;  // takes the result (Now's own statement)
    // Told when the statement failed or never ran (a prepare then left no
    // statement on the server).
    std::function<void(bool refused)> failed;
  };
  // The multi-row forms of one prepared insert (held_rows.cpp).
  struct RowForms {
    bool usable = false;
    RowShape shape;
    std::map<int, std::string> names;  // rows -> prepared name, once sent
  };
  // Parameters of the held rows of one prepared insert, row after row.
  struct HeldRows {
    const Prepared* prepared = nullptr;
    bool toBatchEnd = false;  // sent before a statement naming its table
    int rows = 0;
    std::string bytes;
    std::vector<std::size_t> offsets;
    std::vector<int> lengths;  // -1: NULL
    std::vector<int> formats;
  };
  // Holds `request` when it is a single-row insert with several-row forms;
  // `*held` false when it is not (it is then sent as it is).
  bool Hold(const Request& request, bool* held, Diagnostic* error);
  // Sends every held row, group after group, as few statements; false with
  // `*error` when they cannot be sent. With `before`, the text of the
  // statement that goes next ("" for a sync), the rows that may wait for
  // the batch's end stay unless it names their table.
  bool SendHeld(Diagnostic* error, const char* before = nullptr);
  bool SendGroup(const HeldRows& group, Diagnostic* error);
  // Forgets the held rows unsent (their unit is being rolled back).
  void DropHeld() { held_.clear(); }
  RowForms& FormsOf(const Prepared& prepared);
  // The name of the prepared form inserting `rows` rows, prepared (queued)
  // on first use; null with `*error` when it cannot be sent.
  const std::string* FormFor(const Prepared& prepared, RowForms* forms, int rows,
                             Diagnostic* error);
  bool SendRaw(const Request& request, Diagnostic* error);
  // Prepares `text` as `name` and returns the server's description of it,
  // or null with `*error` (the name then does not exist).
  ResultPtr Describe(const std::string& name, const std::string& text, Diagnostic* error);
  bool EnterPipeline(Diagnostic* error);
  bool SendInPipeline(const Request& request, Diagnostic* error);
  bool SendControl(const char* text, Diagnostic* error, ResultSink sink = nullptr);
  // Sends a sync, reads every result up to it and leaves pipeline mode.
  // False with `*error` on the first failure (or a lost connection).
  bool Collect(Diagnostic* error);
  // Rolls back to the statement's own savepoint and releases it, so that a
  // failed statement inside a transaction undoes only itself.
  void UndoStatement();
  ResultPtr RunPlain(const Request& request, Diagnostic* error);
  void MarkFailed(const Diagnostic& failure);

  // The first failure read inside the open units: every later statement
  // fails with it until a rollback undoes it.
  bool unitFailed_ = false;
  Diagnostic unitFailure_;
  std::deque<Pending> pending_;
  // Whether a queued statement's result is judged here (a write that must
  // find its row) rather than by the server: it must be read before a
  // COMMIT or RELEASE keeps the work, which the server would do regardless.
  bool judgedHere_ = false;

  // Rows held per prepared insert, in the order of each group's first row;
  // no two groups go to the same table, so sending them group by group
  // leaves every table's rows in the order they were written.
  std::vector<HeldRows> held_;
  // Rows held at most; 1 sends every row as its own statement (set from
  // METASHELF_PG_ROWS_PER_INSERT when the connection opens, for measuring).
  int mostHeldRows_ = 64;
  std::map<std::string, RowForms> forms_;  // by the single-row statement's name

  PGconn* conn_;
  std::map<std::string, Prepared> prepared_;
  std::map<std::string, std::shared_ptr<const dialect::Adapted>> adapted_;
  dialect::Rules rules_;
  std::uint64_t nextName_ = 0;
  dialect::ShapeMemo shapes_;
};

// Fills `*out` from a failed result (or, when `result` is null, from the
// connection's last message). Defined in error.cpp.
void MapError(const PGresult* result, PGconn* conn, Diagnostic* out);

// The failure of a connection that is gone (ORA-03113), with libpq's
// message. Defined in pipeline.cpp.
Diagnostic LostConnection(PGconn* conn);

// Masks the password of a conninfo string or URI, for messages.
std::string MaskPassword(const std::string& conninfo);

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_

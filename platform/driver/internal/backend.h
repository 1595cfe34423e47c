// The one small interface every backend implements (SQLite, PostgreSQL, the
// scripted test backend). The gis_SQL* entry points validate handles and
// arguments common to all backends, run the fault injector, and forward each
// call to the statement's backend object.
#ifndef METASHELF_DRIVER_INTERNAL_BACKEND_H_
#define METASHELF_DRIVER_INTERNAL_BACKEND_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/driver.h"

namespace metashelf {
namespace driver {

// Every driver entry point, for fault injection and call recording.
enum class Call : int {
  kAllocStmt,
  kPrepare,
  kExecute,
  kExecDirect,
  kBindParameter,
  kBindCol,
  kFetch,
  kSetStmtOption,
  kExtendedFetch,
  kParamData,
  kPutData,
  kFreeStmt,
  kError,
  // Units of work. An injected failure of kBeginUnit opens no unit; one of
  // kEndUnit stands for a commit that failed: the unit is undone.
  kBeginUnit,
  kEndUnit,
};
const char* CallName(Call call);

// The last failure of a statement, as gis_SQLError reports it.
struct Diagnostic {
  std::string state = "00000";  // five characters
  std::int32_t native = 0;
  std::string message;
};

// A parameter binding as the caller gave it. The buffer stays the caller's.
struct ParamBinding {
  std::uint16_t number = 0;
  std::int16_t io = 1;
  std::int16_t valueType = 0;
  std::int16_t dbType = 0;
  std::uint32_t columnSize = 0;
  std::int16_t digits = 0;
  void* buffer = nullptr;
  std::int32_t bufferLength = 0;
  std::int16_t* indicator = nullptr;
};

// A column binding as the caller gave it. The buffer stays the caller's.
struct ColBinding {
  std::uint16_t number = 0;
  std::int16_t type = 0;
  void* buffer = nullptr;
  std::int32_t bufferLength = 0;
  std::int16_t* indicator = nullptr;
};

class Statement {
 public:
  virtual ~Statement() = default;

  // `text` is exactly `length` bytes (the entry point resolved -3).
  virtual std::int16_t Prepare(const char* text, std::size_t length) = 0;
  virtual std::int16_t Execute() = 0;
  virtual std::int16_t ExecDirect(const char* text, std::size_t length) = 0;
  virtual std::int16_t BindParameter(const ParamBinding& binding) = 0;
  virtual std::int16_t BindCol(const ColBinding& binding) = 0;
  virtual std::int16_t Fetch() = 0;
  virtual std::int16_t SetStmtOption(std::uint16_t option, std::uint32_t value) = 0;
  virtual std::int16_t ExtendedFetch(std::uint16_t orientation, std::int32_t offset,
                                     std::uint32_t* rowCount, std::uint16_t* rowStatus) = 0;
  virtual std::int16_t ParamData(void** token) = 0;
  virtual std::int16_t PutData(const void* data, std::int32_t length) = 0;
  // Option 0: close the cursor, keep bindings and the handle. Option 1 never
  // reaches a backend: the entry point destroys the object.
  virtual std::int16_t CloseCursor() = 0;

  // Told of each gis_SQLError call on the statement: the diagnostic it
  // reported and what it returned (the scripted backend records them).
  virtual void OnError(const Diagnostic& /*reported*/, std::int16_t /*result*/) {}

  const Diagnostic& last_error() const { return error_; }
  // Records a failure and returns `code` (negative), for `return Fail(...)`.
  std::int16_t Fail(const char* state, std::int32_t native, std::string message,
                    std::int16_t code = GIS_SQL_ERROR) {
    error_.state = state;
    error_.native = native;
    error_.message = std::move(message);
    return code;
  }
  void ClearError() { error_ = Diagnostic(); }

 private:
  Diagnostic error_;
};

// Makes the Nth call of a chosen entry point fail, so that tests of every
// layer can prove a failure is reported and nothing is half-written.
class FaultInjector {
 public:
  // The `nth` call of `call` from now on (1 = the next one) fails with
  // `code`; with `sticky` every later call of it fails too.
  void FailNth(Call call, int nth, std::int16_t code = GIS_SQL_ERROR, bool sticky = false);
  // The same for a connection opened later beside this one (a host's
  // sibling, CHostDataBase::OpenSibling): it starts with these rules, its
  // calls counted apart, so that a test reaches the failures of work spread
  // over two connections.
  void FailNthInSiblings(Call call, int nth, std::int16_t code = GIS_SQL_ERROR,
                         bool sticky = false);
  // Takes the rules `opener` keeps for siblings as this injector's own.
  void StartAsSiblingOf(const FaultInjector& opener) { rules_ = opener.siblingRules_; }
  void Clear() {
    rules_.clear();
    siblingRules_.clear();
  }
  // Counts one call of `call`. True (and `*code` set) when it must fail.
  bool Check(Call call, std::int16_t* code);
  // Calls of `call` counted since the injector was created or cleared.
  int Count(Call call) const;

 private:
  struct Rule {
    Call call;
    int remaining;
    std::int16_t code;
    bool sticky;
  };
  std::vector<Rule> rules_;
  std::vector<Rule> siblingRules_;
  std::vector<int> counts_;
};

// The statements a unit of work runs on its connection.
enum class UnitStep { kBegin, kCommit, kRollback, kSavepoint, kRelease, kRollbackTo };

class Connection {
 public:
  virtual ~Connection() = default;
  // A new statement object, or null when none can be made (closed
  // connection, out of resources).
  virtual std::unique_ptr<Statement> NewStatement() = 0;

  // Units of work (gis_SQLBeginUnit / gis_SQLEndUnit). The default keeps a
  // stack of open units over the two primitives below: the outermost unit
  // outside a transaction begins and ends one, every other unit is the
  // savepoint "ms_unit_<depth>". A backend may override both (to pipeline
  // a unit's statements, say) as long as it keeps the contract of the
  // public header. Failures fill `*error`; the entry points record them.
  // `batch` begins a unit that is kept or undone only as a whole
  // (gis_SQLBeginBatch): the units inside it run no statement of their own.
  virtual std::int16_t BeginUnit(bool batch, Diagnostic* error);
  virtual std::int16_t EndUnit(bool commit, Diagnostic* error);
  std::size_t OpenUnits() const { return units_.size(); }
  // Whether an open unit is a batch (or inside one).
  bool InBatch() const {
    for (const OpenUnit& unit : units_) {
      if (unit.batch) return true;
    }
    return false;
  }

  // gis_SQLShapeSerial: 0 outside a unit or when the backend does not keep
  // it. A backend that keeps it calls NoteShapeChange for every statement
  // it runs that is not a query, a row change or a procedure call.
  std::uint64_t ShapeSerial() const {
    return KeepsShapeSerial() && !units_.empty() ? shapeSerial_ : 0;
  }
  void NoteShapeChange() { ++shapeSerial_; }

 protected:
  // Whether a transaction is open on the connection (a unit's or not).
  virtual bool TransactionOpen() = 0;
  // Runs one unit statement; `savepoint` names the savepoint of the three
  // savepoint steps. False with `*error` filled when it failed.
  virtual bool RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) = 0;
  // Whether the backend tells of the statements that change the tables
  // (NoteShapeChange), so that ShapeSerial may be other than 0.
  virtual bool KeepsShapeSerial() const { return false; }

 public:
  FaultInjector& faults() { return faults_; }
  // Told of every call that the injector failed before it reached the
  // backend (the scripted backend records them).
  virtual void OnInjected(Call /*call*/, std::int16_t /*code*/) {}

  // The diagnostic of the last call that failed on any statement of this
  // connection, as gis_SQLError reported or would have reported it. It
  // outlives the statement, so that a host can still tell the reason after
  // the library freed it. `failures()` counts the failures so far (0: none,
  // and the diagnostic is empty), so that a caller can see whether a call of
  // its own added one. Only the entry points record here.
  const Diagnostic& last_failure() const { return last_failure_; }
  std::uint64_t failures() const { return failures_; }
  void NoteFailure(const Diagnostic& diagnostic) {
    last_failure_ = diagnostic;
    ++failures_;
  }

 private:
  FaultInjector faults_;
  Diagnostic last_failure_;
  std::uint64_t failures_ = 0;
  // One entry per open unit, innermost last.
  enum class UnitKind : unsigned char {
    kTransaction,  // began the transaction, and so ends it
    kSavepoint,    // a savepoint in a transaction it did not begin
    kFree,         // inside a batch: nothing to run, the batch undoes it
  };
  struct OpenUnit {
    UnitKind kind;
    bool batch;  // a batch: the units inside it are free
  };
  std::vector<OpenUnit> units_;
  std::uint64_t shapeSerial_ = 1;
  // Rolls back the transaction or savepoint of `unit` (named `name`).
  void Undo(const OpenUnit& unit, const std::string& name);
  // A free unit of the open batch was undone or failed to end: the batch
  // can only be undone now.
  bool batchFailed_ = false;
};

// The statement handle behind gis_SQLHSTMT.
class StatementHandle {
 public:
  StatementHandle(Connection* connection, std::unique_ptr<Statement> statement)
      : connection_(connection), statement_(std::move(statement)) {}
  Connection* connection() const { return connection_; }
  Statement* statement() const { return statement_.get(); }
  // Diagnostic of a failure raised by the entry point itself (bad argument,
  // injected fault); it overrides the backend's until the next call.
  Diagnostic& own_error() { return own_error_; }
  bool has_own_error = false;

 private:
  Connection* connection_;
  std::unique_ptr<Statement> statement_;
  Diagnostic own_error_;
};

// The fault injector of the connection behind `hdbc`; null for a null handle.
FaultInjector* Faults(gis_SQLHDBC_STRU* hdbc);

}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_INTERNAL_BACKEND_H_

// The scripted backend: a driver connection for unit tests. It records every
// call (function, statement text, parameter and column numbers, type codes,
// buffer lengths, option values, bound parameter values at execution, the
// diagnostics asked for) and answers executions from a script of results
// matched by statement text. Its statements are bound statements like the
// database backends' (internal/bound_statement.h): binds are checked, bound
// buffers read and result rows delivered by the same code, so unit tests on
// it exercise the rules the real backends apply.
//
//   ScriptedDriver driver;
//   driver.OnExecute("COUNT(*)").Rows({{Value::Int(3)}});
//   ... run the code under test on driver.hdbc() ...
//   EXPECT_EQ(driver.Texts(), (std::vector<std::string>{"SELECT COUNT(*) ..."}));
//
// Status codes of single calls are scripted with the connection's fault
// injector: driver.faults().FailNth(Call::kFetch, 2, 100).
#ifndef METASHELF_DRIVER_BACKENDS_SCRIPTED_SCRIPTED_H_
#define METASHELF_DRIVER_BACKENDS_SCRIPTED_SCRIPTED_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "internal/backend.h"
#include "internal/value.h"

namespace metashelf {
namespace driver {
namespace scripted {

// One recorded driver call.
struct CallRecord {
  Call call;
  std::string text;           // Prepare / ExecDirect: the statement text; Error: the state
  int number = 0;             // BindParameter / BindCol: placeholder or column number
  int type = 0;               // BindParameter: value type; BindCol: type code
  int dbType = 0;             // BindParameter: database type
  std::int64_t length = 0;    // buffer length, PutData length, option value
  std::string data;           // PutData bytes
  int option = 0;             // SetStmtOption / FreeStmt option
  int result = 0;             // what the call returned
  std::vector<Value> params;  // Execute / ExecDirect: bound parameter values
};

// The answer to one execution.
class Result {
 public:
  // Status of the execute call (default 0).
  Result& Status(std::int16_t code) {
    status_ = code;
    return *this;
  }
  // A failing execution's state and native code (default "HY000" and the
  // status itself).
  Result& Diagnostic(std::string state, std::int32_t native) {
    state_ = std::move(state);
    native_ = native;
    return *this;
  }
  Result& Rows(std::vector<std::vector<Value>> rows) {
    rows_ = std::move(rows);
    return *this;
  }
  // How many executions this answer serves (default 1; -1 for every one).
  Result& Times(int times) {
    times_ = times;
    return *this;
  }

 private:
  friend class ScriptedConnection;
  friend class ScriptedStatement;
  std::int16_t status_ = 0;
  std::string state_ = "HY000";
  std::int32_t native_ = 0;
  std::vector<std::vector<Value>> rows_;
  int times_ = 1;
};

class ScriptedConnection : public Connection {
 public:
  std::unique_ptr<Statement> NewStatement() override;
  void OnInjected(Call call, std::int16_t code) override;

  // The first rule whose text occurs in a statement answers its execution;
  // with no rule an execution returns 0 and yields no rows.
  Result& OnExecute(const std::string& textPart);

  std::vector<CallRecord>& calls() { return calls_; }
  const Result* Take(const std::string& text);

 protected:
  // Unit steps are recorded as BeginUnit (BEGIN, SAVEPOINT name) and
  // EndUnit (COMMIT, ROLLBACK, RELEASE name, ROLLBACK TO name) calls with
  // the step as their text; a transaction counts as open from BEGIN to
  // COMMIT or ROLLBACK.
  bool TransactionOpen() override { return transaction_; }
  bool RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) override;

 private:
  bool transaction_ = false;
  struct Rule {
    std::string part;
    Result result;
  };
  std::vector<std::unique_ptr<Rule>> rules_;
  std::vector<CallRecord> calls_;
};

// Owns a scripted connection and its handle record.
class ScriptedDriver {
 public:
  ScriptedDriver() { handle_.connection = &connection_; }
  ScriptedDriver(const ScriptedDriver&) = delete;
  ScriptedDriver& operator=(const ScriptedDriver&) = delete;

  gis_SQLHDBC_STRU* hdbc() { return &handle_; }
  FaultInjector& faults() { return connection_.faults(); }
  Result& OnExecute(const std::string& textPart) { return connection_.OnExecute(textPart); }

  // Every call so far, in order.
  const std::vector<CallRecord>& Calls() { return connection_.calls(); }
  // The statement texts given to Prepare and ExecDirect, in order.
  std::vector<std::string> Texts();
  // The calls as short lines ("Prepare <text>", "BindCol 1 type 3 len 4",
  // "Execute", "Fetch -> 100", "Error HY000", "FreeStmt 1"...), for
  // whole-sequence checks. Error lines are diagnostics asked for with
  // gis_SQLError ("Error -> 100" when there was none).
  std::vector<std::string> Trace();
  // Parameter values of the Nth execution (0-based).
  std::vector<Value> ExecutedParams(std::size_t nth);
  void ClearCalls() { connection_.calls().clear(); }

 private:
  ScriptedConnection connection_;
  gis_SQLHDBC_STRU handle_{};
};

}  // namespace scripted
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SCRIPTED_SCRIPTED_H_

// Preparing and executing statements, and running package procedures.
#include "backends/sqlite/statement.h"

#include <sqlite3.h>

#include "backends/sqlite/error.h"
#include "backends/sqlite/procedure_source.h"
#include "dialect/tokenizer.h"

namespace metashelf {
namespace driver {
namespace sqlite {

SqliteStatement::~SqliteStatement() {
  connection_->Release(form_);
  // The literals' storage goes back to the connection's scratch, for the
  // next statement's lift (a statement is often made for one text).
  dialect::Shaped& spare = connection_->lifted();
  if (spare.literals.capacity() < literals_.capacity()) spare.literals.swap(literals_);
}

std::int16_t SqliteStatement::FailSqlite(int rc) {
  const int native = sqlite3_extended_errcode(connection_->db());
  const char* message = sqlite3_errmsg(connection_->db());
  const Reported reported = Classify(native ? native : rc, message);
  return Fail(reported.state, reported.native, message ? message : "");
}

void SqliteStatement::ResetCursor() {
  if (form_ && form_->stmt) sqlite3_reset(form_->stmt);
  executed_ = false;
  rowPending_ = false;
  done_ = false;
  haveLockedRow_ = false;
  putting_ = false;
  putData_.clear();
}

std::int16_t SqliteStatement::Prepare(const char* text, std::size_t length) {
  ResetCursor();
  connection_->Release(form_);
  form_ = nullptr;
  std::string error;
  dialect::Shaped& lifted = connection_->lifted();
  if (!connection_->shapes().Lift(std::string_view(text, length), &lifted, &error)) {
    literals_.clear();
    return Fail("42000", 0, error);
  }
  std::string state;
  int native = 0;
  form_ = connection_->Acquire(lifted.key, &state, &error, &native);
  if (form_ == nullptr) {
    literals_.clear();
    return Fail(state.c_str(), native, error);
  }
  // The previous literals go to the scratch for reuse; nothing is bound to
  // them any more (Release cleared the bindings).
  literals_.swap(lifted.literals);
  for (const auto& entry : params_) {
    if (entry.first > form_->adapted.callerParams) {
      return Fail("07009", 0, "parameter " + std::to_string(entry.first) + " is not in the text");
    }
  }
  return GIS_SQL_SUCCESS;
}

std::int16_t SqliteStatement::ExecDirect(const char* text, std::size_t length) {
  const std::int16_t rc = Prepare(text, length);
  if (rc != GIS_SQL_SUCCESS) return rc;
  return Execute();
}

std::int16_t SqliteStatement::Execute() {
  if (form_ == nullptr) return Fail("HY010", 0, "no statement prepared");
  ResetCursor();
  if (form_->adapted.kind == dialect::Adapted::Kind::kProcedureCall) return RunProcedure();
  std::vector<Value> callerValues(static_cast<std::size_t>(form_->adapted.callerParams));
  for (int k = 1; k <= form_->adapted.callerParams; ++k) {
    if (!CallerValue(k, &callerValues[static_cast<std::size_t>(k - 1)])) return GIS_SQL_ERROR;
  }
  if (!BindAll(form_->stmt, form_->adapted, callerValues)) return GIS_SQL_ERROR;
  executed_ = true;
  const int r = Step();
  if (r < 0) {
    executed_ = false;
    return GIS_SQL_ERROR;
  }
  rowPending_ = r == 1;
  if (sqlite3_column_count(form_->stmt) == 0) sqlite3_reset(form_->stmt);
  return GIS_SQL_SUCCESS;
}

// A package procedure: its SQL bodies, stored by provisioning in the
// owner's procedure source table (procedure_source.h), run in order with the call's arguments as
// :1, :2 ... inside one savepoint, so a failing step leaves nothing behind.
std::int16_t SqliteStatement::RunProcedure() {
  const dialect::ProcedureCall& call = form_->adapted.call;
  const std::string owner = dialect::Upper(call.owner);
  if (!SqliteConnection::ValidOwner(owner)) {
    return Fail("42000", 6550, "ORA-06550: unknown owner " + call.owner);
  }
  std::vector<Value> args;
  for (const dialect::ParamSource& src : call.args) {
    Value v;
    if (src.kind == dialect::ParamSource::Kind::kCaller && src.index > 0) {
      if (!CallerValue(src.index, &v)) return GIS_SQL_ERROR;
    } else if (src.kind == dialect::ParamSource::Kind::kLiteral) {
      return Fail("42000", 0, "literal procedure arguments are not supported");
    }
    args.push_back(std::move(v));
  }
  std::vector<std::string> bodies;
  {
    std::string error;
    sqlite3_stmt* s = connection_->Internal(ProcedureSourceRead(owner), &error);
    if (s == nullptr) return Fail("42000", 6550, "ORA-06550: unknown owner " + call.owner);
    sqlite3_bind_text(s, 1, call.package.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, call.procedure.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* body = sqlite3_column_text(s, 0);
      if (body) bodies.emplace_back(reinterpret_cast<const char*>(body));
    }
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  if (bodies.empty()) {
    return Fail("42000", 6550,
                "ORA-06550: PLS-00302: component " + call.procedure + " must be declared");
  }
  // Each body sees the call's arguments as its own :1, :2 ...
  // Runs one of the connection's savepoint statements; SQLITE_DONE or the
  // failing code.
  auto savepoint = [&](const char* sql) -> int {
    std::string error;
    sqlite3_stmt* s = connection_->Internal(sql, &error);
    if (s == nullptr) return SQLITE_ERROR;
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    return rc;
  };
  auto run = [&]() -> std::int16_t {
    const int opened = savepoint("SAVEPOINT krpg_call");
    if (opened != SQLITE_DONE) return FailSqlite(opened);
    for (const std::string& body : bodies) {
      dialect::Shaped shaped;
      std::string error, state;
      int native = 0;
      if (!connection_->shapes().Lift(body, &shaped, &error)) return Fail("42000", 0, error);
      Form* form = connection_->Acquire(shaped.key, &state, &error, &native);
      if (form == nullptr) return Fail(state.c_str(), native, error);
      if (form->adapted.kind != dialect::Adapted::Kind::kStatement) {
        connection_->Release(form);
        return Fail("42000", 0, "a procedure body must be one statement");
      }
      std::vector<Value> values(static_cast<std::size_t>(form->adapted.callerParams));
      for (int k = 1; k <= form->adapted.callerParams; ++k) {
        if (static_cast<std::size_t>(k) <= args.size()) values[k - 1] = args[k - 1];
      }
      std::swap(literals_, shaped.literals);
      const bool bound = BindAll(form->stmt, form->adapted, values);
      std::swap(literals_, shaped.literals);
      int rc = SQLITE_DONE;
      if (bound) {
        while ((rc = sqlite3_step(form->stmt)) == SQLITE_ROW) {
        }
      }
      std::int16_t result = GIS_SQL_SUCCESS;
      if (!bound) {
        result = GIS_SQL_ERROR;
      } else if (rc != SQLITE_DONE) {
        result = FailSqlite(rc);
      }
      connection_->Release(form);
      if (result != GIS_SQL_SUCCESS) return result;
    }
    return GIS_SQL_SUCCESS;
  };
  const std::int16_t result = run();
  if (result != GIS_SQL_SUCCESS) savepoint("ROLLBACK TO krpg_call");
  savepoint("RELEASE krpg_call");
  return result;
}

std::int16_t SqliteStatement::CloseCursor() {
  ResetCursor();
  return GIS_SQL_SUCCESS;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

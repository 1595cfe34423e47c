// The gis_SQL* entry points: handle and argument checks shared by every
// backend, the fault injector, then the call forwarded to the backend. This
// is the one choke point every driver call passes.
#include <cstring>
#include <memory>
#include <new>

#include "internal/backend.h"
#include "metashelf/base/guard.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace {

// Keeps the diagnostic of a failed call (negative `rc`) on the statement's
// connection, where it outlives the statement. A backend that failed
// without saying why is reported as such rather than as no failure.
std::int16_t Settle(StatementHandle* handle, Call call, std::int16_t rc) {
  if (rc >= 0) return rc;
  Diagnostic diagnostic =
      handle->has_own_error ? handle->own_error() : handle->statement()->last_error();
  if (diagnostic.state == "00000" && diagnostic.message.empty()) {
    diagnostic.state = "HY000";
    diagnostic.message = std::string(CallName(call)) + " failed";
  }
  handle->connection()->NoteFailure(diagnostic);
  return rc;
}

// Runs the injector for `call` on `handle`'s connection; on an injected
// fault records the diagnostic on the handle and returns true.
bool Injected(StatementHandle* handle, Call call, std::int16_t* code) {
  if (!handle->connection()->faults().Check(call, code)) return false;
  handle->connection()->OnInjected(call, *code);
  handle->own_error().state = "HYT99";
  handle->own_error().native = -9999;
  handle->own_error().message = std::string("injected fault in ") + CallName(call);
  handle->has_own_error = true;
  Settle(handle, call, *code);
  return true;
}

std::int16_t OwnFailure(StatementHandle* handle, Call call, const char* state,
                        const char* message) {
  handle->own_error().state = state;
  handle->own_error().native = 0;
  handle->own_error().message = message;
  handle->has_own_error = true;
  return Settle(handle, call, GIS_SQL_ERROR);
}

// The checks a parameter or column binding takes before the backend sees
// it: numbers count from 1 and a buffer length is never negative.
// GIS_SQL_SUCCESS when both hold, else the refusal recorded on the handle.
std::int16_t CheckBinding(StatementHandle* handle, Call call, std::uint16_t number,
                          std::int32_t bufferLength, const char* numberZero) {
  if (number == 0) return OwnFailure(handle, call, "07009", numberZero);
  if (bufferLength < 0) return OwnFailure(handle, call, "HY090", "negative buffer length");
  return GIS_SQL_SUCCESS;
}

// Resolves a (text, length) pair; false for a null text or a bad length.
bool TextLength(const char* text, std::int32_t length, std::size_t* out) {
  if (text == nullptr) return false;
  if (length == GIS_SQL_NTS) {
    *out = std::strlen(text);
    return true;
  }
  if (length < 0) return false;
  *out = static_cast<std::size_t>(length);
  return true;
}

// Hands a statement text to the backend (`run` is Prepare or ExecDirect)
// once its text and length hold; a null text or a bad length is refused
// with HY009 before the backend sees it.
std::int16_t RunText(StatementHandle* handle, Call call, const char* text, std::int32_t length,
                     std::int16_t (Statement::*run)(const char*, std::size_t)) {
  std::size_t size = 0;
  if (!TextLength(text, length, &size))
    return OwnFailure(handle, call, "HY009", "invalid statement text");
  return Settle(handle, call, (handle->statement()->*run)(text, size));
}

}  // namespace

const char* CallName(Call call) {
  switch (call) {
    case Call::kAllocStmt:
      return "gis_SQLAllocStmt";
    case Call::kPrepare:
      return "gis_SQLPrepare";
    case Call::kExecute:
      return "gis_SQLExecute";
    case Call::kExecDirect:
      return "gis_SQLExecDirect";
    case Call::kBindParameter:
      return "gis_SQLBindParameter";
    case Call::kBindCol:
      return "gis_SQLBindCol";
    case Call::kFetch:
      return "gis_SQLFetch";
    case Call::kSetStmtOption:
      return "gis_SQLSetStmtOption";
    case Call::kExtendedFetch:
      return "gis_SQLExtendedFetch";
    case Call::kParamData:
      return "gis_SQLParamData";
    case Call::kPutData:
      return "gis_SQLPutData";
    case Call::kFreeStmt:
      return "gis_SQLFreeStmt";
    case Call::kError:
      return "gis_SQLError";
    case Call::kBeginUnit:
      return "gis_SQLBeginUnit";
    case Call::kEndUnit:
      return "gis_SQLEndUnit";
  }
  return "?";
}

void FaultInjector::FailNth(Call call, int nth, std::int16_t code, bool sticky) {
  if (nth < 1) nth = 1;
  rules_.push_back(Rule{call, nth, code, sticky});
}

void FaultInjector::FailNthInSiblings(Call call, int nth, std::int16_t code, bool sticky) {
  if (nth < 1) nth = 1;
  siblingRules_.push_back(Rule{call, nth, code, sticky});
}

bool FaultInjector::Check(Call call, std::int16_t* code) {
  const auto index = static_cast<std::size_t>(call);
  if (counts_.size() <= index) counts_.resize(index + 1, 0);
  ++counts_[index];
  bool fail = false;
  for (auto& rule : rules_) {
    if (rule.call != call) continue;
    if (rule.remaining > 1) {
      --rule.remaining;
    } else if (rule.remaining == 1) {
      fail = true;
      *code = rule.code;
      if (!rule.sticky) rule.remaining = 0;
    }
  }
  return fail;
}

int FaultInjector::Count(Call call) const {
  const auto index = static_cast<std::size_t>(call);
  return index < counts_.size() ? counts_[index] : 0;
}

FaultInjector* Faults(gis_SQLHDBC_STRU* hdbc) {
  if (hdbc == nullptr || hdbc->connection == nullptr) return nullptr;
  return &hdbc->connection->faults();
}

}  // namespace driver
}  // namespace metashelf

using metashelf::driver::Call;
using metashelf::driver::CheckBinding;
using metashelf::driver::ColBinding;
using metashelf::driver::Injected;
using metashelf::driver::OwnFailure;
using metashelf::driver::ParamBinding;
using metashelf::driver::RunText;
using metashelf::driver::Settle;
using metashelf::driver::StatementHandle;

// Common prologue: a null handle is refused, the handle's own diagnostic is
// reset, the injector gets its say.
#define GIS_ENTER(handle, call)                                           \
  if ((handle) == nullptr) return GIS_SQL_INVALID_HANDLE;                 \
  (handle)->has_own_error = false;                                        \
  (handle)->statement()->ClearError();                                    \
  {                                                                       \
    std::int16_t injected_code = GIS_SQL_ERROR;                           \
    if (Injected((handle), (call), &injected_code)) return injected_code; \
  }

extern "C" {

std::int16_t gis_SQLAllocStmt(gis_SQLHDBC_STRU* hdbc, gis_SQLHSTMT* stmt) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    if (stmt != nullptr) *stmt = nullptr;
    if (hdbc == nullptr || hdbc->connection == nullptr || stmt == nullptr) {
      return GIS_SQL_INVALID_HANDLE;
    }
    metashelf::driver::Connection& connection = *hdbc->connection;
    // No statement exists to carry the reason: it goes to the connection.
    const auto refuse = [&connection](const char* state, const char* message, std::int16_t code) {
      if (code < 0) connection.NoteFailure(metashelf::driver::Diagnostic{state, 0, message});
      return code;
    };
    std::int16_t code = GIS_SQL_ERROR;
    if (connection.faults().Check(Call::kAllocStmt, &code)) {
      connection.OnInjected(Call::kAllocStmt, code);
      return refuse("HYT99", "injected fault in gis_SQLAllocStmt", code);
    }
    auto statement = connection.NewStatement();
    if (!statement)
      return refuse("HY000", "no statement can be made on the connection", GIS_SQL_ERROR);
    auto* handle = new (std::nothrow) StatementHandle(hdbc->connection, std::move(statement));
    if (handle == nullptr) return refuse("HY001", "out of memory", GIS_SQL_ERROR);
    *stmt = handle;
    return GIS_SQL_SUCCESS;
  });
}

std::int16_t gis_SQLPrepare(gis_SQLHSTMT stmt, const char* text, std::int32_t length) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kPrepare);
    return RunText(stmt, Call::kPrepare, text, length, &metashelf::driver::Statement::Prepare);
  });
}

std::int16_t gis_SQLExecute(gis_SQLHSTMT stmt) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kExecute);
    return Settle(stmt, Call::kExecute, stmt->statement()->Execute());
  });
}

std::int16_t gis_SQLExecDirect(gis_SQLHSTMT stmt, const char* text, std::int32_t length) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kExecDirect);
    return RunText(stmt, Call::kExecDirect, text, length,
                   &metashelf::driver::Statement::ExecDirect);
  });
}

std::int16_t gis_SQLBindParameter(gis_SQLHSTMT stmt, std::uint16_t number, std::int16_t io,
                                  std::int16_t valueType, std::int16_t dbType,
                                  std::uint32_t columnSize, std::int16_t digits, void* buffer,
                                  std::int32_t bufferLength, std::int16_t* indicator) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kBindParameter);
    const std::int16_t checked =
        CheckBinding(stmt, Call::kBindParameter, number, bufferLength, "parameter number 0");
    if (checked != GIS_SQL_SUCCESS) return checked;
    const ParamBinding binding{number, io,     valueType,    dbType,   columnSize,
                               digits, buffer, bufferLength, indicator};
    return Settle(stmt, Call::kBindParameter, stmt->statement()->BindParameter(binding));
  });
}

std::int16_t gis_SQLBindCol(gis_SQLHSTMT stmt, std::uint16_t number, std::int16_t type,
                            void* buffer, std::int32_t bufferLength, std::int16_t* indicator) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kBindCol);
    const std::int16_t checked =
        CheckBinding(stmt, Call::kBindCol, number, bufferLength, "column number 0");
    if (checked != GIS_SQL_SUCCESS) return checked;
    const ColBinding binding{number, type, buffer, bufferLength, indicator};
    return Settle(stmt, Call::kBindCol, stmt->statement()->BindCol(binding));
  });
}

std::int16_t gis_SQLFetch(gis_SQLHSTMT stmt) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kFetch);
    return Settle(stmt, Call::kFetch, stmt->statement()->Fetch());
  });
}

std::int16_t gis_SQLSetStmtOption(gis_SQLHSTMT stmt, std::uint16_t option, std::uint32_t value) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kSetStmtOption);
    return Settle(stmt, Call::kSetStmtOption, stmt->statement()->SetStmtOption(option, value));
  });
}

std::int16_t gis_SQLExtendedFetch(gis_SQLHSTMT stmt, std::uint16_t orientation, std::int32_t offset,
                                  std::uint32_t* rowCount, std::uint16_t* rowStatus) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kExtendedFetch);
    return Settle(stmt, Call::kExtendedFetch,
                  stmt->statement()->ExtendedFetch(orientation, offset, rowCount, rowStatus));
  });
}

std::int16_t gis_SQLParamData(gis_SQLHSTMT stmt, void** token) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kParamData);
    return Settle(stmt, Call::kParamData, stmt->statement()->ParamData(token));
  });
}

std::int16_t gis_SQLPutData(gis_SQLHSTMT stmt, const void* data, std::int32_t length) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    GIS_ENTER(stmt, Call::kPutData);
    if (length < 0 || (data == nullptr && length > 0)) {
      return OwnFailure(stmt, Call::kPutData, "HY090", "invalid data length");
    }
    return Settle(stmt, Call::kPutData, stmt->statement()->PutData(data, length));
  });
}

std::int16_t gis_SQLFreeStmt(gis_SQLHSTMT stmt, std::uint16_t option) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    if (stmt == nullptr) return GIS_SQL_INVALID_HANDLE;
    if (option == GIS_SQL_DROP) {
      // Release always succeeds: the handle must not leak whatever the
      // injector says, nor when its bookkeeping runs out of memory.
      // A failure reported here would invite a second release of a freed
      // handle, so the count's own failure stays inside.
      const std::unique_ptr<StatementHandle> owned(stmt);
      std::int16_t ignored = 0;
      metashelf::base::Guard<bool>(
          false, [&] { return owned->connection()->faults().Check(Call::kFreeStmt, &ignored); });
      return GIS_SQL_SUCCESS;
    }
    GIS_ENTER(stmt, Call::kFreeStmt);
    if (option != GIS_SQL_CLOSE)
      return OwnFailure(stmt, Call::kFreeStmt, "HY092", "unknown free option");
    return Settle(stmt, Call::kFreeStmt, stmt->statement()->CloseCursor());
  });
}

std::int16_t gis_SQLError(void* /*henv*/, void* hdbc, gis_SQLHSTMT stmt, char* state,
                          std::int32_t* nativeError, char* message, std::int16_t messageMax,
                          std::int16_t* messageLength) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    auto* connectionHandle = static_cast<gis_SQLHDBC_STRU*>(hdbc);
    if (stmt == nullptr &&
        (connectionHandle == nullptr || connectionHandle->connection == nullptr)) {
      return GIS_SQL_INVALID_HANDLE;
    }
    const metashelf::driver::Diagnostic& diag =
        stmt == nullptr       ? connectionHandle->connection->last_failure()
        : stmt->has_own_error ? stmt->own_error()
                              : stmt->statement()->last_error();
    if (state != nullptr) {
      std::memset(state, 0, 6);
      std::memcpy(state, diag.state.data(), diag.state.size() < 5 ? diag.state.size() : 5);
    }
    if (nativeError != nullptr) *nativeError = diag.native;
    const std::size_t full = diag.message.size();
    if (messageLength != nullptr) {
      *messageLength = static_cast<std::int16_t>(full > 32767 ? 32767 : full);
    }
    if (message != nullptr && messageMax > 0) {
      const std::size_t room = static_cast<std::size_t>(messageMax) - 1;
      const std::size_t n = full < room ? full : room;
      std::memcpy(message, diag.message.data(), n);
      message[n] = '\0';
    }
    const std::int16_t rc =
        diag.state == "00000" && diag.message.empty() ? GIS_SQL_NO_DATA : GIS_SQL_SUCCESS;
    if (stmt != nullptr) stmt->statement()->OnError(diag, rc);
    return rc;
  });
}

}  // extern "C"

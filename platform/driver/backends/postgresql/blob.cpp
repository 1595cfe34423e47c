// BLOB writes through a fetched locator. The row selected FOR UPDATE is
// found again by its ctid, which the select carried as a hidden column. A
// ctid changes with every update of the row, so each write takes the new
// one from its own RETURNING clause for the next write.
#include "backends/postgresql/statement.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {

void PgStatement::TakeLocator(int row) {
  const int hidden = PQnfields(result_.get()) - 1;
  const Value ctid = DecodeCell(result_.get(), row, hidden, format_);
  locatorReady_ = false;
  // The first column bound as a locator is the one written; with none bound
  // as a locator there is nothing to write.
  for (const auto& [number, col] : columns_) {
    if (col.type != GIS_TYPE_BLOB || number > adapted_->visibleColumns) continue;
    if (static_cast<std::size_t>(number) > adapted_->lockColumns.size()) break;
    lockColumn_ = adapted_->lockColumns[number - 1];
    ctid_ = std::make_shared<std::string>(ctid.bytes);
    locatorReady_ = ctid.kind == Value::Kind::kText;
    appendNext_ = false;
    break;
  }
}

std::int16_t PgStatement::ParamData(void** token) {
  if (!locatorReady_) return Fail("HY010", 0, "no fetched BLOB locator awaits data");
  if (token != nullptr) *token = nullptr;
  appendNext_ = false;
  return GIS_SQL_NEED_DATA;
}

std::int16_t PgStatement::PutData(const void* data, std::int32_t length) {
  if (!locatorReady_) return Fail("HY010", 0, "no fetched BLOB locator to write through");
  // The first piece replaces the value, later pieces are appended to it.
  const std::string text = "UPDATE " + adapted_->lockTable + " SET " + lockColumn_ + " = " +
                           (appendNext_ ? lockColumn_ + " || $1" : std::string("$1")) +
                           " WHERE ctid = $2::tid RETURNING ctid::text";
  if (appendNext_ && ctid_->empty()) {
    // The previous piece is still queued: its new ctid comes with its result.
    Diagnostic diag;
    if (!conn_->Settle(&diag)) return FailWith(diag);
    if (ctid_->empty()) {
      locatorReady_ = false;
      return Fail("HY000", 22920, "the row selected for update is gone or was changed meanwhile");
    }
  }
  const std::string ctid = *ctid_;
  const char* values[2] = {length > 0 ? static_cast<const char*>(data) : "", ctid.c_str()};
  const int lengths[2] = {length, 0};
  const int formats[2] = {1, 0};
  Diagnostic diag;
  const Prepared* prepared = conn_->Prepare(text, &diag);
  if (prepared == nullptr) return FailWith(diag);
  Request request;
  request.name = prepared->name.c_str();
  request.count = 2;
  request.values = values;
  request.lengths = lengths;
  request.formats = formats;
  if (conn_->InUnit()) {
    // Queued like any row change of a unit; the new ctid is taken when its
    // result is read, and a row that is gone fails the unit then.
    auto slot = std::make_shared<std::string>();
    ctid_ = slot;
    appendNext_ = true;
    const bool queued = conn_->Queue(
        request,
        [slot](const PGresult* r, Diagnostic* failure) {
          if (PQntuples(r) != 1) {
            *failure = Diagnostic{"HY000", 22920,
                                  "the row selected for update is gone or was changed meanwhile"};
            return false;
          }
          *slot = PQgetvalue(r, 0, 0);
          return true;
        },
        &diag);
    if (!queued) {
      locatorReady_ = false;
      return FailWith(diag);
    }
    return GIS_SQL_SUCCESS;
  }
  ResultPtr r = conn_->Now(request, true, &diag);
  if (!r) return FailWith(diag);
  if (PQntuples(r.get()) != 1) {
    locatorReady_ = false;
    return Fail("HY000", 22920, "the row selected for update is gone or was changed meanwhile");
  }
  ctid_ = std::make_shared<std::string>(PQgetvalue(r.get(), 0, 0));
  appendNext_ = true;
  return GIS_SQL_SUCCESS;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

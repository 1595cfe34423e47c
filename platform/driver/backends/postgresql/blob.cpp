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
    ctid_ = ctid.bytes;
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
  const char* values[2] = {length > 0 ? static_cast<const char*>(data) : "", ctid_.c_str()};
  const int lengths[2] = {length, 0};
  const int formats[2] = {1, 0};
  Diagnostic diag;
  const Prepared* prepared = conn_->Prepare(text, &diag);
  if (prepared == nullptr) return FailWith(diag);
  ResultPtr r(PQexecPrepared(conn_->raw(), prepared->name.c_str(), 2, values, lengths, formats, 0));
  if (!r || PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
    MapError(r.get(), conn_->raw(), &diag);
    return FailWith(diag);
  }
  if (PQntuples(r.get()) != 1) {
    locatorReady_ = false;
    return Fail("HY000", 22920, "the row selected for update is gone or was changed meanwhile");
  }
  ctid_ = PQgetvalue(r.get(), 0, 0);
  appendNext_ = true;
  return GIS_SQL_SUCCESS;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

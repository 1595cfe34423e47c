// BLOB writes through a fetched locator. The row selected FOR UPDATE is
// found again by its ctid, which the select carried as a hidden column. A
// ctid changes with every update of the row, so each write takes the new
// one from its own RETURNING clause for the next write.
//
// Inside a unit the select is held back (statement.cpp) and no ctid is
// known: each piece is queued as one update whose row is the select's first,
// found by running the select inside it. The row is locked and written by
// the same statement, in the order the pieces were sent, and a row that is
// not there makes the update return nothing, which fails the unit.
#include <string>
#include <vector>

#include "backends/postgresql/statement.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

Diagnostic RowGone() {
  return Diagnostic{"HY000", 22920, "the row selected for update is gone or was changed meanwhile"};
}

// Takes a write's result: exactly one row was written.
bool OneRowWritten(const PGresult* r, Diagnostic* failure) {
  if (PQntuples(r) == 1) return true;
  *failure = RowGone();
  return false;
}

}  // namespace

bool PgStatement::LocatorsOnly() const {
  if (columns_.empty()) return false;
  for (const auto& [number, col] : columns_) {
    if (col.type != GIS_TYPE_BLOB || number > adapted_->visibleColumns ||
        static_cast<std::size_t>(number) > adapted_->lockColumns.size()) {
      return false;
    }
  }
  return true;
}

void PgStatement::TakeDeferredLocator() {
  // LocatorsOnly holds: the first bound column is the one written.
  lockColumn_ = adapted_->lockColumns[columns_.begin()->first - 1];
  locatorReady_ = true;
  locatorDeferred_ = true;
  appendNext_ = false;
}

Request PgStatement::DeferredRequest(std::vector<const char*>* values, std::vector<int>* lengths,
                                     std::vector<int>* formats, int extra) const {
  const std::size_t n = deferredParams_.size();
  values->assign(n + static_cast<std::size_t>(extra), nullptr);
  lengths->assign(values->size(), 0);
  formats->assign(values->size(), 0);
  for (std::size_t i = 0; i < n; ++i) {
    const WireParam& p = deferredParams_[i];
    (*values)[i] = p.null ? nullptr : p.bytes.data();
    (*lengths)[i] = static_cast<int>(p.bytes.size());
    (*formats)[i] = p.format;
  }
  Request request;
  request.count = static_cast<int>(values->size());
  request.values = values->data();
  request.lengths = lengths->data();
  request.formats = formats->data();
  return request;
}

std::int16_t PgStatement::RunDeferred(int from) {
  // The caller wants more than a locator of the first row: the select runs
  // now, behind whatever is queued (the writes already sent included).
  Diagnostic diag;
  const Prepared* prepared = conn_->Prepare(adapted_->text, &diag);
  if (prepared == nullptr) return FailWith(diag);
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  Request request = DeferredRequest(&values, &lengths, &formats, 0);
  request.prepared = prepared;  // its text tells which tables it names
  request.name = prepared->name.c_str();
  request.resultFormat = prepared->resultFormat;
  ResultPtr result = conn_->Now(request, true, &diag);
  deferred_ = false;
  if (!result) return FailWith(diag);
  if (PQntuples(result.get()) < from) {
    // The first row was reported fetched: it cannot have gone unnoticed.
    return FailWith(RowGone());
  }
  result_ = std::move(result);
  format_ = prepared->resultFormat;
  next_ = from;
  if (from > 0 && deferredWritten_ && !deferredWritten_->empty()) {
    // The first row was written meanwhile, which may have moved it in the
    // select's order: it is left out by its identity instead.
    const int hidden = PQnfields(result_.get()) - 1;
    next_ = 0;
    for (int row = 0; row < PQntuples(result_.get()); ++row) {
      if (DecodeCell(result_.get(), row, hidden, format_).bytes == *deferredWritten_) {
        skipRow_ = row;
      }
    }
  }
  return GIS_SQL_SUCCESS;
}

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
    locatorDeferred_ = false;
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
  if (locatorDeferred_) return PutDeferred(data, length);
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
      return FailWith(RowGone());
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
  request.prepared = prepared;  // its text tells which tables it names
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
          if (!OneRowWritten(r, failure)) return false;
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
    return FailWith(RowGone());
  }
  ctid_ = std::make_shared<std::string>(PQgetvalue(r.get(), 0, 0));
  appendNext_ = true;
  return GIS_SQL_SUCCESS;
}

std::int16_t PgStatement::PutDeferred(const void* data, std::int32_t length) {
  // The first piece replaces the value, later pieces are appended to it.
  const std::string value = "$" + std::to_string(deferredParams_.size() + 1);
  const std::string text = "UPDATE " + adapted_->lockTable + " SET " + lockColumn_ + " = " +
                           (appendNext_ ? lockColumn_ + " || " + value : value) +
                           " WHERE ctid = (SELECT ctid FROM (" + adapted_->text +
                           ") ms_locked LIMIT 1) RETURNING ctid::text";
  Diagnostic diag;
  const Prepared* prepared = conn_->Prepare(text, &diag);
  if (prepared == nullptr) return FailWith(diag);
  std::vector<const char*> values;
  std::vector<int> lengths;
  std::vector<int> formats;
  Request request = DeferredRequest(&values, &lengths, &formats, 1);
  values.back() = length > 0 ? static_cast<const char*>(data) : "";
  lengths.back() = length;
  formats.back() = 1;
  request.prepared = prepared;  // its text tells which tables it names
  request.name = prepared->name.c_str();
  auto written = std::make_shared<std::string>();
  deferredWritten_ = written;
  const ResultSink take = [written](const PGresult* r, Diagnostic* failure) {
    if (!OneRowWritten(r, failure)) return false;
    *written = PQgetvalue(r, 0, 0);
    return true;
  };
  if (conn_->InUnit()) {
    if (!conn_->Queue(request, take, &diag)) {
      locatorReady_ = false;
      return FailWith(diag);
    }
  } else {
    // The unit ended between the fetch and this write: it runs at once.
    ResultPtr r = conn_->Now(request, true, &diag);
    if (!r || !take(r.get(), &diag)) {
      locatorReady_ = false;
      return FailWith(diag);
    }
  }
  appendNext_ = true;
  return GIS_SQL_SUCCESS;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

// Queued statements and statement savepoints on PostgreSQL, over libpq's
// pipeline mode. Inside a unit of work, row changes travel without waiting;
// their results are read (a sync, then every result up to it) when a
// statement needs its own result, when the queue grows long, and at the
// unit's end (units.cpp). Each read keeps the first failure: from then on
// the unit refuses every statement until a rollback undoes it, so a failure
// found late still makes the unit fail and leave nothing behind. Outside a
// unit, a statement run in an open transaction takes a savepoint of its
// own sent in the same pipeline, so that a failure undoes only itself at
// no extra round trip.
#include <cstring>

#include "backends/postgresql/connection.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// Results read in one go at most: libpq sends while the server answers,
// and a long enough queue would fill both socket buffers.
constexpr std::size_t kMostQueued = 256;

const char* const kStatementSavepoint = "ms_stmt";

std::string Text(const char* a, const char* b) {
  return std::string(a) + b;
}

Diagnostic Lost(PGconn* conn) {
  return LostConnection(conn);
}

}  // namespace

Diagnostic LostConnection(PGconn* conn) {
  Diagnostic d;
  d.state = "08S01";
  d.native = 3113;  // ORA-03113: end-of-file on communication channel
  d.message = std::string("connection to the server lost: ") + PQerrorMessage(conn);
  while (!d.message.empty() && (d.message.back() == '\n' || d.message.back() == ' ')) {
    d.message.pop_back();
  }
  return d;
}

void PgConnection::MarkFailed(const Diagnostic& failure) {
  if (InUnit() && !unitFailed_) {
    unitFailed_ = true;
    unitFailure_ = failure;
  }
}

bool PgConnection::EnterPipeline(Diagnostic* error) {
  if (PQpipelineStatus(conn_) != PQ_PIPELINE_OFF) return true;
  if (PQenterPipelineMode(conn_) == 1) return true;
  *error = Lost(conn_);
  return false;
}

bool PgConnection::SendInPipeline(const Request& request, Diagnostic* error) {
  // Held rows go out first: statements reach the server in their order.
  // Rows that may wait for the batch's end go only before a statement that
  // names their table (one whose text is not known names every table).
  const char* text = request.text;
  if (text == nullptr && request.prepared != nullptr) text = request.prepared->text.c_str();
  return SendHeld(error, text) && SendRaw(request, error);
}

bool PgConnection::SendRaw(const Request& request, Diagnostic* error) {
  if (!EnterPipeline(error)) return false;
  const int sent =
      request.name != nullptr
          ? PQsendQueryPrepared(conn_, request.name, request.count, request.values, request.lengths,
                                request.formats, request.resultFormat)
          : PQsendQueryParams(conn_, request.text, request.count, nullptr, request.values,
                              request.lengths, request.formats, request.resultFormat);
  if (sent != 1) {
    *error = Lost(conn_);
    return false;
  }
  return true;
}

bool PgConnection::SendControl(const char* text, Diagnostic* error, ResultSink sink) {
  // Every held row goes before a unit step: the rows of the unit kept or
  // of a savepoint set are all sent by then.
  Request control;
  control.text = text;
  if (!SendHeld(error) || !SendRaw(control, error)) return false;
  pending_.push_back(Pending{std::move(sink), nullptr, nullptr});
  return true;
}

bool PgConnection::Collect(Diagnostic* error) {
  if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) return pending_.empty();
  bool ok = true;
  const auto fail = [&](const Diagnostic& d) {
    if (ok) *error = d;
    ok = false;
  };
  // A sync needs no row that may wait for the batch's end.
  Diagnostic unsent;
  if (!SendHeld(&unsent, "")) {
    fail(unsent);
    DropHeld();
  }
  if (PQpipelineSync(conn_) != 1) {
    fail(Lost(conn_));
  } else {
    for (;;) {
      ResultPtr r(PQgetResult(conn_));
      if (!r) {
        // Between two statements' results; or the connection is gone.
        if (PQstatus(conn_) != CONNECTION_OK) {
          fail(Lost(conn_));
          break;
        }
        continue;
      }
      const ExecStatusType status = PQresultStatus(r.get());
      if (status == PGRES_PIPELINE_SYNC) break;
      Pending item;
      if (!pending_.empty()) {
        item = std::move(pending_.front());
        pending_.pop_front();
      }
      if (status == PGRES_PIPELINE_ABORTED) {  // after a failure: never ran
        if (item.failed) item.failed(false);
        continue;
      }
      if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        if (item.failed) item.failed(true);
        Diagnostic d;
        MapError(r.get(), conn_, &d);
        fail(d);
        if (PQstatus(conn_) != CONNECTION_OK) {
          fail(Lost(conn_));
          break;
        }
        continue;
      }
      Diagnostic d;
      if (item.sink && !item.sink(r.get(), &d)) fail(d);
      if (item.keep != nullptr) *item.keep = std::move(r);
    }
  }
  // Statements whose results never came (the connection went) did not run.
  for (Pending& item : pending_) {
    if (item.failed) item.failed(false);
  }
  pending_.clear();
  judgedHere_ = false;
  if (PQstatus(conn_) == CONNECTION_OK && PQexitPipelineMode(conn_) != 1) fail(Lost(conn_));
  // A lost connection is the reason whatever failed on the way there.
  if (PQstatus(conn_) != CONNECTION_OK) {
    *error = Lost(conn_);
    ok = false;
  }
  if (!ok) MarkFailed(*error);
  return ok;
}

bool PgConnection::Settle(Diagnostic* error) {
  if (PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) return true;
  return Collect(error);
}

bool PgConnection::Queue(const Request& request, ResultSink sink, Diagnostic* error) {
  if (unitFailed_) {
    *error = unitFailure_;
    return false;
  }
  bool held = false;
  if (!sink && !Hold(request, &held, error)) {
    MarkFailed(*error);
    return false;
  }
  if (held) return pending_.size() < kMostQueued || Collect(error);
  if (!SendInPipeline(request, error)) {
    MarkFailed(*error);
    return false;
  }
  if (sink) judgedHere_ = true;
  pending_.push_back(Pending{std::move(sink), nullptr, nullptr});
  if (pending_.size() >= kMostQueued) return Collect(error);
  return true;
}

ResultPtr PgConnection::RunPlain(const Request& request, Diagnostic* error) {
  ResultPtr r(request.name != nullptr
                  ? PQexecPrepared(conn_, request.name, request.count, request.values,
                                   request.lengths, request.formats, request.resultFormat)
                  : PQexecParams(conn_, request.text, request.count, nullptr, request.values,
                                 request.lengths, request.formats, request.resultFormat));
  const ExecStatusType status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    MapError(r.get(), conn_, error);
    return nullptr;
  }
  return r;
}

ResultPtr PgConnection::Now(const Request& request, bool ownSavepoint, Diagnostic* error) {
  if (unitFailed_) {
    *error = unitFailure_;
    return nullptr;
  }
  const bool wrap = ownSavepoint && !InUnit() && PQtransactionStatus(conn_) == PQTRANS_INTRANS;
  // Rows that wait for the batch's end go through the pipeline, before the
  // statement when it names their table.
  if (!wrap && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF && held_.empty()) {
    ResultPtr r = RunPlain(request, error);
    if (!r) MarkFailed(*error);
    return r;
  }
  // Sent behind whatever is queued, and read with it; a statement that may
  // end the transaction goes behind every held row.
  ResultPtr result;
  bool sent = ownSavepoint || SendHeld(error);
  sent = sent && (!wrap || SendControl(Text("SAVEPOINT ", kStatementSavepoint).c_str(), error));
  sent = sent && SendInPipeline(request, error);
  if (sent) pending_.push_back(Pending{nullptr, &result, nullptr});
  if (sent && wrap)
    sent = SendControl(Text("RELEASE SAVEPOINT ", kStatementSavepoint).c_str(), error);
  Diagnostic collected;
  const bool ok = Collect(&collected) && sent;
  if (!sent && !collected.message.empty()) *error = collected;
  if (sent && !ok) *error = collected;
  if (ok && result) return result;
  if (ok) *error = Lost(conn_);
  // Only this statement is undone; the transaction goes on.
  if (wrap) UndoStatement();
  return nullptr;
}

void PgConnection::UndoStatement() {
  if (PQstatus(conn_) != CONNECTION_OK) return;
  Diagnostic ignored;
  SendControl(Text("ROLLBACK TO SAVEPOINT ", kStatementSavepoint).c_str(), &ignored);
  SendControl(Text("RELEASE SAVEPOINT ", kStatementSavepoint).c_str(), &ignored);
  Collect(&ignored);
}

ResultPtr PgConnection::Describe(const std::string& name, const std::string& text,
                                 Diagnostic* error) {
  if (unitFailed_) {
    *error = unitFailure_;
    return nullptr;
  }
  const bool wrap = !InUnit() && PQtransactionStatus(conn_) == PQTRANS_INTRANS;
  if (!wrap && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF) {
    ResultPtr r(PQprepare(conn_, name.c_str(), text.c_str(), 0, nullptr));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
      MapError(r.get(), conn_, error);
      MarkFailed(*error);
      return nullptr;
    }
    ResultPtr d(PQdescribePrepared(conn_, name.c_str()));
    if (!d || PQresultStatus(d.get()) != PGRES_COMMAND_OK) {
      MapError(d.get(), conn_, error);
      MarkFailed(*error);
      ResultPtr drop(PQexecParams(conn_, ("DEALLOCATE " + name).c_str(), 0, nullptr, nullptr,
                                  nullptr, nullptr, 0));
      return nullptr;
    }
    return d;
  }
  // Prepared and described behind whatever is queued, with a savepoint of
  // its own inside a transaction: a text the server refuses must not end
  // the host's transaction.
  ResultPtr described;
  bool sent = !wrap || SendControl(Text("SAVEPOINT ", kStatementSavepoint).c_str(), error);
  sent = sent && SendHeld(error, "") && EnterPipeline(error);
  if (sent && PQsendPrepare(conn_, name.c_str(), text.c_str(), 0, nullptr) != 1) {
    *error = Lost(conn_);
    sent = false;
  }
  if (sent) pending_.push_back(Pending{});
  if (sent && PQsendDescribePrepared(conn_, name.c_str()) != 1) {
    *error = Lost(conn_);
    sent = false;
  }
  if (sent) pending_.push_back(Pending{nullptr, &described, nullptr});
  if (sent && wrap)
    sent = SendControl(Text("RELEASE SAVEPOINT ", kStatementSavepoint).c_str(), error);
  Diagnostic collected;
  const bool ok = Collect(&collected);
  if (ok && sent && described) return described;
  if (!ok) *error = collected;
  if (wrap) UndoStatement();
  // Names are never reused, so a statement whose describe failed (rare) is
  // left on the server rather than dropped here, where a failing DEALLOCATE
  // would end the transaction.
  return nullptr;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

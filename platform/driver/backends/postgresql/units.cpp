// The PostgreSQL connection's unit-of-work statements, sent in pipeline
// mode with the unit's queued row changes. BEGIN and SAVEPOINT are queued
// and travel with the unit's first statement that waits; COMMIT and
// RELEASE are queued and then every result of the unit is read, so a unit
// whose statements all succeeded ends in one round trip and one with a
// failure anywhere is reported failed here. A unit with a result that only
// the driver judges (a locator write that found no row) reads it in one
// more round trip before its COMMIT or RELEASE is sent. Rolling back first
// reads what was queued (the failure is known by then), then runs at once.
#include <cstring>

#include "backends/postgresql/connection.h"

namespace metashelf {
namespace driver {
namespace postgresql {

bool PgConnection::TransactionOpen() {
  // Pipeline mode with results outstanding reports ACTIVE: a unit's queued
  // BEGIN counts as open.
  return PQtransactionStatus(conn_) != PQTRANS_IDLE;
}

bool PgConnection::RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) {
  bool ok = false;
  switch (step) {
    case UnitStep::kBegin:
    case UnitStep::kSavepoint:
      if (!InUnit()) {
        unitFailed_ = false;
        unitFailure_ = Diagnostic();
      }
      if (unitFailed_) {
        // An outer unit has failed already: nothing inside it can succeed.
        *error = unitFailure_;
        return false;
      }
      ok = SendControl(step == UnitStep::kBegin ? "BEGIN" : ("SAVEPOINT " + savepoint).c_str(),
                       error);
      if (!ok) {
        Diagnostic ignored;
        Collect(&ignored);
      }
      return ok;
    case UnitStep::kCommit:
    case UnitStep::kRelease: {
      if (unitFailed_) {
        *error = unitFailure_;
        return false;
      }
      // A result the server does not judge is read first: the server would
      // keep the work whatever it says.
      if (judgedHere_ && !Collect(error)) break;
      // COMMIT of a transaction that a failed statement aborted rolls it
      // back and says so only in its command tag.
      const ResultSink tag = [](const PGresult* r, Diagnostic* failure) {
        if (std::strcmp(PQcmdStatus(const_cast<PGresult*>(r)), "ROLLBACK") != 0) return true;
        *failure = Diagnostic{"40000", 0, "the transaction had failed and was rolled back"};
        return false;
      };
      const bool commit = step == UnitStep::kCommit;
      ok = SendControl(commit ? "COMMIT" : ("RELEASE SAVEPOINT " + savepoint).c_str(), error,
                       commit ? tag : ResultSink());
      Diagnostic collected;
      if (!Collect(&collected) && ok) {
        *error = collected;
        ok = false;
      }
      break;
    }
    case UnitStep::kRollback:
    case UnitStep::kRollbackTo: {
      // Held rows belong to the innermost unit, the one undone here.
      DropHeld();
      Diagnostic ignored;
      Settle(&ignored);
      if (step == UnitStep::kRollback && PQtransactionStatus(conn_) == PQTRANS_IDLE) {
        ok = true;  // a failed COMMIT has ended the transaction already
        break;
      }
      Request request;
      const std::string text = step == UnitStep::kRollback ? std::string("ROLLBACK")
                                                           : "ROLLBACK TO SAVEPOINT " + savepoint;
      request.text = text.c_str();
      ok = RunPlain(request, error) != nullptr;
      // The rollback undid the failure: what follows in the outer unit runs.
      if (ok) {
        unitFailed_ = false;
        unitFailure_ = Diagnostic();
      }
      break;
    }
  }
  if (!InUnit()) {
    unitFailed_ = false;
    unitFailure_ = Diagnostic();
  }
  return ok;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

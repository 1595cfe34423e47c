// The PostgreSQL connection's unit-of-work statements, run through the
// connection's one-statement helper.
#include <cstring>

#include "backends/postgresql/connection.h"

namespace metashelf {
namespace driver {
namespace postgresql {

bool PgConnection::TransactionOpen() {
  return PQtransactionStatus(conn_) != PQTRANS_IDLE;
}

bool PgConnection::RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) {
  std::string sql;
  switch (step) {
    case UnitStep::kBegin:
      sql = "BEGIN";
      break;
    case UnitStep::kCommit:
      sql = "COMMIT";
      break;
    case UnitStep::kRollback:
      sql = "ROLLBACK";
      break;
    case UnitStep::kSavepoint:
      sql = "SAVEPOINT " + savepoint;
      break;
    case UnitStep::kRelease:
      sql = "RELEASE SAVEPOINT " + savepoint;
      break;
    case UnitStep::kRollbackTo:
      sql = "ROLLBACK TO SAVEPOINT " + savepoint;
      break;
  }
  ResultPtr r = Run(sql, {}, error);
  if (!r) return false;
  // COMMIT of a transaction that a failed statement aborted rolls it back
  // and says so only in its command tag.
  if (step == UnitStep::kCommit && std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0) {
    *error = Diagnostic{"40000", 0, "the transaction had failed and was rolled back"};
    return false;
  }
  return true;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

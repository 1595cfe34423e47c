// The SQLite connection's unit-of-work statements. They are compiled once
// and kept with the connection's other internal statements.
#include <sqlite3.h>

#include "backends/sqlite/connection.h"
#include "backends/sqlite/error.h"

namespace metashelf {
namespace driver {
namespace sqlite {

bool SqliteConnection::TransactionOpen() {
  return sqlite3_get_autocommit(db_) == 0;
}

bool SqliteConnection::RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) {
  std::string sql;
  switch (step) {
    case UnitStep::kBegin:
      sql = "BEGIN IMMEDIATE";
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
      sql = "RELEASE " + savepoint;
      break;
    case UnitStep::kRollbackTo:
      sql = "ROLLBACK TO " + savepoint;
      break;
  }
  std::string message;
  sqlite3_stmt* s = Internal(sql, &message);
  int rc = SQLITE_ERROR;
  if (s != nullptr) {
    rc = sqlite3_step(s);
    if (rc != SQLITE_DONE) message = sqlite3_errmsg(db_);
    sqlite3_reset(s);
  }
  if (rc == SQLITE_DONE) return true;
  const int extended = sqlite3_extended_errcode(db_);
  const Reported reported = Classify(extended);
  *error = Diagnostic{reported.state, reported.native, message};
  return false;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

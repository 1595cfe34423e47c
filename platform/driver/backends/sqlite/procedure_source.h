// Where SQLite keeps package procedures. SQLite has no stored procedures, so
// a package procedure is a list of SQL bodies in the owner's table
// KRPG_SOURCE; the host side writes them when it provisions an owner, and a
// statement that calls OWNER.PACKAGE.PROCEDURE(...) runs them, in STEP
// order, with the call's arguments as :1, :2 ... of each body.
//
//   KRPG_SOURCE(PACKAGE_NAME TEXT NOT NULL,   upper-case package name
//               PROC_NAME    TEXT NOT NULL,   upper-case procedure name
//               STEP         INTEGER NOT NULL, 1, 2 ... run in this order
//               BODY         TEXT NOT NULL,   Oracle SQL, adapted when run
//               PRIMARY KEY(PACKAGE_NAME, PROC_NAME, STEP))
//
// A procedure with no row is unknown (ORA-06550 / PLS-00302); writing a
// procedure again replaces its bodies.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_PROCEDURE_SOURCE_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_PROCEDURE_SOURCE_H_

#include <string>

#include "dialect/dialect.h"

namespace metashelf {
namespace driver {
namespace sqlite {

constexpr char kProcedureSourceTable[] = "KRPG_SOURCE";

// The table's definition, for `owner`'s table name as the file holds it.
inline std::string ProcedureSourceDefinition(const std::string& owner) {
  return "CREATE TABLE IF NOT EXISTS " + dialect::OwnerTableName(owner, kProcedureSourceTable) +
         "(PACKAGE_NAME TEXT NOT NULL,PROC_NAME TEXT NOT NULL,STEP INTEGER NOT NULL,"
         "BODY TEXT NOT NULL,PRIMARY KEY(PACKAGE_NAME,PROC_NAME,STEP))";
}

// Writes (or replaces) step `step` of PACKAGE.PROCEDURE: ?1 package, ?2
// procedure, ?3 step, ?4 body.
inline std::string ProcedureSourceWrite(const std::string& owner) {
  return "INSERT OR REPLACE INTO " + dialect::OwnerTableName(owner, kProcedureSourceTable) +
         "(PACKAGE_NAME,PROC_NAME,STEP,BODY) VALUES(?1,?2,?3,?4)";
}

// The bodies of PACKAGE.PROCEDURE in the order they run: ?1 package, ?2
// procedure.
inline std::string ProcedureSourceRead(const std::string& owner) {
  return "SELECT BODY FROM " + dialect::OwnerTableName(owner, kProcedureSourceTable) +
         " WHERE PACKAGE_NAME=?1 AND PROC_NAME=?2 ORDER BY STEP";
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_PROCEDURE_SOURCE_H_

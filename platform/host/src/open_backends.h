// The per-backend factories behind CHostDataBase::Open. Each backend defines
// its own in a file of its own; Open only chooses by the URI's form.
#ifndef METASHELF_HOST_SRC_OPEN_BACKENDS_H_
#define METASHELF_HOST_SRC_OPEN_BACKENDS_H_

#include <memory>
#include <string>

#include "internal/backend.h"
#include "metashelf/host.h"

namespace metashelf {
namespace host {

// `rest` is the URI after "sqlite:": a file path, optionally followed by
// "?owner=NAME".
std::unique_ptr<CHostDataBase> OpenSqlite(const std::string& rest, CHostDataBase::OpenMode mode,
                                          std::string* error);
// Converts the older several-file layout of the SQLite database `rest` into
// one file (CHostDataBase::Upgrade).
bool UpgradeSqlite(const std::string& rest, std::string* report, std::string* error);

// `uri` is a postgresql:// or postgres:// URI or a libpq conninfo string.
std::unique_ptr<CHostDataBase> OpenPostgreSQL(const std::string& uri, std::string* error);

// The last statement failure kept on a driver connection, for
// CHostDataBase::LastStatementError.
inline CHostDataBase::StatementError StatementErrorOf(const driver::Connection& connection) {
  CHostDataBase::StatementError error;
  error.number = connection.failures();
  if (error.number == 0) return error;
  error.state = connection.last_failure().state;
  error.native = connection.last_failure().native;
  error.message = connection.last_failure().message;
  return error;
}

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_HOST_SRC_OPEN_BACKENDS_H_

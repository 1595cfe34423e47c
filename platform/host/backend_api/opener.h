// What a backend gives CHostDataBase::Open: one Opener, which says which URIs
// are its own and opens them. The host keeps a table of openers
// (src/openers.cpp) and knows nothing else of any backend; a backend's
// opener lives in its own folder (platform/driver/backends/NAME/host).
#ifndef METASHELF_HOST_BACKEND_API_OPENER_H_
#define METASHELF_HOST_BACKEND_API_OPENER_H_

#include <memory>
#include <string>

#include "metashelf/host.h"

namespace metashelf {
namespace host {

struct Opener {
  // The URI form shown to a person whose URI no backend takes.
  const char* form;
  // True when `uri` names a database of this backend. Openers are asked in
  // table order, so a form that another's contains is asked first.
  bool (*accepts)(const std::string& uri);
  // Opens (or, by `mode`, creates) the database `uri`; null with `*error`
  // set on failure. `error` is never null.
  std::unique_ptr<CHostDataBase> (*open)(const std::string& uri, CHostDataBase::OpenMode mode,
                                         std::string* error);
  // Converts an older layout of the database `uri` to the current one
  // (CHostDataBase::Upgrade); null for a backend that has none.
  bool (*upgrade)(const std::string& uri, std::string* report, std::string* error);
};

// The last statement failure kept on a driver connection, for
// CHostDataBase::LastStatementError. A template so that the host needs no
// driver header: any connection with failures() and last_failure() does.
template <typename ConnectionType>
CHostDataBase::StatementError StatementErrorOf(const ConnectionType& connection) {
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

#endif  // METASHELF_HOST_BACKEND_API_OPENER_H_

// The PostgreSQL branch of CHostDataBase::Open, until the PostgreSQL backend
// provides it: the open fails with a clear message.
#include "open_backends.h"

namespace metashelf {
namespace host {

std::unique_ptr<CHostDataBase> OpenPostgreSQL(const std::string& /*uri*/, std::string* error) {
  *error = "PostgreSQL databases are not supported by this build";
  return nullptr;
}

}  // namespace host
}  // namespace metashelf

// The PostgreSQL target. Until its rewrites land, every text is refused with
// a clear message, so that nothing Oracle-flavoured reaches a server
// unadapted. (Owned by the PostgreSQL backend's work.)
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

bool RewriteForPostgreSQL(Tokens& /*tokens*/, Adapted* /*out*/, std::string* error) {
  *error = "the PostgreSQL dialect target is not available in this build";
  return false;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

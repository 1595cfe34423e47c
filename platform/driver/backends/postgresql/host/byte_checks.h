// Byte checks for an owner's tables made before a VARCHAR2(n) column held
// at most n bytes (VARCHAR(n) counts characters): each gets the named check
// that new tables are made with, NOT VALID so that rows stored before are
// left as they are and only new values are held to it.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_BYTE_CHECKS_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_BYTE_CHECKS_H_

#include <string>

namespace metashelf {
namespace driver {
namespace postgresql {
class PgConnection;
}
}  // namespace driver
namespace host {

// Adds the missing checks of `owner`'s tables, inside the caller's
// transaction, waiting at most a second for a table another transaction
// holds. False with `*error` set when one could not be added.
bool AddByteChecks(driver::postgresql::PgConnection* connection, const std::string& owner,
                   std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_BYTE_CHECKS_H_

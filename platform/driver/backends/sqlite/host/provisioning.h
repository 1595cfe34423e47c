// The catalog objects of an owner on SQLite: the three KRDB tables, the
// KRPG_MD package (its procedures stored as SQL bodies in KRPG_SOURCE, which
// the driver runs when a block calls them) and the KRSQ_SCHEMANODEID
// sequence. Provisioning is idempotent: what exists is left as it is, the
// procedure bodies are rewritten.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_HOST_PROVISIONING_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_HOST_PROVISIONING_H_

#include <string>

namespace metashelf {
namespace driver {
namespace sqlite {
class SqliteConnection;
}
}  // namespace driver
namespace host {

// Creates the catalog objects of `owner` when absent (tables named
// "OWNER.NAME" in the database file).
// Runs inside the caller's transaction or savepoint.
bool ProvisionCatalogObjects(driver::sqlite::SqliteConnection* connection, const std::string& owner,
                             std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_HOST_PROVISIONING_H_

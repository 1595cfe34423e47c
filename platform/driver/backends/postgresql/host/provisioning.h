// The catalog objects of an owner on PostgreSQL, where an owner is a schema:
// the three KRDB tables, the KRPG_MD procedures as PL/pgSQL procedures named
// krpg_md_<procedure> (the adapter turns each package block into a CALL of
// one), and the KRSQ_SCHEMANODEID sequence. Also the host's own registry
// (schema metashelf_host: the catalog table and the id sequences).
// Provisioning is idempotent and serialised across connections by an
// advisory lock; it runs inside the caller's transaction.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_PROVISIONING_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_PROVISIONING_H_

#include <string>

namespace metashelf {
namespace driver {
namespace postgresql {
class PgConnection;
}
}  // namespace driver
namespace host {

// The schema of the host's registry.
constexpr const char* kRegistrySchema = "metashelf_host";

// Creates the registry when absent.
bool ProvisionRegistry(driver::postgresql::PgConnection* connection, std::string* error);

// Creates the catalog objects of `owner` when absent (procedures are
// replaced, so that their bodies follow this build).
bool ProvisionCatalogObjects(driver::postgresql::PgConnection* connection, const std::string& owner,
                             std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_HOST_PROVISIONING_H_

// What the backends' catalog registries have in common, whatever table holds
// it: the catalog lookup record that db_GetMtdbInfo fills, the checks of a new
// catalog's name, and how an owner name given in a URI is read.
#ifndef METASHELF_HOST_BACKEND_API_CATALOG_REGISTRY_H_
#define METASHELF_HOST_BACKEND_API_CATALOG_REGISTRY_H_

#include <cstdint>
#include <string>

#include "metashelf/host.h"

namespace metashelf {
namespace host {

// Writes the lookup record of catalog `mtdbID`: its id, then its name and
// its owner, each cut to its field and NUL-terminated (a null text leaves
// its field as it was).
void FillMtdbInfo(unsigned char* record, std::int32_t mtdbID, const char* name, const char* owner);

// False with `*error` when `name` cannot name a new catalog of `host`: empty
// or longer than 127 bytes, or taken by a catalog already.
bool CheckNewCatalogName(CHostDataBase& host, const char* name, std::string* error);

// An owner name as the registry keeps it: ASCII letters upper-cased.
void UpperCaseOwner(std::string* owner);
// The message for an owner name that the backend refuses.
std::string InvalidOwnerMessage(const std::string& owner);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_HOST_BACKEND_API_CATALOG_REGISTRY_H_

// The catalog registry's record and name rules, shared by every backend.
#include "backend_api/catalog_registry.h"

#include <cstring>

#include "metashelf/base/owner_name.h"

namespace metashelf {
namespace host {
namespace {

void CopyCut(unsigned char* to, int room, const char* text) {
  if (text == nullptr) return;
  const std::size_t n = std::strlen(text);
  const std::size_t max = static_cast<std::size_t>(room - 1);
  const std::size_t keep = n < max ? n : max;
  std::memcpy(to, text, keep);
  to[keep] = 0;
}

}  // namespace

void FillMtdbInfo(unsigned char* record, std::int32_t mtdbID, const char* name, const char* owner) {
  std::memcpy(record, &mtdbID, 4);
  CopyCut(record + 4, kMtdbInfoOwnerOffset - 4, name);
  CopyCut(record + kMtdbInfoOwnerOffset, kMtdbInfoRecordSize - kMtdbInfoOwnerOffset, owner);
}

bool CheckNewCatalogName(CHostDataBase& host, const char* name, std::string* error) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 127) {
    *error = "a catalog name must have 1 to 127 bytes";
    return false;
  }
  if (host.FindMtdb(name) > 0) {
    *error = std::string("a catalog called ") + name + " exists";
    return false;
  }
  return true;
}

void UpperCaseOwner(std::string* owner) {
  *owner = base::UpperOwnerName(*owner);
}

std::string InvalidOwnerMessage(const std::string& owner) {
  return base::InvalidOwnerMessage(owner);
}

}  // namespace host
}  // namespace metashelf

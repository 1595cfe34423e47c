// What every CHostDataBase shares, whatever its backend.
#include "metashelf/base/guard.h"
#include "metashelf/host.h"

CHostDataBase::~CHostDataBase() = default;

const char* CHostDataBase::DefaultUri() {
  return "sqlite:metashelf.db";
}

std::unique_ptr<CHostDataBase> CHostDataBase::OpenSibling(std::string* error) {
  metashelf::base::Guard<bool>(false, [&] {
    if (error != nullptr) *error = std::string(Backend()) + " opens no sibling connection";
    return true;
  });
  return nullptr;
}

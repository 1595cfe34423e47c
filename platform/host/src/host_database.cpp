// What every CHostDataBase shares, whatever its backend.
#include "metashelf/host.h"

CHostDataBase::~CHostDataBase() = default;

const char* CHostDataBase::DefaultUri() {
  return "sqlite:metashelf.db";
}

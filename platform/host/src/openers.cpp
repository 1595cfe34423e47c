// CHostDataBase::Open and Upgrade: the table of backends. Each backend's
// host side lives in its own folder (platform/driver/backends/NAME/host) and
// gives one Opener; adding a backend adds that folder and one line here.
#include <exception>

#include "backend_api/opener.h"
#include "metashelf/host.h"

namespace metashelf {
namespace host {

extern const Opener kSqliteOpener;
extern const Opener kPostgreSQLOpener;

namespace {

// Asked in this order: a "sqlite:PATH?owner=X" URI holds a '=', which
// PostgreSQL takes for a conninfo string.
const Opener* const kOpeners[] = {
    &kSqliteOpener,
    &kPostgreSQLOpener,
};

const Opener* OpenerOf(const std::string& uri) {
  for (const Opener* opener : kOpeners) {
    if (opener->accepts(uri)) return opener;
  }
  return nullptr;
}

// The forms of the openers that `with` picks, joined with " or ".
template <typename Pick>
std::string FormsOf(Pick with) {
  std::string forms;
  for (const Opener* opener : kOpeners) {
    if (with(*opener)) forms += std::string(forms.empty() ? "" : " or ") + opener->form;
  }
  return forms;
}

}  // namespace
}  // namespace host
}  // namespace metashelf

using metashelf::host::Opener;
using metashelf::host::OpenerOf;

bool CHostDataBase::Upgrade(const std::string& uri, std::string* report, std::string* error) {
  std::string ignored, said;
  std::string& message = error ? *error : ignored;
  try {
    const Opener* opener = OpenerOf(uri);
    if (opener == nullptr || opener->upgrade == nullptr) {
      message = "only a database " +
                metashelf::host::FormsOf([](const Opener& o) { return o.upgrade != nullptr; }) +
                " has files to convert";
      return false;
    }
    return opener->upgrade(uri, report ? report : &said, &message);
  } catch (const std::exception& e) {
    message = e.what();
  }
  return false;
}

std::unique_ptr<CHostDataBase> CHostDataBase::Open(const std::string& uri, std::string* error) {
  return Open(uri, OpenMode::kCreate, error);
}

std::unique_ptr<CHostDataBase> CHostDataBase::Open(const std::string& uri, OpenMode mode,
                                                   std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  try {
    if (const Opener* opener = OpenerOf(uri)) return opener->open(uri, mode, &message);
    message = "unknown database URI (expected " +
              metashelf::host::FormsOf([](const Opener&) { return true; }) + ")";
  } catch (const std::exception& e) {
    message = e.what();
  }
  return nullptr;
}

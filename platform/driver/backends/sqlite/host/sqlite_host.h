// The SQLite backend's host side as its own files see it: how a "sqlite:"
// URI is read, and the open and upgrade that its opener (kSqliteOpener in
// host.cpp) hands to CHostDataBase.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_HOST_SQLITE_HOST_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_HOST_SQLITE_HOST_H_

#include <memory>
#include <string>

#include "metashelf/host.h"

namespace metashelf {
namespace host {

// `rest` is the URI after "sqlite:": a file path, optionally followed by
// "?owner=NAME". Fills the path and the upper-cased owner (METASHELF when
// none is named); false with `*error` when either cannot be used.
bool ParseSqliteUri(const std::string& rest, std::string* path, std::string* owner,
                    std::string* error);

std::unique_ptr<CHostDataBase> OpenSqlite(const std::string& rest, CHostDataBase::OpenMode mode,
                                          std::string* error);

// Converts the older several-file layout of the SQLite database `rest` into
// one file (CHostDataBase::Upgrade).
bool UpgradeSqlite(const std::string& rest, std::string* report, std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_HOST_SQLITE_HOST_H_

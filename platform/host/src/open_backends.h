// The per-backend factories behind CHostDataBase::Open. Each backend defines
// its own in a file of its own; Open only chooses by the URI's form.
#ifndef METASHELF_HOST_SRC_OPEN_BACKENDS_H_
#define METASHELF_HOST_SRC_OPEN_BACKENDS_H_

#include <memory>
#include <string>

#include "metashelf/host.h"

namespace metashelf {
namespace host {

// `rest` is the URI after "sqlite:": a file path, optionally followed by
// "?owner=NAME".
std::unique_ptr<CHostDataBase> OpenSqlite(const std::string& rest, std::string* error);

// `uri` is a postgresql:// or postgres:// URI or a libpq conninfo string.
std::unique_ptr<CHostDataBase> OpenPostgreSQL(const std::string& uri, std::string* error);

}  // namespace host
}  // namespace metashelf

#endif  // METASHELF_HOST_SRC_OPEN_BACKENDS_H_

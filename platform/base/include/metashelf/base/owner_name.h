// Owner names: the database user (schema) a catalog's tables belong to.
#ifndef METASHELF_BASE_OWNER_NAME_H_
#define METASHELF_BASE_OWNER_NAME_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace metashelf::base {

// The longest owner name; 32 characters or more are refused.
inline constexpr std::size_t kMaxOwnerName = 31;

// True for an ASCII letter followed by letters, digits or '_', at most
// kMaxOwnerName characters in all (either case).
bool IsOwnerName(std::string_view name);

// `name` with its ASCII letters upper-cased, the form owners are stored in.
std::string UpperOwnerName(std::string_view name);

// The message for a name IsOwnerName refuses.
std::string InvalidOwnerMessage(std::string_view name);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_OWNER_NAME_H_

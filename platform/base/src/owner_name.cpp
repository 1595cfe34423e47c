// The owner-name rule.
#include "metashelf/base/owner_name.h"

#include "metashelf/base/ascii.h"

namespace metashelf::base {

bool IsOwnerName(std::string_view name) {
  if (name.empty() || name.size() > kMaxOwnerName || !IsAsciiLetter(name[0])) return false;
  for (char c : name) {
    if (!(IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_')) return false;
  }
  return true;
}

std::string UpperOwnerName(std::string_view name) {
  return AsciiUpper(name);
}

std::string InvalidOwnerMessage(std::string_view name) {
  return "invalid owner name " + std::string(name) +
         " (a letter, then letters, digits or _, under 32 characters)";
}

}  // namespace metashelf::base

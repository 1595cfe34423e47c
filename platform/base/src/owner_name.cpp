// The owner-name rule.
#include "metashelf/base/owner_name.h"

namespace metashelf::base {
namespace {

bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

bool IsOwnerName(std::string_view name) {
  if (name.empty() || name.size() > kMaxOwnerName || !IsLetter(name[0])) return false;
  for (char c : name) {
    if (!(IsLetter(c) || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

std::string UpperOwnerName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string InvalidOwnerMessage(std::string_view name) {
  return "invalid owner name " + std::string(name) +
         " (a letter, then letters, digits or _, under 32 characters)";
}

}  // namespace metashelf::base

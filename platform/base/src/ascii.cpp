// ASCII upper-casing.
#include "metashelf/base/ascii.h"

namespace metashelf::base {

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace metashelf::base

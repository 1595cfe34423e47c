// Texts written once for every owner: the host's catalog tables and
// procedures, made alike on every engine, name their owner "@" and get the
// real name when an owner is provisioned.
#include "dialect/dialect.h"

namespace metashelf {
namespace driver {
namespace dialect {

std::string WithOwner(std::string_view text, std::string_view owner) {
  std::string out;
  out.reserve(text.size() + owner.size());
  for (char c : text) {
    if (c == '@') {
      out += owner;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

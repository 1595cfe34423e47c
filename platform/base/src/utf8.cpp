// Cuts of UTF-8 text at a character boundary.
#include "metashelf/base/utf8.h"

namespace metashelf::base {

std::size_t Utf8CutLength(const char* text, std::size_t length, std::size_t room) {
  if (length <= room) return length;
  auto continues = [text](std::size_t i) {
    return (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
  };
  // text[cut] is the first byte left out; while it continues a character,
  // that character started inside the prefix and is left out whole. A
  // character has at most three continuation bytes: more is not UTF-8, and
  // the bytes are then cut where the room ends.
  std::size_t cut = room;
  for (int step = 0; step < 3 && cut > 0 && continues(cut); ++step) --cut;
  return continues(cut) ? room : cut;
}

}  // namespace metashelf::base

// Cuts of UTF-8 text at a character boundary, and the strict check.
#include "metashelf/base/utf8.h"

#include <cstdint>

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

std::size_t Utf8CharLength(std::string_view text, std::size_t at) {
  if (at >= text.size()) return 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char c = p[at];
  if (c < 0x80) return 1;
  std::size_t len = 0;
  std::uint32_t cp = 0;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  }
  bool ok = len > 0 && at + len <= text.size();
  for (std::size_t k = 1; ok && k < len; ++k) {
    ok = (p[at + k] & 0xC0) == 0x80;
    cp = (cp << 6) | (p[at + k] & 0x3F);
  }
  const bool overlong =
      (len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
  if (!ok || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

bool IsStrictUtf8(std::string_view text, std::size_t* bad) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = Utf8CharLength(text, i);
    if (len == 0) {
      if (bad != nullptr) *bad = i;
      return false;
    }
    i += len;
  }
  return true;
}

}  // namespace metashelf::base

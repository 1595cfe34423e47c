// ASCII letters and case, the same under every locale: SQL keywords, owner
// names and exponent letters are ASCII, and <cctype> would follow the host's
// locale (a Turkish one upper-cases 'i' to something else).
#ifndef METASHELF_BASE_ASCII_H_
#define METASHELF_BASE_ASCII_H_

#include <string>
#include <string_view>

namespace metashelf::base {

inline bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

inline bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// `text` with its ASCII letters upper-cased; every other byte as it is.
std::string AsciiUpper(std::string_view text);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_ASCII_H_

// UTF-8 text: cutting it to a byte budget without splitting a character,
// and the strict check of what counts as UTF-8 at all.
#ifndef METASHELF_BASE_UTF8_H_
#define METASHELF_BASE_UTF8_H_

#include <cstddef>
#include <string_view>

namespace metashelf::base {

// How many of the `length` bytes of `text` fit in `room` bytes when the cut
// may not fall inside a character: `length` when it fits, else `room` moved
// back to the start of the character it would split. Bytes that are not
// UTF-8 (more than three continuation bytes in a row) are cut at `room`.
std::size_t Utf8CutLength(const char* text, std::size_t length, std::size_t room);

// True when `text` is strict UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no character cut short. Otherwise false, with the
// offset of the first byte of the offending character in `*bad` when `bad`
// is not null.
bool IsStrictUtf8(std::string_view text, std::size_t* bad = nullptr);

// The length in bytes of the strict UTF-8 character that starts at
// text[at] (1 to 4), or 0 when the bytes there are not one (by the rules of
// IsStrictUtf8) or `at` is past the end.
std::size_t Utf8CharLength(std::string_view text, std::size_t at);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_UTF8_H_

// Cutting UTF-8 text to a byte budget without splitting a character.
#ifndef METASHELF_BASE_UTF8_H_
#define METASHELF_BASE_UTF8_H_

#include <cstddef>

namespace metashelf::base {

// How many of the `length` bytes of `text` fit in `room` bytes when the cut
// may not fall inside a character: `length` when it fits, else `room` moved
// back to the start of the character it would split. Bytes that are not
// UTF-8 (more than three continuation bytes in a row) are cut at `room`.
std::size_t Utf8CutLength(const char* text, std::size_t length, std::size_t room);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_UTF8_H_

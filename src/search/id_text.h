// Record ids as a driver delivers them in a text column: the id query and
// the search indexes bind their id column as text (one buffer layout for
// every backend) and read the number back here.
#ifndef METASHELF_SRC_SEARCH_ID_TEXT_H_
#define METASHELF_SRC_SEARCH_ID_TEXT_H_

#include <cstddef>
#include <cstdint>

namespace metashelf {
namespace search {

// Reads a record id from the text a driver wrote in a buffer of `room`
// bytes (not necessarily NUL-terminated): leading blanks skipped, an
// optional sign, digits up to the first other character; an empty text
// gives 0; values beyond 64 bits stop at the limit of their sign.
std::int64_t ParseIdText(const char* text, std::size_t room);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_ID_TEXT_H_

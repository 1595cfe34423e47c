// A file built into a binary by metashelf_embed (cmake/EmbedFiles.cmake):
// its name and bytes. The bytes are followed by one NUL that `size` leaves
// out, so text files can also be read as C strings.
#ifndef METASHELF_EMBEDDED_FILE_H_
#define METASHELF_EMBEDDED_FILE_H_

#include <cstddef>

namespace metashelf {

struct EmbeddedFile {
  const char* name;
  const unsigned char* data;
  std::size_t size;
};

}  // namespace metashelf

#endif  // METASHELF_EMBEDDED_FILE_H_

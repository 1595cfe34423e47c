// Copying a text the model holds (a record's part, a leaf value, a node's
// data type) into a buffer the host owns: at most `length` bytes, no
// terminator promised; the bytes copied, or 0 when there is no buffer.
#ifndef METASHELF_MODEL_CALLER_BUFFER_H_
#define METASHELF_MODEL_CALLER_BUFFER_H_

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace metashelf::model {

inline std::int32_t CopyToCallerBuffer(std::string_view text, char* buffer, std::int32_t length) {
  if (buffer == nullptr || length <= 0) return 0;
  const auto n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(length));
  std::memcpy(buffer, text.data(), n);
  return static_cast<std::int32_t>(n);
}

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_CALLER_BUFFER_H_

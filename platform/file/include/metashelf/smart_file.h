// CSmartFile: a growable in-memory stream with a position, as the storage of
// CSmartArray. Reads and writes move the position; a write past the end
// grows the stream, zero-filling any gap.
#ifndef METASHELF_SMART_FILE_H_
#define METASHELF_SMART_FILE_H_

#include <cstdint>
#include <vector>

#include "metashelf/export.h"

class METASHELF_API CSmartFile {
 public:
  CSmartFile() = default;

  std::int64_t GetLength() const { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t GetPosition() const { return position_; }

  // Moves the position to `position` (may lie past the end; a later write
  // fills the gap with zeros). Returns false for a negative position.
  bool Seek(std::int64_t position);

  // Copies up to `length` bytes from the position into `buffer` and advances.
  // Returns the number of bytes read (0 at or past the end, for a null
  // buffer or a negative length).
  std::int64_t Read(void* buffer, std::int64_t length);

  // Writes `length` bytes at the position and advances. Returns false (and
  // writes nothing) for a null buffer with a positive length or a negative
  // length.
  bool Write(const void* buffer, std::int64_t length);

  // Cuts or extends (with zeros) the stream to `length` bytes; the position
  // is kept, clamped to the new length. Returns false for a negative length.
  bool SetLength(std::int64_t length);

  // The stream's bytes; null when it is empty.
  const unsigned char* Data() const { return data_.empty() ? nullptr : data_.data(); }
  unsigned char* Data() { return data_.empty() ? nullptr : data_.data(); }

 private:
  std::vector<unsigned char> data_;
  std::int64_t position_ = 0;
};

#endif  // METASHELF_SMART_FILE_H_

// CBlobData: an owned byte buffer in which documents are handed in and out
// of the catalog (schema documents, node information, XPath documents, maps).
#ifndef METASHELF_BLOB_DATA_H_
#define METASHELF_BLOB_DATA_H_

#include <cstdint>
#include <vector>

#include "metashelf/export.h"

class METASHELF_API CBlobData {
 public:
  CBlobData() = default;

  // Number of bytes held.
  std::int32_t GetDataLength() const;

  // Copies up to `length` bytes starting at `offset` into `buffer`.
  // Returns the number of bytes copied: 0 when `buffer` is null, `offset` or
  // `length` is negative, or `offset` lies at or past the end.
  std::int32_t GetData(void* buffer, std::int32_t offset, std::int32_t length) const;

  // Replaces the whole content with `length` bytes from `data`. A null
  // `data` with length 0 empties the blob. Returns 1, or 0 (content
  // unchanged) for a negative length or a null `data` with a positive length.
  std::int32_t PutData(const void* data, std::int32_t length);

  // The bytes themselves, for hosts that want them without a copy.
  const std::vector<unsigned char>& Bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
};

#endif  // METASHELF_BLOB_DATA_H_

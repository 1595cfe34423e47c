// CBlobData: an owned byte buffer.
#include "metashelf/blob_data.h"

#include <cstring>
#include <new>

#include "metashelf/base/guard.h"

std::int32_t CBlobData::GetDataLength() const {
  return static_cast<std::int32_t>(bytes_.size());
}

std::int32_t CBlobData::GetData(void* buffer, std::int32_t offset, std::int32_t length) const {
  if (buffer == nullptr || offset < 0 || length <= 0) return 0;
  const auto size = static_cast<std::int64_t>(bytes_.size());
  if (offset >= size) return 0;
  const std::int64_t n = (size - offset) < length ? (size - offset) : length;
  std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(n));
  return static_cast<std::int32_t>(n);
}

std::int32_t CBlobData::PutData(const void* data, std::int32_t length) {
  if (length < 0 || (data == nullptr && length > 0)) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    const auto* p = static_cast<const unsigned char*>(data);
    bytes_.assign(p, p + length);
    return 1;
  });
}

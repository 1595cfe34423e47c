// CSmartFile: a growable in-memory stream.
#include "metashelf/smart_file.h"

#include <cstring>
#include <new>

#include "metashelf/base/guard.h"

bool CSmartFile::Seek(std::int64_t position) {
  if (position < 0) return false;
  position_ = position;
  return true;
}

std::int64_t CSmartFile::Read(void* buffer, std::int64_t length) {
  if (buffer == nullptr || length <= 0) return 0;
  const auto size = GetLength();
  if (position_ >= size) return 0;
  const std::int64_t n = (size - position_) < length ? (size - position_) : length;
  std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
  position_ += n;
  return n;
}

bool CSmartFile::Write(const void* buffer, std::int64_t length) {
  if (length < 0 || (buffer == nullptr && length > 0)) return false;
  if (length == 0) return true;
  const std::int64_t end = position_ + length;
  return metashelf::base::Guard<bool>(false, [&]() -> bool {
    if (end > GetLength()) data_.resize(static_cast<std::size_t>(end), 0);
    std::memcpy(data_.data() + position_, buffer, static_cast<std::size_t>(length));
    position_ = end;
    return true;
  });
}

bool CSmartFile::SetLength(std::int64_t length) {
  if (length < 0) return false;
  return metashelf::base::Guard<bool>(false, [&]() -> bool {
    data_.resize(static_cast<std::size_t>(length), 0);
    if (position_ > length) position_ = length;
    return true;
  });
}

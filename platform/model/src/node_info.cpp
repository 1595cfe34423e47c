// CNodeInfo: the accessors of one schema node's information.
#include <algorithm>
#include <cstring>

#include "metashelf/model.h"

std::int32_t CNodeInfo::GetNodeGUID(std::int32_t& guid) const {
  guid = guid_;
  return 1;
}

std::int32_t CNodeInfo::GetTableType(short& tableType) const {
  tableType = tableType_;
  return 1;
}

std::int32_t CNodeInfo::GetDataTypeSize(std::int32_t& size) const {
  size = static_cast<std::int32_t>(dataType_.size());
  return 1;
}

std::int32_t CNodeInfo::GetDataType(char* buffer, std::int32_t length) const {
  if (buffer == nullptr || length <= 0) return 0;
  const auto n = std::min<std::size_t>(dataType_.size(), static_cast<std::size_t>(length));
  std::memcpy(buffer, dataType_.data(), n);
  if (n < static_cast<std::size_t>(length)) buffer[n] = '\0';
  return static_cast<std::int32_t>(n);
}

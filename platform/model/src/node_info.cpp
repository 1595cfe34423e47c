// CNodeInfo: the accessors of one schema node's information.
#include "caller_buffer.h"
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

// Ends the type with a NUL when the buffer has room for one.
std::int32_t CNodeInfo::GetDataType(char* buffer, std::int32_t length) const {
  const std::int32_t n = metashelf::model::CopyToCallerBuffer(dataType_, buffer, length);
  if (buffer != nullptr && n < length) buffer[n] = '\0';
  return n;
}

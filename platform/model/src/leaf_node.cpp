// CLeafNode: one leaf value of a record with its node GUID, position and tag.
#include <cstring>

#include "caller_buffer.h"
#include "metashelf/base/guard.h"
#include "metashelf/model.h"

std::int32_t CLeafNode::GetNodeGUID(std::int32_t& guid) const {
  guid = guid_;
  return 1;
}

std::int32_t CLeafNode::GetNodePosition(std::int32_t& position) const {
  position = position_;
  return 1;
}

std::int32_t CLeafNode::GetNodeValueSize(std::int32_t& size) const {
  size = static_cast<std::int32_t>(value_.size());
  return 1;
}

std::int32_t CLeafNode::GetNodeValue(char* buffer, std::int32_t length) const {
  return metashelf::model::CopyToCallerBuffer(value_, buffer, length);
}

std::int32_t CLeafNode::GetNodeTag(std::string& tag) const {
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    tag = tag_;
    return 1;
  });
}

std::int32_t CLeafNode::SetNodeGUID(const std::int32_t& guid) {
  guid_ = guid;
  return 1;
}

std::int32_t CLeafNode::SetNodePosition(const std::int32_t& position) {
  position_ = position;
  return 1;
}

std::int32_t CLeafNode::SetNodeTag(const char* tag) {
  return SetNodeTag(tag, tag != nullptr ? std::strlen(tag) : 0);
}

std::int32_t CLeafNode::SetNodeValue(const char* value) {
  return SetNodeValue(value, value != nullptr ? std::strlen(value) : 0);
}

std::int32_t CLeafNode::SetNodeTag(const char* tag, std::size_t length) {
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    tag_.assign(tag != nullptr ? tag : "", tag != nullptr ? length : 0);
    return 1;
  });
}

std::int32_t CLeafNode::SetNodeValue(const char* value, std::size_t length) {
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    value_.assign(value != nullptr ? value : "", value != nullptr ? length : 0);
    return 1;
  });
}

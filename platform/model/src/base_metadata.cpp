// CBaseMetaData: a record on a schema, as stored parts (structure document,
// prolog, value label, leaf nodes) and, for hosts, as XML text.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "caller_buffer.h"
#include "decompose.h"
#include "metashelf/base/guard.h"
#include "rebuild.h"
#include "record_parts.h"
#include "schema_impl.h"
#include "text_codec.h"
#include "xml_check.h"

namespace {

// Records larger than this are refused before anything is read into memory.
constexpr std::size_t kMaxRecordBytes = std::size_t{1} << 30;

std::int32_t SizeOf(const std::string& text, std::int32_t& size) {
  if (text.size() > static_cast<std::size_t>(INT32_MAX)) return 0;
  size = static_cast<std::int32_t>(text.size());
  return 1;
}

// Replaces one stored part of the record (null reads as empty); the parts
// no longer match the record's XML until it is rebuilt.
std::int32_t ReplacePart(std::string& part, bool& consistent, const char* text) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    part = text != nullptr ? text : "";
    consistent = false;
    return 1;
  });
}

}  // namespace

// A record whose parts cannot be made (memory exhausted) is an empty one
// that refuses every operation, as every member checks impl_.
CBaseMetaData::CBaseMetaData(CSchema* schema)
    : schema_(schema), impl_(metashelf::base::Guard<Impl*>(nullptr, [] { return new Impl; })) {}
CBaseMetaData::~CBaseMetaData() = default;

std::int32_t CBaseMetaData::GetStructInfoSize(std::int32_t& size) const {
  return impl_ ? SizeOf(impl_->parts.structure, size) : 0;
}
std::int32_t CBaseMetaData::GetPrologInfoSize(std::int32_t& size) const {
  return impl_ ? SizeOf(impl_->parts.prolog, size) : 0;
}
std::int32_t CBaseMetaData::GetValueLabelSize(std::int32_t& size) const {
  return impl_ ? SizeOf(impl_->parts.label, size) : 0;
}
std::int32_t CBaseMetaData::GetLeafNodeListSize(std::int32_t& size) const {
  if (!impl_) return 0;
  size = static_cast<std::int32_t>(impl_->parts.leaves.size());
  return 1;
}
std::int32_t CBaseMetaData::GetStructInfo(char* buffer, std::int32_t length) const {
  return impl_ ? metashelf::model::CopyToCallerBuffer(impl_->parts.structure, buffer, length) : 0;
}
std::int32_t CBaseMetaData::GetPrologInfo(char* buffer, std::int32_t length) const {
  return impl_ ? metashelf::model::CopyToCallerBuffer(impl_->parts.prolog, buffer, length) : 0;
}
std::int32_t CBaseMetaData::GetValueLabel(char* buffer, std::int32_t length) const {
  return impl_ ? metashelf::model::CopyToCallerBuffer(impl_->parts.label, buffer, length) : 0;
}

std::int32_t CBaseMetaData::GetLeafNodeList(CSmartArray<CLeafNode*>& list,
                                            std::int32_t count) const {
  if (!impl_) return 0;
  const auto& leaves = impl_->parts.leaves;
  const std::int32_t n = std::min<std::int32_t>(std::max<std::int32_t>(count, 0),
                                                static_cast<std::int32_t>(leaves.size()));
  std::int32_t filled = 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    for (std::int32_t i = 0; i < n; ++i) {
      CLeafNode* node = nullptr;
      if (!list.GetAt(i, &node) || node == nullptr) break;
      *node = leaves[i];
      ++filled;
    }
    return filled == n ? 1 : 0;
  });
}

std::int32_t CBaseMetaData::SetStructInfo(const char* text) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    impl_->parts.structure = text != nullptr ? text : "";
    // A new structure document starts a new record: the value label of an
    // earlier one must not outlive it (a stored record without a label sets
    // none).
    impl_->parts.label.clear();
    impl_->issues.clear();
    impl_->fit = RecordFit{};
    impl_->consistent = false;
    return 1;
  });
}

std::int32_t CBaseMetaData::SetPrologInfo(const char* text) {
  return impl_ ? ReplacePart(impl_->parts.prolog, impl_->consistent, text) : 0;
}

std::int32_t CBaseMetaData::SetValueLabel(const char* text) {
  return impl_ ? ReplacePart(impl_->parts.label, impl_->consistent, text) : 0;
}

std::int32_t CBaseMetaData::SetLeafNodeList(CSmartArray<CLeafNode*>& list) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::vector<CLeafNode> leaves;
    leaves.reserve(static_cast<std::size_t>(std::max<std::int32_t>(list.GetSize(), 0)));
    for (std::int32_t i = 0; i < list.GetSize(); ++i) {
      CLeafNode* node = nullptr;
      if (list.GetAt(i, &node) && node != nullptr) leaves.push_back(*node);
    }
    impl_->parts.leaves = std::move(leaves);
    impl_->consistent = false;
    return 1;
  });
}

std::int32_t CBaseMetaData::SetMetaID(std::int64_t id) {
  if (!impl_) return 0;
  impl_->metaId = id;
  return 1;
}

std::int64_t CBaseMetaData::GetMetaID() const {
  return impl_ ? impl_->metaId : 0;
}

std::int32_t CBaseMetaData::UpdateSetting() {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0,
      [&]() -> std::int32_t {
        impl_->issues.clear();
        impl_->error.clear();
        if (impl_->parts.structure.empty()) {
          impl_->error = "no structure document";
          impl_->consistent = false;
          return 0;
        }
        impl_->consistent = metashelf::model::CheckParts(impl_->parts, impl_->error);
        return impl_->consistent ? 1 : 0;
      },
      [&] { impl_->consistent = false; });
}

std::int32_t CBaseMetaData::LoadXml(const char* data, std::size_t length) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0,
      [&]() -> std::int32_t {
        impl_->error.clear();
        impl_->consistent = false;
        if (length > kMaxRecordBytes) {
          impl_->error = "record larger than 1 GiB";
          return 0;
        }
        metashelf::model::DecodedText text;
        if (!metashelf::model::DecodeRecordBytes(data, length, text, impl_->error)) return 0;
        const metashelf::model::SchemaModel* model =
            schema_ != nullptr && schema_->impl() != nullptr ? &schema_->impl()->model : nullptr;
        metashelf::model::RecordParts parts;
        std::vector<ValidationIssue> issues;
        RecordFit fit;
        if (!metashelf::model::Decompose(model, text, parts, issues, fit, impl_->error)) return 0;
        impl_->parts = std::move(parts);
        impl_->issues = std::move(issues);
        impl_->fit = std::move(fit);
        impl_->consistent = true;
        return 1;
      },
      [&] { impl_->error = "out of memory"; });
}

std::int32_t CBaseMetaData::LoadXmlFile(const char* path) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0,
      [&]() -> std::int32_t {
        if (path == nullptr) {
          impl_->error = "no file name";
          return 0;
        }
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        if (!in) {
          impl_->error = std::string("cannot open ") + path;
          return 0;
        }
        const std::streamoff size = in.tellg();
        if (size < 0 || static_cast<std::uint64_t>(size) > kMaxRecordBytes) {
          impl_->error = std::string("cannot read ") + path;
          return 0;
        }
        std::string bytes(static_cast<std::size_t>(size), '\0');
        in.seekg(0);
        if (!in.read(bytes.data(), size)) {
          impl_->error = std::string("cannot read ") + path;
          return 0;
        }
        return LoadXml(bytes.data(), bytes.size());
      },
      [&] { impl_->error = "out of memory"; });
}

std::int32_t CBaseMetaData::ToXml(std::string& xml) const {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0,
      [&]() -> std::int32_t {
        if (impl_->parts.structure.empty()) {
          impl_->error = "empty record";
          return 0;
        }
        if (!metashelf::model::Rebuild(impl_->parts, xml, impl_->error)) return 0;
        // Stored parts that were damaged rebuild into text no reader can use:
        // the record is refused rather than handed out.
        std::string reason;
        if (!metashelf::model::WellFormedUtf8Xml(xml, &reason)) {
          xml.clear();
          impl_->error = "the record is damaged (" + reason + ")";
          return 0;
        }
        return 1;
      },
      [&] { impl_->error = "out of memory"; });
}

std::vector<ValidationIssue> CBaseMetaData::Validate() const {
  if (!impl_) return {};
  return metashelf::base::Guard<std::vector<ValidationIssue>>(
      std::vector<ValidationIssue>{},
      [&]() -> std::vector<ValidationIssue> { return impl_->issues; });
}

RecordFit CBaseMetaData::Fit() const {
  if (!impl_) return {};
  return metashelf::base::Guard<RecordFit>(RecordFit{}, [&]() -> RecordFit { return impl_->fit; });
}

const std::string& CBaseMetaData::LastError() const {
  static const std::string kNoMemory = "out of memory";
  return impl_ ? impl_->error : kNoMemory;
}

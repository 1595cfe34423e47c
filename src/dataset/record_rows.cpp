// Taking a record apart into rows, and writing those rows.
#include "dataset/record_rows.h"

#include <cstring>
#include <vector>

#include "dataset/meta_set_oper.h"
#include "dataset/sql_text.h"

namespace metashelf {
namespace dataset {

namespace {

// Leaf nodes made for GetLeafNodeList, in one block (one allocation per
// record, not per leaf); the list points into it. A block that cannot be
// had throws, like every other allocation of taking a record apart: the
// guard of the set's write that called it turns that into the write's
// failure before anything is written.
class NodeList {
 public:
  ~NodeList() { list_.SetSize(0); }
  bool Make(std::int32_t count) {
    nodes_.resize(static_cast<std::size_t>(count));
    for (CLeafNode& node : nodes_) {
      if (list_.Add(&node) < 0) return false;
    }
    return true;
  }
  CSmartArray<CLeafNode*>& list() { return list_; }

 private:
  std::vector<CLeafNode> nodes_;
  CSmartArray<CLeafNode*> list_;
};

// A document of `size` bytes fetched with `get`.
template <typename Get>
std::string Document(std::int32_t size, Get get) {
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  get(&text[0], size);
  text.resize(static_cast<std::size_t>(size));
  return text;
}

}  // namespace

bool ExtractRecord(const CBaseMetaData& record, const CSchema* schema, RecordRows* rows) {
  std::int32_t structSize = -1;
  std::int32_t prologSize = -1;
  record.GetStructInfoSize(structSize);
  record.GetPrologInfoSize(prologSize);
  if (structSize < 1 || prologSize < 1) return false;
  rows->structInfo =
      Document(structSize, [&](char* b, std::int32_t n) { record.GetStructInfo(b, n); });
  rows->prolog = Document(prologSize, [&](char* b, std::int32_t n) { record.GetPrologInfo(b, n); });
  std::int32_t labelSize = 0;
  record.GetValueLabelSize(labelSize);
  rows->label.clear();
  if (labelSize > 0) {
    rows->label = Document(labelSize, [&](char* b, std::int32_t n) { record.GetValueLabel(b, n); });
  }

  std::int32_t count = 0;
  record.GetLeafNodeListSize(count);
  NodeList nodes;
  if (count > 0) {
    if (!nodes.Make(count)) return false;
    record.GetLeafNodeList(nodes.list(), count);
  }
  rows->nodes.clear();
  rows->nodes.reserve(static_cast<std::size_t>(count > 0 ? count : 0));
  for (std::int32_t i = 0; i < nodes.list().GetSize(); ++i) {
    const CLeafNode* leaf = nodes.list()[i];
    NodeRow row;
    leaf->GetNodePosition(row.position);
    std::int32_t size = -1;
    leaf->GetNodeValueSize(size);
    if (size < 0) size = 0;
    row.value = Document(size, [&](char* b, std::int32_t n) { leaf->GetNodeValue(b, n); });
    row.value.resize(std::strlen(row.value.c_str()));
    leaf->GetNodeGUID(row.guid);
    row.tableType = -1;
    if (schema == nullptr || schema->GetTableTypeByGUID(row.guid, &row.tableType) == 0) continue;
    switch (row.tableType) {
      case kTableTypeText:
        if (row.value.size() > kMaxTextValue) return false;
        break;
      case kTableTypeNumber:
        if (!ParseNumberValue(row.value.c_str(), &row.number, &row.isNull)) return false;
        break;
      case kTableTypeDate:
        if (!IsStorableDate(row.value.c_str())) return false;
        break;
      default:
        continue;
    }
    rows->nodes.push_back(std::move(row));
  }
  return true;
}

bool WriteRecordRows(COraMetaSetOper& oper, std::int32_t mdsID, std::int64_t metaID,
                     const RecordRows& rows) {
  const auto size = [](const std::string& s) { return static_cast<std::int32_t>(s.size()); };
  if (oper.InsertStructInfo(mdsID, metaID, rows.structInfo.data(), size(rows.structInfo)) != 1) {
    return false;
  }
  if (oper.WritePrologInfo(mdsID, metaID, rows.prolog.data(), size(rows.prolog)) != 1) {
    return false;
  }
  if (!rows.label.empty() &&
      oper.WriteValueLabel(mdsID, metaID, rows.label.data(), size(rows.label)) != 1) {
    return false;
  }
  for (const NodeRow& row : rows.nodes) {
    std::int32_t written = 0;
    switch (row.tableType) {
      case kTableTypeText:
        written = oper.InsertNodeText(mdsID, metaID, row.guid, row.position, row.value.c_str());
        break;
      case kTableTypeNumber:
        written = row.isNull
                      ? oper.InsertNodeNumberNull(mdsID, metaID, row.guid, row.position)
                      : oper.InsertNodeNumber(mdsID, metaID, row.guid, row.position, row.number);
        break;
      case kTableTypeDate:
        written = oper.InsertNodeDateTime(mdsID, metaID, row.guid, row.position, row.value.c_str());
        break;
      default:
        written = 1;
        break;
    }
    if (written != 1) return false;
  }
  return true;
}

}  // namespace dataset
}  // namespace metashelf

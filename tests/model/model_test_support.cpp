// Test helpers of the model library.
#include "model_test_support.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace model_test {

void TakeIds(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* source = static_cast<IdSource*>(context);
  source->requested.push_back(count);
  const int n = source->blocks++ == source->shortAt ? count - 1 : count;
  for (int i = 0; i < n; ++i) ids.push_back(source->next + i);
  source->next += count + 1;  // the catalog skips one value between blocks
}

std::string CorpusDir() {
  return METASHELF_CORPUS_DIR;
}
std::string SourceDir() {
  return METASHELF_SOURCE_DIR;
}

std::unique_ptr<CSchema> LoadSchema(const std::string& text, IdSource* ids) {
  IdSource local;
  if (ids == nullptr) ids = &local;
  CSchemaRegister reg(ids);
  std::string schemaDoc, nodeInfo, xpathDoc;
  if (reg.ParseSchema(text.c_str(), schemaDoc, nodeInfo, xpathDoc, TakeIds) < 0) return nullptr;
  auto schema = std::make_unique<CSchema>();
  schema->SetSchemaID(7);
  if (schema->SetNodeStructList(nodeInfo.c_str()) != 1) return nullptr;
  schema->SetSchemaDoc(schemaDoc.c_str());
  schema->SetN2EMAPList("<?xml version='1.0' encoding='gbk'?> <N2EMAP />");
  return schema;
}

namespace {

std::string Document(std::int32_t size,
                     std::int32_t (CBaseMetaData::*get)(char*, std::int32_t) const,
                     const CBaseMetaData& record) {
  std::vector<char> buffer(static_cast<std::size_t>(size) + 1, '\0');
  (record.*get)(buffer.data(), size);
  return std::string(buffer.data());
}

}  // namespace

void StorageTrip(const CBaseMetaData& from, CBaseMetaData& to, const CSchema& schema) {
  std::int32_t size = 0;
  from.GetStructInfoSize(size);
  const std::string structure = Document(size, &CBaseMetaData::GetStructInfo, from);
  from.GetPrologInfoSize(size);
  const std::string prolog = Document(size, &CBaseMetaData::GetPrologInfo, from);
  from.GetValueLabelSize(size);
  const std::string label = Document(size, &CBaseMetaData::GetValueLabel, from);
  std::int32_t count = 0;
  from.GetLeafNodeListSize(count);
  std::vector<CLeafNode> made(static_cast<std::size_t>(count));
  CSmartArray<CLeafNode*> list;
  for (auto& n : made) list.Add(&n);
  from.GetLeafNodeList(list, count);

  // Read back as the value tables give them: text first, then numbers (as
  // doubles printed back), then dates.
  std::vector<CLeafNode> back;
  for (int pass = 1; pass <= 3; ++pass) {
    for (const CLeafNode& n : made) {
      std::int32_t guid = 0, position = 0;
      n.GetNodeGUID(guid);
      n.GetNodePosition(position);
      CNodeInfo info;
      short tableType = 0;
      if (!schema.GetNodeInfoByGUID(guid, &info)) continue;
      info.GetTableType(tableType);
      if (tableType != pass) continue;
      CLeafNode r;
      r.SetNodeGUID(guid);
      r.SetNodePosition(position);
      r.SetNodeTag((std::to_string(guid) + "<" + std::to_string(position)).c_str());
      std::string value = n.Value();
      if (tableType == 2) {
        const double d = std::strtod(value.c_str(), nullptr);
        char buffer[64];
        const std::string type = info.DataType();
        if (type == "decimal" || type == "float" || type == "double") {
          value.assign(buffer, std::to_chars(buffer, buffer + 64, d).ptr);
        } else {
          value.assign(
              buffer,
              std::to_chars(buffer, buffer + 64, static_cast<long long>(std::trunc(d))).ptr);
        }
      }
      r.SetNodeValue(value.c_str());
      back.push_back(r);
    }
  }
  std::reverse(back.begin(), back.end());
  CSmartArray<CLeafNode*> backList;
  for (auto& n : back) backList.Add(&n);
  to.SetStructInfo(structure.c_str());
  to.SetPrologInfo(prolog.c_str());
  if (!label.empty()) to.SetValueLabel(label.c_str());
  to.SetLeafNodeList(backList);
  to.SetMetaID(42);
  to.UpdateSetting();
}

}  // namespace model_test

// Fuzz entry point of record decomposition: any bytes are loaded as a record
// on a small schema; a record that loads must rebuild, through its stored
// parts (numbers printed back as storage does, leaves in another order), to
// the same text as its direct rebuild, and that text must load again and
// rebuild to itself.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "metashelf/model.h"

namespace {

const char* kSchema = R"(<schemaText name="fuzz">
  <namespace prefix="f" uri="urn:f"/>
  <element name="r">
    <attribute name="a" type="string"/>
    <attribute name="n" type="double"/>
    <element name="t" maxOccurs="unbounded"><attribute name="k" type="integer"/></element>
    <element name="n" type="decimal" maxOccurs="unbounded"/>
    <element name="i" type="integer" maxOccurs="unbounded"/>
    <element name="d" type="date" maxOccurs="unbounded"/>
    <element name="f:q" maxOccurs="unbounded"><element name="f:t"/></element>
  </element>
</schemaText>)";

void Ids(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* next = static_cast<std::int64_t*>(context);
  for (int i = 0; i < count; ++i) ids.push_back((*next)++);
}

CSchema* MakeSchema() {
  static std::int64_t next = 1;
  CSchemaRegister reg(&next);
  std::string doc, info, xpath;
  if (reg.ParseSchema(kSchema, doc, info, xpath, Ids) < 0) std::abort();
  auto* schema = new CSchema();
  schema->SetNodeStructList(info.c_str());
  return schema;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string Text(const CBaseMetaData& r, std::int32_t (CBaseMetaData::*size)(std::int32_t&) const,
                 std::int32_t (CBaseMetaData::*get)(char*, std::int32_t) const) {
  std::int32_t n = 0;
  (r.*size)(n);
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  (r.*get)(s.data(), n);
  s.resize(n);
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static CSchema* schema = MakeSchema();
  CBaseMetaData record(schema);
  if (record.LoadXml(reinterpret_cast<const char*>(data), size) != 1) return 0;
  std::string direct;
  Require(record.ToXml(direct) == 1);

  std::int32_t count = 0;
  record.GetLeafNodeListSize(count);
  std::vector<CLeafNode> nodes(static_cast<std::size_t>(count));
  CSmartArray<CLeafNode*> list;
  for (auto& n : nodes) list.Add(&n);
  Require(record.GetLeafNodeList(list, count) == 1);
  CSmartArray<CLeafNode*> stored;
  for (std::int32_t i = count; i-- > 0;) {
    CLeafNode& n = nodes[i];
    std::int32_t guid = 0;
    n.GetNodeGUID(guid);
    CNodeInfo info;
    Require(schema->GetNodeInfoByGUID(guid, &info) == 1);
    short tableType = 0;
    info.GetTableType(tableType);
    if (tableType == 2) {
      const double v = std::strtod(n.Value().c_str(), nullptr);
      char buffer[64];
      const bool whole = info.DataType() == "integer";
      const auto end =
          whole ? std::to_chars(buffer, buffer + 64, static_cast<long long>(std::trunc(v))).ptr
                : std::to_chars(buffer, buffer + 64, v).ptr;
      n.SetNodeValue(std::string(buffer, end).c_str());
    }
    stored.Add(&n);
  }
  CBaseMetaData back(schema);
  const std::string structure =
      Text(record, &CBaseMetaData::GetStructInfoSize, &CBaseMetaData::GetStructInfo);
  back.SetStructInfo(structure.c_str());
  back.SetPrologInfo(
      Text(record, &CBaseMetaData::GetPrologInfoSize, &CBaseMetaData::GetPrologInfo).c_str());
  back.SetValueLabel(
      Text(record, &CBaseMetaData::GetValueLabelSize, &CBaseMetaData::GetValueLabel).c_str());
  back.SetLeafNodeList(stored);
  Require(back.UpdateSetting() == 1);
  std::string rebuilt;
  Require(back.ToXml(rebuilt) == 1);
  Require(rebuilt == direct);

  CBaseMetaData again(schema);
  Require(again.LoadXml(direct.data(), direct.size()) == 1);
  std::string second;
  Require(again.ToXml(second) == 1);
  Require(second == direct);
  return 0;
}

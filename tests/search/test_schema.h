// A small schema for search tests, registered through the model library
// with node GUIDs drawn from a counter, so a test can place a chosen GUID
// on a chosen node.
#ifndef METASHELF_TESTS_SEARCH_TEST_SCHEMA_H_
#define METASHELF_TESTS_SEARCH_TEST_SCHEMA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/model.h"

namespace search_test {

// One element of each table type under a container element.
inline const char* kTestSchemaText =
    "<schemaText name=\"searchtest\">"
    "<element name=\"rec\">"
    "<element name=\"title\" type=\"string\" maxOccurs=\"unbounded\"/>"
    "<element name=\"size\" type=\"decimal\"/>"
    "<element name=\"when\" type=\"date\"/>"
    "</element>"
    "</schemaText>";

inline void CountingGuids(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* next = static_cast<std::int64_t*>(context);
  for (int i = 0; i < count; ++i) ids.push_back((*next)++);
}

// The node-information document of `text` with GUIDs drawn from
// `firstGuid` on; empty when the text is refused.
inline std::string NodeInfoOf(const char* text, std::int64_t firstGuid) {
  std::int64_t next = firstGuid;
  CSchemaRegister reg(&next);
  std::string schemaDoc, nodeInfo, xpathDoc;
  if (reg.ParseSchema(text, schemaDoc, nodeInfo, xpathDoc, &CountingGuids) < 0) return "";
  return nodeInfo;
}

// The schema of `text` with GUIDs drawn from `firstGuid` on; null when the
// text is refused.
inline std::unique_ptr<CSchema> LoadSchema(const char* text, std::int64_t firstGuid) {
  std::int64_t next = firstGuid;
  CSchemaRegister reg(&next);
  std::string schemaDoc, nodeInfo, xpathDoc;
  if (reg.ParseSchema(text, schemaDoc, nodeInfo, xpathDoc, &CountingGuids) < 0) return nullptr;
  auto schema = std::make_unique<CSchema>();
  if (schema->SetNodeStructList(nodeInfo.c_str()) == 0) return nullptr;
  schema->SetSchemaDoc(schemaDoc.c_str());
  return schema;
}

inline std::int32_t GuidOf(const CSchema& schema, const std::string& path) {
  CNodeInfo info;
  std::int32_t guid = 0;
  if (schema.GetNodeInfoByPath(path.c_str(), &info) != 0) info.GetNodeGUID(guid);
  return guid;
}

// The test schema with `guid` on the node at `path`.
inline std::unique_ptr<CSchema> LoadSchemaWithGuid(const std::string& path, std::int32_t guid) {
  auto probe = LoadSchema(search_test::kTestSchemaText, 1);
  if (!probe) return nullptr;
  const std::int32_t offset = GuidOf(*probe, path) - 1;
  return LoadSchema(search_test::kTestSchemaText, guid - offset);
}

}  // namespace search_test

#endif  // METASHELF_TESTS_SEARCH_TEST_SCHEMA_H_

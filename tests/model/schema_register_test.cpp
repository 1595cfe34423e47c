// Schema texts: registration outputs, GUID blocks, rejected texts, lookups.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <set>

#include "model_test_support.h"

namespace {

using model_test::IdSource;
using model_test::TakeIds;

const char* kSmall = R"(<?xml version="1.0"?>
<schemaText name="tiny">
  <namespace prefix="t" uri="urn:tiny"/>
  <element name="t:rec">
    <element name="t:title" type="string" alias="title"/>
    <element name="t:west" type="double" alias="westbc"/>
    <element name="t:count" type="integer"/>
    <element name="t:when" type="date" alias="pubdate"/>
    <element name="t:stamp" type="dateTime"/>
    <element name="t:kw" maxOccurs="unbounded" alias="keyword"/>
    <element name="t:code" type="string">
      <attribute name="codeListValue" type="string"/>
    </element>
  </element>
</schemaText>)";

struct Parsed {
  std::int32_t result = 0;
  std::string schemaDoc, nodeInfo, xpathDoc, error;
};

Parsed Parse(const std::string& text, IdSource& ids) {
  Parsed p;
  CSchemaRegister reg(&ids);
  p.result = reg.ParseSchema(text.c_str(), p.schemaDoc, p.nodeInfo, p.xpathDoc, TakeIds);
  p.error = reg.LastError();
  return p;
}

TEST(SchemaRegisterTest, ProducesThreeDocumentsWithGuidsFromTheSource) {
  IdSource ids;
  const Parsed p = Parse(kSmall, ids);
  ASSERT_EQ(p.result, 9) << p.error;
  ASSERT_EQ(ids.requested, std::vector<int>{9});
  pugi::xml_document info, xpath, schema;
  ASSERT_TRUE(info.load_string(p.nodeInfo.c_str()));
  ASSERT_TRUE(xpath.load_string(p.xpathDoc.c_str()));
  ASSERT_TRUE(schema.load_string(p.schemaDoc.c_str()));
  const auto west = info.select_node("//node[@path='/t:rec/t:west']").node();
  ASSERT_TRUE(west);
  EXPECT_STREQ(west.attribute("type").value(), "double");
  EXPECT_EQ(west.attribute("tableType").as_int(), 2);
  EXPECT_EQ(west.attribute("typeSize").as_int(), 6);
  EXPECT_EQ(west.attribute("parent").as_int(), 1000);
  const auto code = info.select_node("//node[@path='/t:rec/t:code/@codeListValue']").node();
  EXPECT_STREQ(code.attribute("kind").value(), "attribute");
  EXPECT_EQ(xpath.select_node("//xpath[text()='/t:rec/t:when']").node().attribute("guid").as_int(),
            1004);
  EXPECT_EQ(schema.select_node("//element[@name='t:kw']").node().attribute("maxOccurs").as_string(),
            std::string("unbounded"));
}

TEST(SchemaRegisterTest, AsksForLargeSchemasInBlocksAndUsesEveryBlockWhole) {
  std::string text = "<schemaText><element name='root'>";
  for (int i = 0; i < 600; ++i) text += "<element name='e" + std::to_string(i) + "'/>";
  text += "</element></schemaText>";
  IdSource ids;
  const Parsed p = Parse(text, ids);
  ASSERT_EQ(p.result, 601) << p.error;
  ASSERT_GT(ids.requested.size(), 1u);
  int total = 0;
  for (int n : ids.requested) total += n;
  EXPECT_EQ(total, 601);
  pugi::xml_document info;
  info.load_string(p.nodeInfo.c_str());
  std::set<int> guids;
  for (auto n : info.child("nodeInfo").children("node")) guids.insert(n.attribute("guid").as_int());
  EXPECT_EQ(guids.size(), 601u);
}

TEST(SchemaRegisterTest, RejectedTextsGiveMinusOneAndNoOutput) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"malformed", "<schemaText><element name='a'></schemaText>"},
      {"duplicate path",
       "<schemaText><element name='a'><element name='b'/><element name='b'/>"
       "</element></schemaText>"},
      {"unknown type", "<schemaText><element name='a' type='colour'/></schemaText>"},
      {"undeclared prefix", "<schemaText><element name='x:a'/></schemaText>"},
      {"no nodes", "<schemaText/>"},
      {"wrong root", "<schema><element name='a'/></schema>"},
      {"attribute with children",
       "<schemaText><element name='a'><attribute name='b'><element name='c'/></attribute>"
       "</element></schemaText>"},
      {"duplicate alias",
       "<schemaText><element name='a' alias='t'><element name='b' alias='t'/>"
       "</element></schemaText>"},
  };
  for (const auto& [what, text] : cases) {
    IdSource ids;
    const Parsed p = Parse(text, ids);
    EXPECT_EQ(p.result, -1) << what;
    EXPECT_TRUE(p.schemaDoc.empty() && p.nodeInfo.empty() && p.xpathDoc.empty()) << what;
    EXPECT_FALSE(p.error.empty()) << what;
    EXPECT_TRUE(ids.requested.empty()) << what << ": identifiers drawn for a rejected text";
  }
}

TEST(SchemaRegisterTest, ShortIdentifierBlockRejectsTheText) {
  std::string text = "<schemaText><element name='root'>";
  for (int i = 0; i < 400; ++i) text += "<element name='e" + std::to_string(i) + "'/>";
  text += "</element></schemaText>";
  for (int shortAt : {0, 1}) {
    IdSource ids;
    ids.shortAt = shortAt;
    const Parsed p = Parse(text, ids);
    EXPECT_EQ(p.result, -1);
    EXPECT_TRUE(p.schemaDoc.empty() && p.nodeInfo.empty() && p.xpathDoc.empty());
  }
}

TEST(SchemaRegisterTest, IdentifiersThatStartAtZeroRejectTheText) {
  // A catalog whose first draw failed hands out 0, 1, ... again.
  IdSource ids;
  ids.next = 0;
  EXPECT_EQ(Parse(kSmall, ids).result, -1);
}

TEST(SchemaTest, LooksNodesUpByGuidPathAndAlias) {
  auto schema = model_test::LoadSchema(kSmall);
  ASSERT_TRUE(schema);
  std::int32_t id = 0;
  schema->GetSchemaID(id);
  EXPECT_EQ(id, 7);
  CNodeInfo info;
  ASSERT_EQ(schema->GetNodeInfoByPath("/t:rec/t:when", &info), 1);
  std::int32_t guid = 0;
  info.GetNodeGUID(guid);
  short tableType = 0;
  info.GetTableType(tableType);
  EXPECT_EQ(tableType, 3);
  CNodeInfo byGuid;
  ASSERT_EQ(schema->GetNodeInfoByGUID(guid, &byGuid), 1);
  EXPECT_EQ(byGuid.Path(), "/t:rec/t:when");
  char type[16];
  EXPECT_EQ(byGuid.GetDataType(type, sizeof type), 4);
  EXPECT_STREQ(type, "date");
  ASSERT_EQ(schema->GetNodeInfoByAlias("westbc", &info), 1);
  EXPECT_EQ(info.Path(), "/t:rec/t:west");
  EXPECT_EQ(schema->GetNodeInfoByPath("/t:rec/t:nothing", &info), 0);
  const std::int32_t unknown = 5;
  EXPECT_EQ(schema->GetNodeInfoByGUID(unknown, &info), 0);
  EXPECT_EQ(schema->GetNodeInfoByGUID(guid, nullptr), 0);
  // Table types by data type.
  for (auto [path, expected] : std::vector<std::pair<const char*, short>>{{"/t:rec/t:title", 1},
                                                                          {"/t:rec/t:count", 2},
                                                                          {"/t:rec/t:stamp", 1},
                                                                          {"/t:rec/t:kw", 1},
                                                                          {"/t:rec", 1}}) {
    ASSERT_EQ(schema->GetNodeInfoByPath(path, &info), 1) << path;
    info.GetTableType(tableType);
    EXPECT_EQ(tableType, expected) << path;
  }
  // The table type alone agrees with the full information for every node.
  for (std::int32_t i = 0; i < schema->GetNodeCount(); ++i) {
    ASSERT_EQ(schema->GetNodeInfoAt(i, &info), 1);
    info.GetNodeGUID(guid);
    info.GetTableType(tableType);
    short alone = -7;
    ASSERT_EQ(schema->GetTableTypeByGUID(guid, &alone), 1) << guid;
    EXPECT_EQ(alone, tableType) << guid;
  }
  short untouched = -7;
  EXPECT_EQ(schema->GetTableTypeByGUID(unknown, &untouched), 0);
  EXPECT_EQ(untouched, -7);
  EXPECT_EQ(schema->GetTableTypeByGUID(guid, nullptr), 0);
  EXPECT_EQ(CSchema().GetTableTypeByGUID(guid, &untouched), 0);
}

TEST(SchemaTest, UnreadableNodeInformationLeavesNoLookups) {
  CSchema schema;
  EXPECT_EQ(schema.SetNodeStructList("<nodeInfo><node"), 0);
  EXPECT_EQ(schema.GetNodeCount(), 0);
  EXPECT_EQ(schema.SetNodeStructList(nullptr), 0);
}

}  // namespace

// The schema text generators: from a single-file XSD and from samples. Each
// generated text must register; the tests read the node information back.
#include <gtest/gtest.h>

#include "metashelf/schema_generators.h"
#include "model_test_support.h"

namespace {

struct Node {
  std::string type;
  short tableType = 0;
  bool repeat = false;
  std::string alias;
};

// Registers `text` and describes `path` ("" type when absent).
Node Describe(const CSchema& schema, const std::string& path) {
  Node n;
  CNodeInfo info;
  if (!schema.GetNodeInfoByPath(path.c_str(), &info)) {
    n.type = "<absent>";
    return n;
  }
  n.type = info.DataType();
  info.GetTableType(n.tableType);
  n.repeat = info.IsRepeatable();
  n.alias = info.Alias();
  return n;
}

const char* kXsd = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="doc" type="docType"/>
  <xs:complexType name="docType">
    <xs:sequence>
      <xs:element ref="title"/>
      <xs:element name="box">
        <xs:complexType>
          <xs:sequence>
            <xs:element name="west" type="lon"/>
            <xs:element name="count" type="xs:positiveInteger"/>
          </xs:sequence>
        </xs:complexType>
      </xs:element>
      <xs:choice maxOccurs="unbounded">
        <xs:element name="when" type="whenType"/>
        <xs:group ref="extra"/>
      </xs:choice>
      <xs:element ref="part" minOccurs="0"/>
      <xs:element name="size" type="sized"/>
    </xs:sequence>
    <xs:attributeGroup ref="common"/>
  </xs:complexType>
  <xs:element name="title" type="xs:string"/>
  <xs:simpleType name="lon"><xs:restriction base="xs:double"><xs:maxInclusive value="180"/></xs:restriction></xs:simpleType>
  <xs:simpleType name="whenType"><xs:union memberTypes="xs:date xs:gYear"/></xs:simpleType>
  <xs:group name="extra"><xs:sequence><xs:element name="note" type="xs:string"/></xs:sequence></xs:group>
  <xs:attributeGroup name="common"><xs:attribute name="lang" type="xs:language"/></xs:attributeGroup>
  <xs:element name="part">
    <xs:complexType><xs:sequence><xs:element ref="part" minOccurs="0"/><xs:element name="label" type="xs:token"/></xs:sequence></xs:complexType>
  </xs:element>
  <xs:complexType name="sized">
    <xs:simpleContent><xs:extension base="xs:decimal"><xs:attribute name="uom" type="xs:string" use="required"/></xs:extension></xs:simpleContent>
  </xs:complexType>
</xs:schema>)";

TEST(GeneratorsTest, XsdGivesTheElementTreeWithTypesAndRepetition) {
  SchemaGeneratorOptions options;
  options.name = "doc";
  options.aliases = {{"/doc/title", "title"}, {"/doc/box/west", "westbc"}};
  std::string text, error;
  ASSERT_GT(SchemaTextFromXsd(kXsd, options, text, error), 0) << error;
  auto schema = model_test::LoadSchema(text);
  ASSERT_TRUE(schema) << text;
  EXPECT_EQ(Describe(*schema, "/doc/title").alias, "title");
  EXPECT_EQ(Describe(*schema, "/doc/box/west").type, "double");
  EXPECT_EQ(Describe(*schema, "/doc/box/west").tableType, 2);
  EXPECT_EQ(Describe(*schema, "/doc/box/count").type, "positiveInteger");
  EXPECT_EQ(Describe(*schema, "/doc/when").type, "string");
  EXPECT_TRUE(Describe(*schema, "/doc/when").repeat);
  EXPECT_TRUE(Describe(*schema, "/doc/note").repeat);
  EXPECT_EQ(Describe(*schema, "/doc/@lang").type, "language");
  EXPECT_EQ(Describe(*schema, "/doc/size").type, "decimal");
  EXPECT_EQ(Describe(*schema, "/doc/size/@uom").type, "string");
  EXPECT_EQ(Describe(*schema, "/doc/part/label").type, "token");
  // Recursion stops at the element already open on the path.
  EXPECT_EQ(Describe(*schema, "/doc/part/part").type, "string");
  EXPECT_EQ(Describe(*schema, "/doc/part/part/label").type, "<absent>");
  EXPECT_EQ(Describe(*schema, "/doc").type, "");
}

TEST(GeneratorsTest, XsdErrorsAreReported) {
  std::string text, error;
  SchemaGeneratorOptions options;
  EXPECT_EQ(SchemaTextFromXsd("<xs:schema", options, text, error), -1);
  EXPECT_FALSE(error.empty());
  options.rootElement = "missing";
  EXPECT_EQ(SchemaTextFromXsd(kXsd, options, text, error), -1);
  EXPECT_NE(error.find("missing"), std::string::npos);
  EXPECT_TRUE(text.empty());
}

TEST(GeneratorsTest, SamplesGiveTheUnionMatchedByNamespace) {
  const std::vector<std::string> samples = {
      "<r xmlns='urn:s' xmlns:x='urn:x'><k>1</k><k>2</k><w>-1.5</w><d>2009-01-02</d>"
      "<t x:code='a'>abc</t></r>",
      "<s:r xmlns:s='urn:s'><s:k>3</s:k><s:w>4</s:w><s:d>2010-03-04</s:d><s:t>12</s:t>"
      "<s:g><s:m>one</s:m></s:g></s:r>",
  };
  SchemaGeneratorOptions options;
  options.namespaces = {{"s", "urn:s"}};
  options.types = {{"/s:r/s:t", "string"}};
  std::string text, error;
  ASSERT_GT(SchemaTextFromSamples(samples, options, text, error), 0) << error;
  auto schema = model_test::LoadSchema(text);
  ASSERT_TRUE(schema) << text;
  EXPECT_EQ(Describe(*schema, "/s:r/s:k").type, "integer");
  EXPECT_TRUE(Describe(*schema, "/s:r/s:k").repeat);
  EXPECT_EQ(Describe(*schema, "/s:r/s:w").type, "double");
  EXPECT_FALSE(Describe(*schema, "/s:r/s:w").repeat);
  EXPECT_EQ(Describe(*schema, "/s:r/s:d").type, "date");
  EXPECT_EQ(Describe(*schema, "/s:r/s:t").type, "string");
  EXPECT_EQ(Describe(*schema, "/s:r/s:t/@x:code").type, "string");
  EXPECT_EQ(Describe(*schema, "/s:r/s:g").type, "");
  EXPECT_EQ(Describe(*schema, "/s:r/s:g/s:m").type, "string");
  // Both samples decompose on the inferred schema into every value.
  for (const auto& sample : samples) {
    CBaseMetaData record(schema.get());
    ASSERT_EQ(record.LoadXml(sample.data(), sample.size()), 1);
    EXPECT_TRUE(record.Validate().empty());
  }
}

TEST(GeneratorsTest, AnUnreadableSampleIsNamed) {
  std::string text, error;
  EXPECT_EQ(SchemaTextFromSamples({"<a/>", "<a><b></a>"}, {}, text, error), -1);
  EXPECT_NE(error.find("sample 2"), std::string::npos) << error;
  EXPECT_EQ(SchemaTextFromSamples({}, {}, text, error), -1);
}

}  // namespace

// Hostile records: each gives a clear failure or a correct result, quickly,
// without expanding entities, reading anything outside the record, or
// recursing on the stack.
#include <gtest/gtest.h>

#include <chrono>

#include "model_test_support.h"

namespace {

const char* kSchema = R"(<schemaText name="h">
  <element name="r">
    <element name="v"/>
    <element name="n" type="double"/>
    <element name="d" maxOccurs="unbounded"><element name="d"/></element>
    <element name="blob"/>
  </element>
</schemaText>)";

class HostileRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schema_ = model_test::LoadSchema(kSchema);
    ASSERT_TRUE(schema_);
  }

  // Loads `xml`; when it loads, the rebuilt record must equal it.
  bool LoadsAndRoundTrips(const std::string& xml, std::string* error = nullptr) {
    CBaseMetaData record(schema_.get());
    if (record.LoadXml(xml.data(), xml.size()) != 1) {
      if (error != nullptr) *error = record.LastError();
      return false;
    }
    CBaseMetaData back(schema_.get());
    model_test::StorageTrip(record, back, *schema_);
    std::string rebuilt;
    EXPECT_EQ(back.ToXml(rebuilt), 1) << back.LastError();
    EXPECT_TRUE(rebuilt == xml);
    return true;
  }

  std::unique_ptr<CSchema> schema_;
};

TEST_F(HostileRecordTest, EntityBombsAreNeverExpanded) {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY a \"aaaaaaaaaa\">\n";
  std::string previous = "a";
  for (int i = 0; i < 12; ++i) {
    const std::string name = "e" + std::to_string(i);
    xml += "<!ENTITY " + name + " \"";
    for (int k = 0; k < 10; ++k) xml += "&" + previous + ";";
    xml += "\">\n";
    previous = name;
  }
  xml += "]>\n<r><v>&" + previous + ";</v><n>&" + previous + ";</n></r>\n";
  const auto start = std::chrono::steady_clock::now();
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << record.LastError();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  std::int32_t leaves = -1;
  record.GetLeafNodeListSize(leaves);
  EXPECT_EQ(leaves, 0);
  ASSERT_EQ(record.Validate().size(), 2u);
  EXPECT_EQ(record.Validate()[0].reason, "reference to an entity that is not expanded");
  EXPECT_TRUE(LoadsAndRoundTrips(xml));
}

TEST_F(HostileRecordTest, ExternalEntitiesAreNeverFetched) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"http://127.0.0.1:1/never.dtd\" [\n"
      "<!ENTITY xxe SYSTEM \"file:///etc/passwd\">\n<!ENTITY % p SYSTEM \"file:///etc/shadow\"> "
      "%p;\n]>\n<r><v>&xxe;</v><v a=\"]>\">x</v></r>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << record.LastError();
  // The reference stays as written; only the plain value became a leaf.
  std::int32_t leaves = 0;
  record.GetLeafNodeListSize(leaves);
  EXPECT_EQ(leaves, 1);
  ASSERT_EQ(record.Validate().size(), 1u);
  EXPECT_EQ(record.Validate()[0].value, "&xxe;");
  EXPECT_TRUE(LoadsAndRoundTrips(xml));
}

TEST_F(HostileRecordTest, DeepNestingCostsHeapNotStack) {
  for (int depth : {10000, 200000}) {
    std::string xml = "<r>";
    for (int i = 0; i < depth; ++i) xml += "<d>";
    xml += "deep";
    for (int i = 0; i < depth; ++i) xml += "</d>";
    xml += "</r>";
    EXPECT_TRUE(LoadsAndRoundTrips(xml)) << depth;
  }
  std::string unclosed = "<r>";
  for (int i = 0; i < 100000; ++i) unclosed += "<d>";
  std::string error;
  EXPECT_FALSE(LoadsAndRoundTrips(unclosed, &error));
  EXPECT_NE(error.find("unclosed"), std::string::npos) << error;
}

TEST_F(HostileRecordTest, FiftyMegabyteRecordLoadsInLinearTime) {
  std::string xml = "<?xml version=\"1.0\"?>\n<r>";
  const std::string base64(76, 'Q');
  std::string blob;
  while (blob.size() < 40u << 20) blob += base64 + "\n";
  xml += "<blob>" + blob + "</blob>";
  while (xml.size() < 50u << 20) xml += "<d><d>value &amp; more</d></d><n> 1.5 </n>";
  xml += "</r>\n";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(LoadsAndRoundTrips(xml));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(HostileRecordTest, BadBytesFailWithAClearMessage) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string("<r><v>a\0b</v></r>", 17), "not allowed"},
      {"<r><v>\xFF\xFE</v></r>", "UTF-8"},
      {"<r><v>\xED\xA0\x80</v></r>", "UTF-8"},      // a surrogate
      {"<r><v>\xC0\xAF</v></r>", "UTF-8"},          // an overlong form
      {"<r><v>\xF4\x90\x80\x80</v></r>", "UTF-8"},  // beyond U+10FFFF
      {"<r><v>&#0;</v></r>", "reference"},
      {"<r><v>&#xD800;</v></r>", "reference"},
      {std::string("\xFF\xFE<\0r\0>\0\0\xD8<\0/\0r\0>\0", 18), "surrogate"},
  };
  for (const auto& [xml, words] : cases) {
    std::string error;
    EXPECT_FALSE(LoadsAndRoundTrips(xml, &error));
    EXPECT_NE(error.find(words), std::string::npos) << error;
  }
}

TEST_F(HostileRecordTest, ManyAttributesAndDeclarationsStayCheap) {
  std::string xml = "<r";
  for (int i = 0; i < 50000; ++i) xml += " a" + std::to_string(i) + "=\"1\"";
  xml += "/>";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(LoadsAndRoundTrips(xml));
  std::string twice = "<r a=\"1\"";
  for (int i = 0; i < 5000; ++i) twice += " b" + std::to_string(i) + "=\"1\"";
  twice += " a=\"2\"/>";
  EXPECT_FALSE(LoadsAndRoundTrips(twice));
  std::string declarations = "<r";
  for (int i = 0; i < 20000; ++i) declarations += " xmlns:p" + std::to_string(i) + "=\"u\"";
  declarations += ">";
  for (int i = 0; i < 20000; ++i) declarations += "<q:v/>";
  declarations += "</r>";
  std::string error;
  EXPECT_FALSE(LoadsAndRoundTrips(declarations, &error));
  EXPECT_NE(error.find("namespace declarations"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace

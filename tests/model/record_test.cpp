// Records: decomposition into parts, positions, values that stay inline,
// the value label, and the rebuild from parts as storage gives them back.
#include <gtest/gtest.h>

#include <map>

#include "model_test_support.h"

namespace {

const char* kSchema = R"(<schemaText name="tiny">
  <namespace prefix="t" uri="urn:tiny"/>
  <element name="t:rec">
    <attribute name="version" type="string"/>
    <element name="t:title" type="string" alias="title"/>
    <element name="t:west" type="double" alias="westbc"/>
    <element name="t:count" type="integer"/>
    <element name="t:when" type="date" alias="pubdate"/>
    <element name="t:kw" maxOccurs="unbounded" alias="keyword"/>
    <element name="t:code" type="string">
      <attribute name="codeListValue" type="string"/>
    </element>
    <element name="t:group" maxOccurs="unbounded">
      <element name="t:item" maxOccurs="unbounded"/>
    </element>
  </element>
</schemaText>)";

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schema_ = model_test::LoadSchema(kSchema);
    ASSERT_TRUE(schema_);
  }

  // path -> values in leaf order, "path[position]" keys.
  std::map<std::string, std::string> Leaves(const CBaseMetaData& record) {
    std::map<std::string, std::string> out;
    std::int32_t count = 0;
    record.GetLeafNodeListSize(count);
    std::vector<CLeafNode> nodes(count);
    CSmartArray<CLeafNode*> list;
    for (auto& n : nodes) list.Add(&n);
    EXPECT_EQ(record.GetLeafNodeList(list, count), 1);
    for (const auto& n : nodes) {
      std::int32_t guid = 0, position = 0;
      n.GetNodeGUID(guid);
      n.GetNodePosition(position);
      CNodeInfo info;
      EXPECT_EQ(schema_->GetNodeInfoByGUID(guid, &info), 1);
      EXPECT_EQ(n.Tag(), std::to_string(guid) + "<" + std::to_string(position));
      out[info.Path() + "[" + std::to_string(position) + "]"] = n.Value();
    }
    return out;
  }

  std::string Structure(const CBaseMetaData& record) {
    std::int32_t size = 0;
    record.GetStructInfoSize(size);
    std::string s(size, '\0');
    EXPECT_EQ(record.GetStructInfo(s.data(), size), size);
    return s;
  }

  std::string Label(const CBaseMetaData& record) {
    std::int32_t size = 0;
    record.GetValueLabelSize(size);
    std::string s(size, '\0');
    record.GetValueLabel(s.data(), size);
    return s;
  }

  // Load, store and read back, rebuild: must give `xml` again.
  void ExpectRoundTrip(const std::string& xml, const std::string& expected) {
    CBaseMetaData record(schema_.get());
    ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << record.LastError();
    std::string direct;
    ASSERT_EQ(record.ToXml(direct), 1) << record.LastError();
    EXPECT_EQ(direct, expected);
    CBaseMetaData back(schema_.get());
    model_test::StorageTrip(record, back, *schema_);
    std::string rebuilt;
    ASSERT_EQ(back.ToXml(rebuilt), 1) << back.LastError();
    EXPECT_EQ(rebuilt, expected);
  }

  std::unique_ptr<CSchema> schema_;
};

TEST_F(RecordTest, DecomposesKnownValuesIntoLeavesWithPositions) {
  const std::string xml =
      "<?xml version=\"1.0\"?>\n<!-- before -->\n"
      "<t:rec xmlns:t=\"urn:tiny\" version=\"2\"><t:title>Roads &amp; rivers</t:title>"
      "<t:kw>a</t:kw><t:kw>b</t:kw><t:kw>c</t:kw>"
      "<t:group><t:item>x</t:item></t:group><t:group><t:item>y</t:item><t:item>z</t:item></t:group>"
      "<t:code codeListValue=\"utf8\">UTF-8</t:code><t:other>kept</t:other></t:rec>\n";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << record.LastError();
  const auto leaves = Leaves(record);
  EXPECT_EQ(leaves.at("/t:rec/@version[0]"), "2");
  EXPECT_EQ(leaves.at("/t:rec/t:title[0]"), "Roads & rivers");
  EXPECT_EQ(leaves.at("/t:rec/t:kw[0]"), "a");
  EXPECT_EQ(leaves.at("/t:rec/t:kw[2]"), "c");
  EXPECT_EQ(leaves.at("/t:rec/t:group/t:item[0]"), "x");
  EXPECT_EQ(leaves.at("/t:rec/t:group/t:item[2]"), "z");
  EXPECT_EQ(leaves.at("/t:rec/t:code/@codeListValue[0]"), "utf8");
  EXPECT_EQ(leaves.at("/t:rec/t:code[0]"), "UTF-8");
  EXPECT_EQ(leaves.size(), 10u);
  std::int32_t size = 0;
  record.GetPrologInfoSize(size);
  std::string prolog(size, '\0');
  record.GetPrologInfo(prolog.data(), size);
  EXPECT_EQ(prolog, "<?xml version=\"1.0\"?>\n<!-- before -->\n");
  const std::string structure = Structure(record);
  EXPECT_EQ(structure.find("Roads"), std::string::npos);
  EXPECT_NE(structure.find("<t:other>kept</t:other>"), std::string::npos);
  EXPECT_EQ(Label(record), "");
  ExpectRoundTrip(xml, xml);
}

TEST_F(RecordTest, MatchesNodesByNamespaceNotByPrefix) {
  const std::string prefixed = "<t:rec xmlns:t=\"urn:tiny\"><t:title>A</t:title></t:rec>";
  const std::string byDefault = "<rec xmlns=\"urn:tiny\"><title>A</title></rec>";
  const std::string otherPrefix = "<q:rec xmlns:q=\"urn:tiny\"><q:title>A</q:title></q:rec>";
  const std::string otherNamespace = "<rec xmlns=\"urn:else\"><title>A</title></rec>";
  for (const auto& xml : {prefixed, byDefault, otherPrefix}) {
    CBaseMetaData record(schema_.get());
    ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
    EXPECT_EQ(Leaves(record).at("/t:rec/t:title[0]"), "A") << xml;
    ExpectRoundTrip(xml, xml);
  }
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(otherNamespace.data(), otherNamespace.size()), 1);
  EXPECT_TRUE(Leaves(record).empty());
}

TEST_F(RecordTest, NumbersAndDatesKeepTheirBlanksInTheStructure) {
  const std::string xml =
      "<?xml version=\"1.0\"?><t:rec xmlns:t=\"urn:tiny\"><t:west>\n  13.490195\n</t:west>"
      "<t:when> 2009-07-14</t:when><t:title>  spaced \n title </t:title></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  const auto leaves = Leaves(record);
  EXPECT_EQ(leaves.at("/t:rec/t:west[0]"), "13.490195");
  EXPECT_EQ(leaves.at("/t:rec/t:when[0]"), "2009-07-14");
  EXPECT_EQ(leaves.at("/t:rec/t:title[0]"), "  spaced \n title ");
  const std::string structure = Structure(record);
  EXPECT_NE(structure.find("<t:west>\n  \x01"), std::string::npos);
  EXPECT_NE(structure.find("\x02\n</t:west>"), std::string::npos);
  ExpectRoundTrip(xml, xml);
}

TEST_F(RecordTest, NumberFormsThatStorageWouldChangeComeBackAsWritten) {
  const std::string xml =
      "<?xml version=\"1.0\"?><t:rec xmlns:t=\"urn:tiny\"><t:west>-45.50000</t:west>"
      "<t:count>+0012</t:count><t:group><t:item>i</t:item></t:group></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  EXPECT_NE(Label(record).find("-45.50000"), std::string::npos);
  ExpectRoundTrip(xml, xml);
}

TEST_F(RecordTest, ValuesTheirTableTypeCannotHoldStayInline) {
  const std::string longText(4001, 'x');
  const std::string xml =
      "<?xml version=\"1.0\"?><t:rec xmlns:t=\"urn:tiny\">"
      "<t:west>about 12</t:west><t:when>20090714</t:when>"
      "<t:when>2009-02-30</t:when><t:count>1.5</t:count>"
      "<t:title>" +
      longText + "</t:title></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  EXPECT_TRUE(Leaves(record).empty());
  const auto issues = record.Validate();
  ASSERT_EQ(issues.size(), 5u);
  EXPECT_EQ(issues[0].path, "/t:rec/t:west");
  EXPECT_EQ(issues[0].reason, "not a number");
  EXPECT_EQ(issues[1].reason, "not a YYYY-MM-DD date");
  EXPECT_EQ(issues[3].reason, "not a whole number");
  EXPECT_EQ(issues[4].reason, "text longer than 4000 bytes");
  EXPECT_NE(Structure(record).find("about 12"), std::string::npos);
  ExpectRoundTrip(xml, xml);
}

TEST_F(RecordTest, KeepsCommentsInstructionsCdataMixedContentAndDoctype) {
  const std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\r\n"
      "<?xml-stylesheet type=\"text/xsl\" href=\"fgdc.xsl\"?>\r\n"
      "<!DOCTYPE t:rec SYSTEM \"http://example.invalid/rec.dtd\" [ <!ENTITY e \"<x>\"> ]>\r\n"
      "<t:rec xmlns:t='urn:tiny'  version = 'a&apos;b' >\r\n"
      "  <t:title><![CDATA[x < y & z]]></t:title>\r\n"
      "  <t:kw>mixed <b>bold</b> tail</t:kw>\r\n"
      "  <t:kw>with <!-- note --> comment</t:kw>\r\n"
      "  <t:kw>&e;</t:kw>\r\n"
      "  <t:kw>two\r\nlines &#x41; &gt; ></t:kw>\r\n"
      "  <t:code codeListValue=\"x&#10;y\"/>\r\n"
      "</t:rec>\r\n<!-- after -->\r\n";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1) << record.LastError();
  const auto leaves = Leaves(record);
  EXPECT_EQ(leaves.at("/t:rec/t:title[0]"), "x < y & z");
  EXPECT_EQ(leaves.at("/t:rec/@version[0]"), "a'b");
  EXPECT_EQ(leaves.at("/t:rec/t:kw[3]"), "two\nlines A > >");
  EXPECT_EQ(leaves.at("/t:rec/t:code/@codeListValue[0]"), "x\ny");
  EXPECT_EQ(leaves.count("/t:rec/t:kw[0]"), 0u);
  EXPECT_EQ(leaves.count("/t:rec/t:kw[1]"), 0u);
  EXPECT_EQ(leaves.count("/t:rec/t:kw[2]"), 0u);
  ExpectRoundTrip(xml, xml);
}

TEST_F(RecordTest, ConvertsOtherEncodingsToUtf8) {
  const std::string latin1 =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t:rec xmlns:t=\"urn:tiny\">"
      "<t:title>Z\xFCrich</t:title></t:rec>";
  const std::string utf8 =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t:rec xmlns:t=\"urn:tiny\">"
      "<t:title>Z\xC3\xBCrich</t:title></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(latin1.data(), latin1.size()), 1) << record.LastError();
  EXPECT_EQ(Leaves(record).at("/t:rec/t:title[0]"), "Z\xC3\xBCrich");
  ExpectRoundTrip(latin1, utf8);

  // UTF-16 both ways, with a byte-order mark.
  for (bool big : {false, true}) {
    std::string utf16 = big ? "\xFE\xFF" : "\xFF\xFE";
    const std::string source =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?><t:rec "
        "xmlns:t=\"urn:tiny\"><t:title>Z\xFCrich \xE9</t:title></t:rec>";
    for (unsigned char c : source) {
      const char units[2] = {static_cast<char>(big ? 0 : c), static_cast<char>(big ? c : 0)};
      utf16.append(units, 2);
    }
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><t:rec xmlns:t=\"urn:tiny\"><t:title>"
        "Z\xC3\xBCrich \xC3\xA9</t:title></t:rec>";
    ExpectRoundTrip(utf16, expected);
  }
  // A UTF-8 byte-order mark is kept.
  const std::string bom = "\xEF\xBB\xBF" + utf8;
  ExpectRoundTrip(bom, bom);
}

TEST_F(RecordTest, RefusesTextThatIsNotWellFormed) {
  const std::vector<std::string> bad = {
      "",
      "no markup",
      "<t:rec xmlns:t=\"urn:tiny\"><t:title>x</t:rec>",
      "<a><b></a></b>",
      "<a x=\"1\" x=\"2\"/>",
      "<a>&broken</a>",
      "<a/><b/>",
      "<a>\x01</a>",
      std::string("<a>\0</a>", 8),
      "<a>\xC3\x28</a>",
      "<a><!-- open </a>",
      "<a x=1/>",
      "<?xml version=\"1.0\" encoding=\"EBCDIC\"?><a/>",
  };
  for (const auto& xml : bad) {
    CBaseMetaData record(schema_.get());
    EXPECT_EQ(record.LoadXml(xml.data(), xml.size()), 0) << xml;
    EXPECT_FALSE(record.LastError().empty()) << xml;
  }
}

TEST_F(RecordTest, RebuildFailsWhenALeafIsMissing) {
  const std::string xml = "<t:rec xmlns:t=\"urn:tiny\"><t:title>A</t:title></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  CBaseMetaData back(schema_.get());
  back.SetStructInfo(Structure(record).c_str());
  back.SetPrologInfo("<?xml version=\"1.0\"?>");
  EXPECT_EQ(back.UpdateSetting(), 0);
  std::string out;
  EXPECT_EQ(back.ToXml(out), 0);
  EXPECT_NE(back.LastError().find("no leaf node"), std::string::npos);
}

TEST_F(RecordTest, ReusedRecordObjectDropsTheOldValueLabel) {
  // A record with a label (CR LF line ends), then one stored without a label
  // read into the same object: the old label must not change it.
  const std::string crlf =
      "<?xml version=\"1.0\"?><t:rec xmlns:t=\"urn:tiny\">\r\n<t:title>a\r\nb</t:title></t:rec>";
  const std::string lf =
      "<?xml version=\"1.0\"?><t:rec xmlns:t=\"urn:tiny\">\n<t:title>a\nb</t:title></t:rec>";
  CBaseMetaData first(schema_.get());
  ASSERT_EQ(first.LoadXml(crlf.data(), crlf.size()), 1);
  ASSERT_FALSE(Label(first).empty());
  CBaseMetaData second(schema_.get());
  ASSERT_EQ(second.LoadXml(lf.data(), lf.size()), 1);
  ASSERT_TRUE(Label(second).empty());
  model_test::StorageTrip(second, first, *schema_);
  std::string xml;
  ASSERT_EQ(first.ToXml(xml), 1);
  EXPECT_EQ(xml, lf);
}

TEST_F(RecordTest, SizesAndCopiesFollowTheBufferRules) {
  const std::string xml = "<t:rec xmlns:t=\"urn:tiny\"><t:title>A</t:title></t:rec>";
  CBaseMetaData record(schema_.get());
  ASSERT_EQ(record.LoadXml(xml.data(), xml.size()), 1);
  std::int32_t size = 0;
  record.GetStructInfoSize(size);
  std::string buffer(size + 8, '#');
  EXPECT_EQ(record.GetStructInfo(buffer.data(), 3), 3);
  EXPECT_EQ(buffer.substr(3, 5), "#####");
  EXPECT_EQ(record.GetStructInfo(nullptr, 10), 0);
  CLeafNode leaf;
  std::int32_t n = 0;
  record.GetLeafNodeListSize(n);
  ASSERT_EQ(n, 1);
  char value[1] = {'#'};
  CSmartArray<CLeafNode*> list;
  list.Add(&leaf);
  ASSERT_EQ(record.GetLeafNodeList(list, 1), 1);
  EXPECT_EQ(leaf.GetNodeValue(value, 1), 1);
  EXPECT_EQ(value[0], 'A');
  record.SetMetaID(1234567890123LL);
  EXPECT_EQ(record.GetMetaID(), 1234567890123LL);
}

}  // namespace

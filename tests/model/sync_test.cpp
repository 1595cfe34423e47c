// Synchronisation: harvested properties written into a new record of each
// family, and into a stored record with everything else left as it was.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "model_test_support.h"

namespace {

using model_test::ReadFile;
using model_test::SourceDir;

std::unique_ptr<CSchema> Shipped(const char* file) {
  return model_test::LoadSchema(ReadFile(SourceDir() + "/data/schemas/" + file));
}

void Fill(CMetadataSync& sync) {
  sync.SetProperty("title", "Rivers & lakes");
  sync.SetProperty("abstract", "Water bodies.");
  sync.SetProperty("westbc", "-105.5");
  sync.SetProperty("eastbc", "-104.25");
  sync.SetProperty("southbc", "39");
  sync.SetProperty("northbc", "40.125");
  sync.SetProperty("begdate", "2001-02-03");
  sync.AddKeyword("hydrography");
  sync.AddKeyword("lakes");
}

// Leaf values by schema path, in leaf order.
std::multimap<std::string, std::string> Values(const CBaseMetaData& record, const CSchema& schema) {
  std::multimap<std::string, std::string> out;
  std::int32_t n = 0;
  record.GetLeafNodeListSize(n);
  std::vector<CLeafNode> nodes(n);
  CSmartArray<CLeafNode*> list;
  for (auto& x : nodes) list.Add(&x);
  record.GetLeafNodeList(list, n);
  for (const auto& x : nodes) {
    std::int32_t guid = 0;
    x.GetNodeGUID(guid);
    CNodeInfo info;
    schema.GetNodeInfoByGUID(guid, &info);
    out.emplace(info.Alias().empty() ? info.Path() : info.Alias(), x.Value());
  }
  return out;
}

TEST(SyncTest, CreatesAFgdcRecordWithThePropertiesInPlace) {
  auto schema = Shipped("fgdc.xml");
  ASSERT_TRUE(schema);
  CMetadataSync sync;
  Fill(sync);
  CSynchronizer synchronizer(&sync, schema.get(), 1);
  CBaseMetaData record(schema.get());
  ASSERT_EQ(synchronizer.CreateSynchronizer(record), 1) << record.LastError();
  const auto v = Values(record, *schema);
  EXPECT_EQ(v.find("title")->second, "Rivers & lakes");
  EXPECT_EQ(v.find("westbc")->second, "-105.5");
  EXPECT_EQ(v.find("northbc")->second, "40.125");
  EXPECT_EQ(v.count("keyword"), 2u);
  std::string xml;
  ASSERT_EQ(record.ToXml(xml), 1);
  // Elements in the standard's order: the thesaurus before its keys, the
  // citation before the description.
  EXPECT_LT(xml.find("<themekt>None</themekt>"), xml.find("<themekey>hydrography</themekey>"));
  EXPECT_LT(xml.find("<citation>"), xml.find("<descript>"));
  EXPECT_TRUE(record.Validate().empty());
}

TEST(SyncTest, CreatesAnIsoRecordWithThePropertiesInPlace) {
  auto schema = Shipped("iso19139.xml");
  ASSERT_TRUE(schema);
  CMetadataSync sync;
  Fill(sync);
  sync.SetProperty("pubdate", "2010-05-06");
  CSynchronizer synchronizer(&sync, schema.get(), 2);
  CBaseMetaData record(schema.get());
  ASSERT_EQ(synchronizer.CreateSynchronizer(record), 1) << record.LastError();
  const auto v = Values(record, *schema);
  EXPECT_EQ(v.find("title")->second, "Rivers & lakes");
  EXPECT_EQ(v.find("eastbc")->second, "-104.25");
  EXPECT_EQ(v.find("pubdate")->second, "2010-05-06");
  EXPECT_EQ(v.find("begdate")->second, "2001-02-03");
  EXPECT_EQ(v.count("keyword"), 2u);
  std::string xml;
  ASSERT_EQ(record.ToXml(xml), 1);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(xml.c_str()));
  EXPECT_EQ(doc.select_nodes("//gmd:keyword").size(), 2u);
  EXPECT_STREQ(doc.select_node("//gmd:CI_DateTypeCode").node().attribute("codeListValue").value(),
               "publication");
}

TEST(SyncTest, UpdatesAStoredRecordLeavingEverythingElse) {
  auto schema = Shipped("iso19139.xml");
  ASSERT_TRUE(schema);
  // gmd as the default namespace: new elements must use it too.
  const std::string stored =
      "<?xml version=\"1.0\"?>\n<!-- kept -->\n"
      "<MD_Metadata xmlns=\"http://www.isotc211.org/2005/gmd\" "
      "xmlns:gco=\"http://www.isotc211.org/2005/gco\">\n"
      "  <fileIdentifier><gco:CharacterString>abc</gco:CharacterString></fileIdentifier>\n"
      "  <identificationInfo><MD_DataIdentification><citation><CI_Citation>"
      "<title><gco:CharacterString>Old title</gco:CharacterString></title>"
      "</CI_Citation></citation>"
      "<descriptiveKeywords><MD_Keywords><keyword><gco:CharacterString>lakes"
      "</gco:CharacterString></keyword></MD_Keywords></descriptiveKeywords>"
      "</MD_DataIdentification></identificationInfo>\n</MD_Metadata>\n";
  CBaseMetaData record(schema.get());
  ASSERT_EQ(record.LoadXml(stored.data(), stored.size()), 1);
  CBaseMetaData back(schema.get());
  model_test::StorageTrip(record, back, *schema);

  CMetadataSync sync;
  sync.SetProperty("title", "New title");
  sync.SetProperty("westbc", "12.5");
  sync.AddKeyword("lakes");
  sync.AddKeyword("rivers");
  CSynchronizer synchronizer(&sync, schema.get(), 2);
  CBaseMetaData updated(schema.get());
  ASSERT_EQ(synchronizer.UpdateSynchronizer(back, updated), 1) << updated.LastError();
  EXPECT_EQ(updated.GetMetaID(), 42);
  std::string xml;
  ASSERT_EQ(updated.ToXml(xml), 1);
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?>\n<!-- kept -->\n", 0), 0u);
  EXPECT_NE(xml.find("<fileIdentifier><gco:CharacterString>abc</gco:CharacterString>"
                     "</fileIdentifier>"),
            std::string::npos);
  EXPECT_NE(xml.find("<title><gco:CharacterString>New title</gco:CharacterString></title>"),
            std::string::npos);
  EXPECT_EQ(xml.find("Old title"), std::string::npos);
  EXPECT_EQ(xml.find("gmd:"), std::string::npos) << xml;
  const auto v = Values(updated, *schema);
  EXPECT_EQ(v.find("westbc")->second, "12.5");
  EXPECT_EQ(v.count("keyword"), 2u);
}

TEST(SyncTest, MapsThroughTheSchemasNodeToElementMap) {
  auto schema = model_test::LoadSchema(R"(<schemaText name="local">
    <element name="record">
      <element name="name" alias="title"/>
      <element name="box"><element name="w" type="double"/><element name="e" type="double"/></element>
      <element name="tag" maxOccurs="unbounded"/>
    </element></schemaText>)");
  ASSERT_TRUE(schema);
  CMetadataSync sync;
  Fill(sync);
  {
    // The default map maps nothing: a record of the bare root.
    CSynchronizer synchronizer(&sync, schema.get(), 3);
    CBaseMetaData record(schema.get());
    ASSERT_EQ(synchronizer.CreateSynchronizer(record), 1);
    std::int32_t n = -1;
    record.GetLeafNodeListSize(n);
    EXPECT_EQ(n, 0);
    std::string xml;
    record.ToXml(xml);
    EXPECT_NE(xml.find("<record></record>"), std::string::npos);
  }
  schema->SetN2EMAPList(
      "<N2EMAP><map property='title' path='/record/name'/><map property='westbc' "
      "path='/record/box/w'/><map property='keyword' path='/record/tag'/></N2EMAP>");
  CSynchronizer synchronizer(&sync, schema.get(), 3);
  CBaseMetaData record(schema.get());
  ASSERT_EQ(synchronizer.CreateSynchronizer(record), 1);
  std::string xml;
  record.ToXml(xml);
  EXPECT_NE(xml.find("<record><name>Rivers &amp; lakes</name><box><w>-105.5</w></box>"
                     "<tag>hydrography</tag><tag>lakes</tag></record>"),
            std::string::npos)
      << xml;
  schema->SetN2EMAPList("<not a map");
  CBaseMetaData broken(schema.get());
  EXPECT_EQ(CSynchronizer(&sync, schema.get(), 3).CreateSynchronizer(broken), 0);
}

}  // namespace

// The shipped schema texts: both register (GUIDs from blocks), carry the
// search aliases with the right types, and are what the generators make of
// their sources (the FGDC XSD grown by the FGDC records of the corpus; the
// ISO sample records plus the core sample, grown by the same records).
// Run with METASHELF_WRITE_SCHEMAS=1 (scripts/derive-shipped-schemas.sh)
// to write them anew.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "metashelf/schema_generators.h"
#include "model_test_support.h"
#include "standard_paths.h"

namespace {

namespace paths = metashelf::model::paths;
using model_test::CorpusDir;
using model_test::ReadFile;
using model_test::SourceDir;

SchemaGeneratorOptions FgdcOptions() {
  SchemaGeneratorOptions o;
  o.name = "FGDC CSDGM";
  const std::string cite = paths::FgdcCitation();
  const std::string box = paths::FgdcBoundingBox();
  const std::string range = paths::FgdcDateRange();
  o.aliases = {{cite + "title", "title"},
               {cite + "origin", "origin"},
               {cite + "pubdate", "pubdate"},
               {cite + "onlink", "onlink"},
               {"/metadata/idinfo/descript/abstract", "abstract"},
               {"/metadata/idinfo/descript/purpose", "purpose"},
               {"/metadata/idinfo/keywords/theme/themekey", "keyword"},
               {"/metadata/idinfo/keywords/place/placekey", "placekey"},
               {box + "westbc", "westbc"},
               {box + "eastbc", "eastbc"},
               {box + "southbc", "southbc"},
               {box + "northbc", "northbc"},
               {range + "begdate", "begdate"},
               {range + "enddate", "enddate"},
               {"/metadata/idinfo/timeperd/timeinfo/sngdate/caldate", "caldate"},
               {cite + "geoform", "type"},
               {"/metadata/metainfo/metd", "modified"}};
  return o;
}

SchemaGeneratorOptions IsoOptions() {
  SchemaGeneratorOptions o;
  o.name = "ISO 19115/19139";
  o.namespaces = {{"gmd", "http://www.isotc211.org/2005/gmd"},
                  {"gco", "http://www.isotc211.org/2005/gco"},
                  {"gml", "http://www.opengis.net/gml"},
                  {"gml32", "http://www.opengis.net/gml/3.2"},
                  {"xlink", "http://www.w3.org/1999/xlink"},
                  {"xsi", "http://www.w3.org/2001/XMLSchema-instance"},
                  {"srv", "http://www.isotc211.org/2005/srv"},
                  {"gmx", "http://www.isotc211.org/2005/gmx"},
                  {"gts", "http://www.isotc211.org/2005/gts"},
                  {"gsr", "http://www.isotc211.org/2005/gsr"},
                  {"gss", "http://www.isotc211.org/2005/gss"},
                  {"gmi", "http://www.isotc211.org/2005/gmi"}};
  const std::string id = paths::IsoIdentification();
  const std::string cite = paths::IsoCitation();
  const std::string box = paths::IsoBoundingBox();
  const std::string period = paths::IsoTimePeriod();
  o.aliases = {
      {cite + "gmd:title/gco:CharacterString", "title"},
      {cite + "gmd:date/gmd:CI_Date/gmd:date/gco:Date", "pubdate"},
      {id + "gmd:abstract/gco:CharacterString", "abstract"},
      {id + "gmd:purpose/gco:CharacterString", "purpose"},
      {id + "gmd:descriptiveKeywords/gmd:MD_Keywords/gmd:keyword/gco:CharacterString", "keyword"},
      {box + "gmd:westBoundLongitude/gco:Decimal", "westbc"},
      {box + "gmd:eastBoundLongitude/gco:Decimal", "eastbc"},
      {box + "gmd:southBoundLatitude/gco:Decimal", "southbc"},
      {box + "gmd:northBoundLatitude/gco:Decimal", "northbc"},
      {period + "gml:beginPosition", "begdate"},
      {period + "gml:endPosition", "enddate"},
      {"/gmd:MD_Metadata/gmd:fileIdentifier/gco:CharacterString", "fileid"},
      {"/gmd:MD_Metadata/gmd:hierarchyLevel/gmd:MD_ScopeCode/@codeListValue", "type"},
      {"/gmd:MD_Metadata/gmd:dateStamp/gco:Date", "modified"},
      {"/gmd:MD_Metadata/gmd:dateStamp/gco:DateTime", "modifiedtime"},
      {"/gmd:MD_Metadata/gmd:distributionInfo/gmd:MD_Distribution/gmd:transferOptions/"
       "gmd:MD_DigitalTransferOptions/gmd:onLine/gmd:CI_OnlineResource/gmd:linkage/gmd:URL",
       "onlink"},
  };
  // The value types ISO 19139 wraps values in decide the data types; codes,
  // identifiers and names are text whatever the samples hold.
  o.types = {{"gco:CharacterString", "string"},
             {"gco:Decimal", "decimal"},
             {"gco:Real", "double"},
             {"gco:Integer", "integer"},
             {"gco:Date", "date"},
             {"gco:DateTime", "dateTime"},
             {"gco:Boolean", "boolean"},
             {"gmd:URL", "anyURI"},
             {"gco:Distance", "double"},
             {"gco:Measure", "double"},
             {"gco:Scale", "double"},
             {"gco:Angle", "double"},
             {"gco:Length", "double"},
             {"gml:beginPosition", "string"},
             {"gml:endPosition", "string"},
             {"gml:timePosition", "string"},
             {"gco:UnlimitedInteger", "string"}};
  for (const char* attribute :
       {"@codeList", "@codeListValue", "@codeSpace", "@id", "@gml:id", "@uuid", "@uuidref",
        "@xlink:href", "@xlink:title", "@gco:nilReason", "@uom", "@xsi:schemaLocation", "@isoType"})
    o.types.emplace_back(attribute, "string");
  return o;
}

void Check(const std::string& file, const std::string& generated) {
  const std::string path = SourceDir() + "/data/schemas/" + file;
  const char* write = std::getenv("METASHELF_WRITE_SCHEMAS");
  if (write != nullptr && std::string(write) == "1") {
    std::ofstream(path, std::ios::binary) << generated;
  }
  EXPECT_TRUE(ReadFile(path) == generated)
      << file << " differs from what the generator makes of its sources";
}

// The standard's tree grown by what the records of the corpus hold (the
// ESRI profile, ArcGIS elements, deeper forms of the standard's own), as
// 'schema from-samples --extend' grows a registered schema.
std::string Grown(const std::string& base, const std::string& folder,
                  const SchemaGeneratorOptions& options) {
  auto schema = model_test::LoadSchema(base);
  EXPECT_TRUE(schema) << "the base of " << folder << " does not register";
  if (!schema) return "";
  std::vector<std::string> samples;
  for (const auto& f : model_test::XmlFilesIn(CorpusDir() + "/" + folder))
    samples.push_back(ReadFile(f));
  std::string text, error;
  SchemaGeneratorReport report;
  EXPECT_GT(SchemaTextExtending(*schema, samples, options, text, error, report), 300) << error;
  EXPECT_TRUE(report.skippedRoots.empty()) << folder << ": " << report.skippedRoots.front();
  return text;
}

TEST(ShippedSchemasTest, FgdcIsTheXsdsElementSetGrownByTheCorpus) {
  const std::string xsd =
      ReadFile(CorpusDir() + "/xsd/pymdwizard__fgdc-std-001-1998-annotated.xsd");
  if (xsd.empty()) GTEST_SKIP() << "the FGDC XSD of the corpus is absent";
  std::string text, error;
  const auto count = SchemaTextFromXsd(xsd, FgdcOptions(), text, error);
  ASSERT_GT(count, 300) << error;
  Check("fgdc.xml", Grown(text, "fgdc", FgdcOptions()));
}

TEST(ShippedSchemasTest, IsoCoversEveryCorpusPathAndTheCore) {
  const auto files = model_test::XmlFilesIn(CorpusDir() + "/iso19139");
  if (files.empty()) GTEST_SKIP() << "the ISO records of the corpus are absent";
  std::vector<std::string> samples;
  for (const auto& f : files) samples.push_back(ReadFile(f));
  samples.push_back(ReadFile(SourceDir() + "/data/schemas/sources/iso19139-core.xml"));
  std::string text, error;
  const auto count = SchemaTextFromSamples(samples, IsoOptions(), text, error);
  ASSERT_GT(count, 300) << error;
  Check("iso19139.xml", Grown(text, "iso19139", IsoOptions()));
}

TEST(ShippedSchemasTest, BothRegisterWithSearchAliasesAndNumberBounds) {
  for (const char* file : {"fgdc.xml", "iso19139.xml"}) {
    model_test::IdSource ids;
    auto schema = model_test::LoadSchema(ReadFile(SourceDir() + "/data/schemas/" + file), &ids);
    ASSERT_TRUE(schema) << file;
    EXPECT_GT(ids.requested.size(), 1u) << file << ": identifiers are drawn in blocks";
    for (const char* alias : {"title", "abstract", "keyword", "westbc", "eastbc", "southbc",
                              "northbc", "begdate", "enddate", "pubdate", "type", "modified"}) {
      CNodeInfo info;
      ASSERT_EQ(schema->GetNodeInfoByAlias(alias, &info), 1) << file << " " << alias;
      short tableType = 0;
      info.GetTableType(tableType);
      const std::string a = alias;
      if (a.size() == 6 && a.substr(4) == "bc") {
        EXPECT_EQ(tableType, 2) << file << " " << alias;
      } else if (a == "title" || a == "abstract" || a == "keyword" || a == "type") {
        EXPECT_EQ(tableType, 1) << file << " " << alias;
      }
    }
  }
}

}  // namespace

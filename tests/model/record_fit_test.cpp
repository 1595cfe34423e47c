// How a record fits its schema: a root the schema does not have, values
// under paths it does not know (counted by path, with the schema's prefixes)
// and what the alias guesser and the schema grower make of samples.
#include <gtest/gtest.h>

#include <cstring>

#include "metashelf/schema_generators.h"
#include "model_test_support.h"

namespace {

const char* kSchema = R"(<schemaText name="t">
  <namespace prefix="a" uri="urn:a" />
  <element name="a:doc">
    <attribute name="id" type="string" />
    <element name="a:title" type="string" alias="title" />
    <element name="a:box"><element name="a:west" type="double" /></element>
  </element>
</schemaText>)";

struct FitCase {
  const char* name;
  const char* record;
  bool rootKnown;
  std::string root;
  std::string rootUri;
  std::int32_t leaves;
  // Unplaced paths with their value counts, in the order first met.
  std::vector<std::pair<std::string, std::int32_t>> unplaced;
};

TEST(RecordFitTest, RootsAndUnplacedValuesAreReported) {
  auto schema = model_test::LoadSchema(kSchema);
  ASSERT_TRUE(schema);
  const std::vector<FitCase> cases = {
      {"all placed",
       R"(<doc xmlns="urn:a" id="1"><title>T</title><box><west>2</west></box></doc>)",
       true,
       "doc",
       "urn:a",
       3,
       {}},
      {"unknown block, prefix of the schema",
       R"(<x:doc xmlns:x="urn:a"><x:title>T</x:title><x:ext k="v"><x:n>1</x:n><x:n>2</x:n>)"
       R"(<x:m>  </x:m></x:ext></x:doc>)",
       true,
       "x:doc",
       "urn:a",
       1,
       {{"/a:doc/a:ext/@k", 1}, {"/a:doc/a:ext/a:n", 2}}},
      {"foreign namespace keeps its prefix, unknown attribute of a known node",
       R"(<doc xmlns="urn:a" xmlns:e="urn:e" e:lang="en"><e:x>v</e:x></doc>)",
       true,
       "doc",
       "urn:a",
       0,
       {{"/a:doc/@e:lang", 1}, {"/a:doc/e:x", 1}}},
      {"text of a compound node",
       R"(<doc xmlns="urn:a"><box>loose</box></doc>)",
       true,
       "doc",
       "urn:a",
       0,
       {{"/a:doc/a:box", 1}}},
      {"root of another standard",
       R"(<gmd:MD_Metadata xmlns:gmd="urn:gmd"><gmd:t>v</gmd:t></gmd:MD_Metadata>)",
       false,
       "gmd:MD_Metadata",
       "urn:gmd",
       0,
       {{"/gmd:MD_Metadata/gmd:t", 1}}},
      {"right name, no namespace",
       R"(<doc><title>T</title></doc>)",
       false,
       "doc",
       "",
       0,
       {{"/doc/title", 1}}},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    CBaseMetaData record(schema.get());
    ASSERT_EQ(record.LoadXml(c.record, std::strlen(c.record)), 1) << record.LastError();
    const RecordFit fit = record.Fit();
    EXPECT_EQ(fit.rootKnown, c.rootKnown);
    EXPECT_EQ(fit.root, c.root);
    EXPECT_EQ(fit.rootUri, c.rootUri);
    std::int32_t leaves = -1;
    record.GetLeafNodeListSize(leaves);
    EXPECT_EQ(leaves, c.leaves);
    EXPECT_EQ(fit.unplaced, c.unplaced);
    std::int32_t total = 0;
    for (const auto& p : c.unplaced) total += p.second;
    EXPECT_EQ(fit.unplacedValues, total);
    // Unplaced or not, the record comes back whole.
    std::string back;
    ASSERT_EQ(record.ToXml(back), 1);
    EXPECT_NE(back.find(c.record), std::string::npos) << back;
  }
}

TEST(RecordFitTest, GrownSchemaPlacesEveryValueAndKeepsAliases) {
  auto schema = model_test::LoadSchema(kSchema);
  ASSERT_TRUE(schema);
  const std::vector<std::string> samples = {
      R"(<doc xmlns="urn:a" xmlns:e="urn:e" e:lang="en"><title>T</title><box><west>2</west>)"
      R"(<east>3.5</east></box><e:x>v</e:x><ext><n>1</n><n>2</n></ext></doc>)",
      R"(<other><v>1</v></other>)"};
  SchemaGeneratorOptions options;
  options.name = "grown";
  options.guessAliases = true;
  std::string text, error;
  SchemaGeneratorReport report;
  ASSERT_GT(SchemaTextExtending(*schema, samples, options, text, error, report), 0) << error;
  EXPECT_EQ(report.skippedRoots, std::vector<std::string>{"other"});
  // title was kept; the bounds were guessed from their names.
  const std::vector<std::pair<std::string, std::string>> guessed = {
      {"/a:doc/a:box/a:west", "westbc"}, {"/a:doc/a:box/a:east", "eastbc"}};
  EXPECT_EQ(report.guessedAliases, guessed);
  auto grown = model_test::LoadSchema(text);
  ASSERT_TRUE(grown) << text;
  CBaseMetaData record(grown.get());
  ASSERT_EQ(record.LoadXml(samples[0].data(), samples[0].size()), 1);
  EXPECT_EQ(record.Fit().unplacedValues, 0) << text;
  std::int32_t leaves = 0;
  record.GetLeafNodeListSize(leaves);
  EXPECT_EQ(leaves, 7);
  const struct {
    const char* path;
    const char* type;
    const char* alias;
    bool repeat;
  } nodes[] = {{"/a:doc/a:title", "string", "title", false},
               {"/a:doc/a:box/a:west", "double", "westbc", false},
               {"/a:doc/a:box/a:east", "double", "eastbc", false},
               {"/a:doc/a:ext/a:n", "integer", "", true},
               {"/a:doc/@e:lang", "string", "", false}};
  for (const auto& n : nodes) {
    SCOPED_TRACE(n.path);
    CNodeInfo info;
    ASSERT_EQ(grown->GetNodeInfoByPath(n.path, &info), 1) << text;
    EXPECT_EQ(info.DataType(), n.type);
    EXPECT_EQ(info.Alias(), n.alias);
    EXPECT_EQ(info.IsRepeatable(), n.repeat);
  }
}

}  // namespace

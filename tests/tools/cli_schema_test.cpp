// Schema commands of the built tool on SQLite: the shipped schemas by name,
// their nodes, and schema texts generated from sample records and from an
// XML Schema that register and take records.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"

namespace fs = std::filesystem;

namespace {

const std::string kSource = METASHELF_SOURCE_DIR;

class CliSchemaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/metashelf-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(Run({"init"}).status, 0);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", "sqlite:" + dir_ + "/schema.db", "--quiet"});
    return RunCli(args, dir_);
  }
  std::string dir_;
};

TEST_F(CliSchemaTest, ShippedSchemasAreKnownByNameAndShowTheirNodes) {
  CliResult r = Run({"schema", "add", "fgdc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("'KORVEN_FGDC'"), std::string::npos) << r.out;
  ASSERT_EQ(Run({"schema", "add", "ISO"}).status, 0);
  r = Run({"schema", "add", "fgdc"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;

  r = Run({"schema", "list"});
  EXPECT_NE(r.out.find("KORVEN_FGDC (fgdc)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("KORVEN_ISO (iso19139)"), std::string::npos) << r.out;

  // Both the short and the registered name reach the schema.
  for (const char* name : {"fgdc", "KORVEN_FGDC"}) {
    r = Run({"schema", "show", name});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\tnumber\twestbc\t/metadata/idinfo/spdom/bounding/westbc\n"),
              std::string::npos)
        << r.out.substr(0, 400);
    EXPECT_NE(r.out.find("\ttext\ttitle\t/metadata/idinfo/citation/citeinfo/title\n"),
              std::string::npos);
  }
  ASSERT_EQ(Run({"schema", "rm", "iso19139"}).status, 0);
  EXPECT_EQ(Run({"schema", "list"}).out.find("KORVEN_ISO"), std::string::npos);
}

TEST_F(CliSchemaTest, GeneratedFromSamplesRegistersAndTakesTheSamples) {
  CliResult r = Run({"schema", "from-samples", kSource + "/data/samples/fgdc", "--name", "mine",
                     "--alias", "/metadata/idinfo/citation/citeinfo/title=title"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::ofstream(dir_ + "/mine.xml") << r.out;
  ASSERT_EQ(Run({"schema", "add", "mine", "mine.xml"}).status, 0);
  ASSERT_EQ(Run({"collection", "create", "m", "--schema", "mine"}).status, 0);
  r = Run({"import", "m", kSource + "/data/samples/fgdc"});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  r = Run({"search", "m", "title like Lake"});
  EXPECT_NE(r.out.find("Bathymetry of Lake Champlain"), std::string::npos) << r.out << r.err;

  r = Run({"schema", "from-samples", dir_ + "/nothing-here"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing-here: no such file or folder"), std::string::npos) << r.err;
  r = Run({"schema", "from-samples", kSource + "/data/samples/fgdc", "--alias", "broken"});
  EXPECT_EQ(r.status, 2);
}

// Without --alias, the title and the bounds are guessed from the element
// names and said; the records then list with titles and map with boxes.
TEST_F(CliSchemaTest, GeneratedFromSamplesGuessesTitleAndBoxForAnyStandard) {
  const struct {
    const char* folder;
    std::string title, west;
  } cases[] = {
      {"fgdc", "/metadata/idinfo/citation/citeinfo/title",
       "/metadata/idinfo/spdom/bounding/westbc"},
      {"iso19139",
       "/gmd:MD_Metadata/gmd:identificationInfo/gmd:MD_DataIdentification/gmd:citation/"
       "gmd:CI_Citation/gmd:title/gco:CharacterString",
       "/gmd:MD_Metadata/gmd:identificationInfo/gmd:MD_DataIdentification/gmd:extent/"
       "gmd:EX_Extent/gmd:geographicElement/gmd:EX_GeographicBoundingBox/"
       "gmd:westBoundLongitude/gco:Decimal"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::string samples = kSource + "/data/samples/" + c.folder;
    CliResult r = Run({"schema", "from-samples", samples, "--name", c.folder});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& guess : {"guessed alias 'title' for " + c.title + " ",
                                     "guessed alias 'westbc' for " + c.west + " "}) {
      EXPECT_NE(r.err.find(guess), std::string::npos) << guess << "\n" << r.err;
    }
    for (const char* alias : {"'eastbc'", "'southbc'", "'northbc'"})
      EXPECT_NE(r.err.find(alias), std::string::npos) << alias << "\n" << r.err;
    const std::string name = std::string("guessed_") + c.folder;
    std::ofstream(dir_ + "/" + name + ".xml") << r.out;
    ASSERT_EQ(Run({"schema", "add", name, name + ".xml"}).status, 0);
    ASSERT_EQ(Run({"collection", "create", name, "--schema", name}).status, 0);
    ASSERT_EQ(Run({"import", name, samples}).status, 0);
    r = Run({"list", name});
    std::size_t titled = 0, rows = 0;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      ++rows;
      titled += line.back() != '\t';
    }
    EXPECT_GT(rows, 3u) << r.out;
    EXPECT_EQ(titled, rows) << r.out;
    r = Run({"map", name, "-o", name + ".svg"});
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

TEST_F(CliSchemaTest, GeneratedFromTheFgdcXsdRegisters) {
  const std::string xsd =
      std::string(METASHELF_CORPUS_DIR) + "/xsd/pymdwizard__fgdc-std-001-1998-annotated.xsd";
  if (!fs::exists(xsd)) GTEST_SKIP() << "corpus XSD not found at " << xsd;
  CliResult r = Run({"schema", "from-xsd", xsd, "--root", "metadata"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::ofstream(dir_ + "/fromxsd.xml") << r.out;
  r = Run({"schema", "add", "fromxsd", "fromxsd.xml"});
  EXPECT_EQ(r.status, 0) << r.err;

  std::ofstream(dir_ + "/not.xsd") << "<xs:schema";
  r = Run({"schema", "from-xsd", "not.xsd"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("not.xsd: "), std::string::npos) << r.err;
}

}  // namespace

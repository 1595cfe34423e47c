// Every record of the corpus, decomposed on the shipped schema of its
// standard, stored (values through the value tables) and rebuilt, equals
// the original: byte for byte after the record's conversion to UTF-8. And
// the shipped schemas know the records: at least 99% of their non-blank
// values become searchable leaves.
#include <gtest/gtest.h>

#include <cstdio>

#include "../../platform/model/src/text_codec.h"
#include "model_test_support.h"

namespace {

struct Standard {
  const char* folder;
  const char* schemaFile;
};

class CorpusRoundTripTest : public ::testing::TestWithParam<Standard> {};

// The record as stored: UTF-8, the declaration naming UTF-8 when the record
// was converted.
std::string Expected(const std::string& bytes) {
  metashelf::model::DecodedText text;
  std::string error;
  if (!metashelf::model::DecodeRecordBytes(bytes.data(), bytes.size(), text, error)) return "";
  std::string out(text.text);
  if (!text.encoding.empty()) {
    const auto at = out.find(text.encoding);
    if (at != std::string::npos && at < out.find("?>"))
      out.replace(at, text.encoding.size(), "UTF-8");
  }
  if (text.utf8Bom) out = "\xEF\xBB\xBF" + out;
  return out;
}

TEST_P(CorpusRoundTripTest, EveryRecordComesBackUnchanged) {
  const std::string dir = model_test::CorpusDir() + "/" + GetParam().folder;
  const auto files = model_test::XmlFilesIn(dir);
  if (files.empty()) GTEST_SKIP() << "corpus folder " << dir << " is absent";
  const std::string schemaText =
      model_test::ReadFile(model_test::SourceDir() + "/data/schemas/" + GetParam().schemaFile);
  auto schema = model_test::LoadSchema(schemaText);
  ASSERT_TRUE(schema) << GetParam().schemaFile << " does not register";
  std::size_t leaves = 0;
  std::size_t inline_values = 0;
  std::size_t unplaced = 0;
  for (const auto& file : files) {
    const std::string bytes = model_test::ReadFile(file);
    CBaseMetaData record(schema.get());
    ASSERT_EQ(record.LoadXml(bytes.data(), bytes.size()), 1) << file << ": " << record.LastError();
    std::int32_t n = 0;
    record.GetLeafNodeListSize(n);
    leaves += n;
    inline_values += record.Validate().size();
    const RecordFit fit = record.Fit();
    EXPECT_TRUE(fit.rootKnown) << file << ": root " << fit.root;
    unplaced += static_cast<std::size_t>(fit.unplacedValues);
    CBaseMetaData back(schema.get());
    model_test::StorageTrip(record, back, *schema);
    std::string rebuilt;
    ASSERT_EQ(back.ToXml(rebuilt), 1) << file << ": " << back.LastError();
    const std::string expected = Expected(bytes);
    ASSERT_EQ(rebuilt.size(), expected.size()) << file;
    ASSERT_TRUE(rebuilt == expected) << file;
  }
  const std::size_t values = leaves + inline_values + unplaced;
  const double coverage = values == 0 ? 0.0 : static_cast<double>(leaves) / values;
  std::printf(
      "%s: %zu of %zu values searchable (%.2f%%): %zu kept inline, %zu under paths "
      "the schema does not know\n",
      GetParam().schemaFile, leaves, values, 100.0 * coverage, inline_values, unplaced);
  EXPECT_GE(coverage, 0.99) << "leaves " << leaves << ", inline " << inline_values << ", unplaced "
                            << unplaced;
  RecordProperty("leaves", static_cast<int>(leaves));
  RecordProperty("inline", static_cast<int>(inline_values));
  RecordProperty("unplaced", static_cast<int>(unplaced));
}

INSTANTIATE_TEST_SUITE_P(Standards, CorpusRoundTripTest,
                         ::testing::Values(Standard{"fgdc", "fgdc.xml"},
                                           Standard{"iso19139", "iso19139.xml"}),
                         [](const auto& info) {
                           return std::string(info.param.schemaFile).substr(0, 4);
                         });

}  // namespace

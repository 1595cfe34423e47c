// Under a comma-decimal locale, as GUI hosts set one, decimal numbers are
// stored, read back and searched exactly as under the C locale.
#include <clocale>
#include <string>
#include <vector>

#include "dataset/real_set.h"

using settest::RealSetTest;

namespace {

// Sets the process locale for one test and puts the previous one back.
class LocaleScope {
 public:
  explicit LocaleScope(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~LocaleScope() { std::setlocale(LC_ALL, previous_.c_str()); }
  bool ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

TEST_P(RealSetTest, CommaDecimalLocaleKeepsNumbersAndSearches) {
  LocaleScope german("de_DE.UTF-8");
  if (!german.ok()) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/install-deps.sh generates it)";
  }
  const char xml[] =
      "<?xml version=\"1.0\"?>\n<metadata><idinfo><citation><citeinfo>"
      "<title>Comma locale</title></citeinfo></citation>"
      "<spdom><bounding><westbc>-105.694</westbc><eastbc>13.490195</eastbc>"
      "<northbc>45.5</northbc><southbc>1e-7</southbc></bounding></spdom>"
      "</idinfo></metadata>";
  CBaseMetaData record(schema);
  ASSERT_EQ(record.LoadXml(xml, sizeof xml - 1), 1) << record.LastError();
  const std::int64_t id = set.AddMetaData(&record);
  ASSERT_GT(id, 0);
  CBaseMetaData back(schema);
  ASSERT_EQ(set.GetMetaData(id, &back), 1);
  const std::string text = Xml(back);
  EXPECT_EQ(text, Xml(record));
  EXPECT_NE(text.find("<westbc>-105.694</westbc>"), std::string::npos) << text;
  EXPECT_EQ(Count("SELECT COUNT(*) FROM " + Table("META_NDNUMBER_") +
                  " WHERE NODEVALUE=-105.694 OR NODEVALUE=13.490195 OR NODEVALUE=45.5"),
            3);

  // The number fetched as a double, as the C rules read the stored text.
  CNodeInfo west;
  ASSERT_NE(schema->GetNodeInfoByPath("/metadata/idinfo/spdom/bounding/westbc", &west), 0);
  std::int32_t guid = 0;
  west.GetNodeGUID(guid);
  std::vector<NodeDataStrcT> values(2);
  ASSERT_EQ(set.GetNodeDataByGuid(guid, 2, values.data(), 2), 1);
  EXPECT_EQ(values[0].metaID, id);
  EXPECT_EQ(values[0].numberValue, -105.694);

  const struct {
    const char* op;
    const char* value;
    bool found;
  } kSearches[] = {{"=", "-105.694", true},
                   {"<", "-105.5", true},
                   {">", "-105.5", false},
                   {"between", "-106.25", true}};
  for (const auto& s : kSearches) {
    SCOPED_TRACE(std::string(s.op) + " " + s.value);
    SearchNode node;
    node.condID = 1;
    node.nodePath = "/metadata/idinfo/spdom/bounding/westbc";
    node.op = s.op;
    node.value1 = s.value;
    node.value2 = "-105.6";
    std::vector<SearchNode> conditions{node};
    CSmartArray<std::int64_t> ids;
    ASSERT_EQ(set.SearchMetaData("1", conditions, ids), 1);
    EXPECT_EQ(ids.GetSize(), s.found ? 1 : 0);
    if (s.found && ids.GetSize() == 1) {
      EXPECT_EQ(ids[0], id);
    }
  }
}

}  // namespace

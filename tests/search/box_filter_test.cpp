// A box checked for given records only answers as the box index does for
// those records, on every backend: any subset of the collection, ids of
// other collections or of no record, repeats; malformed boxes refused.
#include "metashelf/box_filter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "metashelf/search.h"
#include "search/corpus_collection.h"
#include "support/backend_list.h"

using search_test::CorpusCollection;

namespace {

class BoxFilterTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { USE_CORPUS_COLLECTION(c, GetParam()); }
  CorpusCollection* c = nullptr;
};

TEST_P(BoxFilterTest, AnswersAsTheBoxIndexForTheCandidates) {
  std::vector<std::int64_t> all;
  for (const auto& [id, file] : c->files) all.push_back(id);
  ASSERT_GT(all.size(), 10u);
  // Every other record, given twice in descending order, with ids that
  // are no record of the collection.
  std::vector<std::int64_t> some = {0, -5, 1LL << 40};
  for (std::size_t i = all.size(); i-- > 0;) {
    if (i % 2 == 0) some.insert(some.end(), {all[i], all[i]});
  }
  some.insert(some.end(), c->otherIds.begin(), c->otherIds.end());
  for (const char* box : {"-125,24,-66,50", "-180,-90,180,90", "170,-90,-170,90", "-100,30,-100,30",
                          "100,-50,-100,60", "0,0,10,10"}) {
    for (const bool within : {false, true}) {
      SearchNode node;
      node.condID = 1;
      node.op = within ? "within" : "intersects";
      node.value1 = box;
      std::vector<MsSearchHit> hits;
      ASSERT_EQ(MsSearch(&c->set, "1", {node}, MsSearchOptions(), &hits, nullptr), 1) << box;
      std::set<std::int64_t> indexed;
      for (const MsSearchHit& h : hits) indexed.insert(h.metaID);
      for (const auto* candidates : {&all, &some}) {
        const std::set<std::int64_t> given(candidates->begin(), candidates->end());
        std::vector<std::int64_t> want;
        for (std::int64_t id : indexed) {
          if (given.count(id) != 0) want.push_back(id);
        }
        std::vector<std::int64_t> got = {42};
        ASSERT_EQ(MsFilterByBox(&c->set, *candidates, box, within, &got), 1) << box;
        EXPECT_EQ(got, want) << node.op << " " << box << " of " << candidates->size();
      }
    }
  }
}

TEST_P(BoxFilterTest, RefusesMalformedBoxesAndUnopenedSets) {
  ASSERT_FALSE(c->files.empty());
  const std::vector<std::int64_t> ids = {c->files.begin()->first};
  for (const char* box :
       {"", "1,2,3", "-200,0,0,10", "0,10,10,0", "0,0,1e999,1", "a,b,c,d", "0,0,1,1,"}) {
    std::vector<std::int64_t> got = {42};
    EXPECT_EQ(MsFilterByBox(&c->set, ids, box, false, &got), 0) << box;
    EXPECT_TRUE(got.empty()) << box;
  }
  COraMetaDataSet closed;
  std::vector<std::int64_t> got = {42};
  EXPECT_EQ(MsFilterByBox(&closed, ids, "0,0,1,1", false, &got), 0);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(MsFilterByBox(&c->set, ids, "0,0,1,1", false, nullptr), 0);
  EXPECT_EQ(MsFilterByBox(&c->set, {}, "-180,-90,180,90", false, &got), 1);
  EXPECT_TRUE(got.empty());
}

}  // namespace

METASHELF_ON_EVERY_BACKEND(BoxFilterTest);

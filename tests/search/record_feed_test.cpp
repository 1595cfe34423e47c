// The batches of an index build come in order, each once, whichever side
// read them: the thread that reads ahead, or the caller's thread once the
// thread failed. A failure on the caller's side ends the feed, and a feed
// left early stops its thread.
#include "search/record_feed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

using metashelf::search::BatchSource;
using metashelf::search::DescribedBatch;
using metashelf::search::RecordFeed;

constexpr std::size_t kNever = 1000;

TEST(RecordFeedTest, BatchesComeInOrderFromWhicheverSideReadThem) {
  const struct {
    const char* name;
    std::size_t batches;
    bool threaded;
    std::size_t aheadFailsAt;  // the thread's source fails at this batch
    std::size_t hereFailsAt;   // the caller's source fails at this batch
    std::size_t taken;         // batches the caller takes before it stops
    const char* from;          // who read each batch taken: 'a'head, 'h'ere
    bool failed;
  } cases[] = {
      {"none", 0, true, kNever, kNever, kNever, "", false},
      {"threaded", 9, true, kNever, kNever, kNever, "aaaaaaaaa", false},
      {"on the caller's thread", 4, false, kNever, kNever, kNever, "hhhh", false},
      {"thread fails first", 3, true, 0, kNever, kNever, "hhh", false},
      {"thread fails midway", 7, true, 4, kNever, kNever, "aaaahhh", false},
      {"both fail", 7, true, 4, 5, kNever, "aaaah", true},
      {"caller's fails", 5, false, kNever, 2, kNever, "hh", true},
      {"left early", 50, true, kNever, kNever, 2, "aa", false},
  };
  for (const auto& c : cases) {
    std::atomic<int> aheadCalls{0};
    std::vector<std::size_t> hereAsked;
    const auto source = [](std::size_t failsAt, std::int64_t tag, std::size_t k,
                           DescribedBatch* batch) {
      if (k == failsAt) return false;
      batch->resize(1);
      (*batch)[0].id = static_cast<std::int64_t>(k) * 10 + tag;
      return true;
    };
    BatchSource ahead;
    if (c.threaded) {
      ahead = [&](std::size_t k, DescribedBatch* batch) {
        ++aheadCalls;
        return source(c.aheadFailsAt, 1, k, batch);
      };
    }
    std::string from;
    bool failed = false;
    {
      RecordFeed feed(
          c.batches,
          [&](std::size_t k, DescribedBatch* batch) {
            hereAsked.push_back(k);
            return source(c.hereFailsAt, 2, k, batch);
          },
          ahead);
      DescribedBatch batch;
      while (from.size() < c.taken && feed.Next(&batch)) {
        ASSERT_EQ(batch.size(), 1u) << c.name;
        EXPECT_EQ(static_cast<std::size_t>(batch[0].id / 10), from.size()) << c.name;
        from += batch[0].id % 10 == 1 ? 'a' : 'h';
      }
      failed = feed.failed();
      if (c.taken == kNever) {
        EXPECT_FALSE(feed.Next(&batch)) << c.name;
      }
    }
    EXPECT_EQ(from, c.from) << c.name;
    EXPECT_EQ(failed, c.failed) << c.name;
    // The caller's side reads only what the thread did not (and the batch
    // it failed at).
    EXPECT_EQ(
        hereAsked.size(),
        static_cast<std::size_t>(std::count(from.begin(), from.end(), 'h')) + (c.failed ? 1u : 0u))
        << c.name;
    // A feed left early reads no further than a few batches ahead.
    if (c.threaded && c.taken != kNever) {
      EXPECT_LE(static_cast<std::size_t>(aheadCalls.load()), c.taken + RecordFeed::kAhead + 1)
          << c.name;
    }
  }
}

}  // namespace

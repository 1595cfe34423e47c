// The records a search index build writes, read and described a batch at a
// time in id order. With a second connection to the database, a thread of
// its own reads and describes the next batches there while the build writes
// the last ones on its own connection, so that two cores share the work;
// without one, each batch is read when the build asks for it.
#ifndef METASHELF_SRC_SEARCH_RECORD_FEED_H_
#define METASHELF_SRC_SEARCH_RECORD_FEED_H_

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "search/search_index.h"
#include "search/search_index_rows.h"

namespace metashelf {
namespace search {

struct DescribedRecord {
  std::int64_t id = 0;
  IndexedRecord indexed;
  TakenWords words;  // taken when the build's engine gave a taker
};
using DescribedBatch = std::vector<DescribedRecord>;

// The records ids[first] .. ids[last - 1] (ascending) as `reader` reads
// them, described as DescribeStored does, into `*batch` (its room reused),
// their words taken by `taker` when it is not null; false when they could
// not be read or their words not taken.
bool ReadDescribed(StoredRecordReader* reader, const CSchema* schema, const SchemaFacts& facts,
                   const std::vector<std::int64_t>& ids, std::size_t first, std::size_t last,
                   WordsTaker* taker, DescribedBatch* batch);

// Fills `*batch` (which may hold the records of an earlier batch, whose
// room is reused) with the records of batch number `k`; false when they
// could not be read.
using BatchSource = std::function<bool(std::size_t k, DescribedBatch* batch)>;

class RecordFeed {
 public:
  // Batches 0 .. batches - 1. `ahead`, when not null, runs in a thread of
  // its own up to kAhead batches before the caller; when it fails at a
  // batch (or no thread can be started), that batch and the rest come from
  // `here` on the caller's thread, whose failure then is the build's (its
  // reason is on the build's connection).
  RecordFeed(std::size_t batches, BatchSource here, BatchSource ahead);
  // Stops the thread, if any, and waits for it.
  ~RecordFeed();
  RecordFeed(const RecordFeed&) = delete;
  RecordFeed& operator=(const RecordFeed&) = delete;

  // The next batch into `*out`: false once every batch was handed out, or
  // when one could not be read (then failed()).
  bool Next(DescribedBatch* out);
  bool failed() const { return failed_; }

  // Batches read ahead and waiting, at most.
  static constexpr std::size_t kAhead = 3;

 private:
  void Produce();

  const std::size_t batches_;
  BatchSource here_;
  BatchSource ahead_;
  std::size_t next_ = 0;  // the batch Next hands out next
  bool failed_ = false;
  bool threaded_ = false;  // batch next_ onwards comes from the thread

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<DescribedBatch> ready_;   // batches next_, next_ + 1, ... read ahead
  std::vector<DescribedBatch> spare_;  // handed back, their room reused
  bool stop_ = false;
  bool aheadFailed_ = false;  // the thread stopped at batch next_ + ready_.size()
  std::thread thread_;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_RECORD_FEED_H_

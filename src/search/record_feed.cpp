// Handing a build its described records: in order, from a thread that
// reads ahead on a connection of its own, or on the caller's thread.
#include "search/record_feed.h"

#include <utility>

#include "metashelf/base/guard.h"

namespace metashelf {
namespace search {

bool ReadDescribed(StoredRecordReader* reader, const CSchema* schema, const SchemaFacts& facts,
                   const std::vector<std::int64_t>& ids, std::size_t first, std::size_t last,
                   WordsTaker* taker, DescribedBatch* batch) {
  std::vector<StoredRecord> stored;
  if (!reader->Read(ids, first, last, &stored)) return false;
  batch->resize(stored.size());
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const StoredRecord& r = stored[i];
    DescribedRecord& d = (*batch)[i];
    d.id = r.id;
    if (!DescribeStored(schema, r.structure, r.texts, r.bounds, facts, nullptr, &d.indexed)) {
      return false;
    }
    d.words.taken = false;
    if (taker != nullptr && !taker->Take(d.indexed.text, &d.words)) return false;
  }
  return true;
}

RecordFeed::RecordFeed(std::size_t batches, BatchSource here, BatchSource ahead)
    : batches_(batches), here_(std::move(here)), ahead_(std::move(ahead)) {
  if (!ahead_ || batches_ == 0) return;
  // A thread that cannot be started leaves every batch to the caller's.
  threaded_ = base::Guard<bool>(false, [this] {
    thread_ = std::thread([this] {
      base::Guard<bool>(
          false,
          [this] {
            Produce();
            return true;
          },
          [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            aheadFailed_ = true;
            changed_.notify_all();
          });
    });
    return true;
  });
}

RecordFeed::~RecordFeed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void RecordFeed::Produce() {
  for (std::size_t k = 0; k < batches_; ++k) {
    DescribedBatch batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || ready_.size() < kAhead; });
      if (stop_) return;
      if (!spare_.empty()) {
        batch = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    const bool ok = ahead_(k, &batch);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ok) {
      aheadFailed_ = true;
      changed_.notify_all();
      return;
    }
    ready_.push_back(std::move(batch));
    changed_.notify_all();
  }
}

bool RecordFeed::Next(DescribedBatch* out) {
  if (failed_ || next_ >= batches_) return false;
  if (threaded_) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || aheadFailed_; });
    if (!ready_.empty()) {
      spare_.push_back(std::move(*out));
      *out = std::move(ready_.front());
      ready_.pop_front();
      ++next_;
      changed_.notify_all();
      return true;
    }
    // The thread stopped at this batch: the rest are read here, where a
    // failure leaves its reason on the build's own connection.
    threaded_ = false;
  }
  if (!here_(next_, out)) {
    failed_ = true;
    return false;
  }
  ++next_;
  return true;
}

}  // namespace search
}  // namespace metashelf

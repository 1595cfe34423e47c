// The writer threads of an import and the queue of batches between the
// reading thread and them.
#include "writer_pool.h"

#include <system_error>
#include <utility>

namespace metashelf::cli {

WriterPool::WriterPool(const Globals& globals, const std::string& name, int count,
                       const ImportOptions& options, ImportResults& results)
    : results_(results), capacity_(static_cast<std::size_t>(count)) {
  for (int i = 0; i < count; ++i) {
    Writer w;
    w.session = std::make_unique<Session>(globals);
    w.collection = std::make_unique<Collection>(*w.session, name);
    w.writer = std::make_unique<BatchWriter>(*w.collection, options, results);
    writers_.push_back(std::move(w));
  }
  // Room for every thread first: a thread that was started is never lost
  // in a vector that could not grow.
  threads_.reserve(writers_.size());
  try {
    for (Writer& w : writers_) {
      BatchWriter* writer = w.writer.get();
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        ++running_;
      }
      try {
        threads_.emplace_back([this, writer] { Run(*writer); });
      } catch (...) {
        const std::lock_guard<std::mutex> lock(mutex_);
        --running_;
        throw;
      }
    }
  } catch (const std::system_error& e) {
    Stop(true);
    Fail(std::string("cannot start the writers of the import: ") + e.what());
  }
}

WriterPool::~WriterPool() {
  Stop(true);
}

void WriterPool::Push(ImportBatch& batch) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return queue_.size() < capacity_ || running_ == 0; });
    // With no writer left the batch has nowhere to go; Finish says why.
    if (running_ > 0 && !results_.stopped()) queue_.push_back(std::move(batch));
  }
  batch.clear();
  changed_.notify_all();
}

void WriterPool::Finish() {
  Stop(false);
  if (lost_) results_.StopFailed("a writer of the import ended before its work was done");
}

void WriterPool::Run(BatchWriter& writer) noexcept {
  bool lost = false;
  try {
    ImportBatch batch;
    while (Take(&batch)) {
      try {
        writer.Write(batch);
      } catch (const std::exception& e) {
        // Writes report their failures as results; what is thrown past
        // them (memory exhausted) ends the import's writing.
        batch.clear();
        results_.StopFailed(std::string("a writer of the import failed: ") + e.what());
      }
      results_.ShowProgress();
    }
  } catch (...) {
    lost = true;
  }
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    --running_;
    if (lost) lost_ = true;
  }
  changed_.notify_all();
}

bool WriterPool::Take(ImportBatch* batch) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return !queue_.empty() || closed_; });
    if (queue_.empty()) return false;
    *batch = std::move(queue_.front());
    queue_.pop_front();
  }
  changed_.notify_all();
  return true;
}

void WriterPool::Stop(bool drop) noexcept {
  std::deque<ImportBatch> dropped;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    if (drop) dropped.swap(queue_);
  }
  changed_.notify_all();
  for (std::thread& t : threads_) {
    if (t.joinable()) t.join();
  }
}

}  // namespace metashelf::cli

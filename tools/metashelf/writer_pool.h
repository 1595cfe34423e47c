// Several writers of one import, each a BatchWriter on a session and a
// collection object of its own, in a thread of its own, fed whole batches
// by the thread that reads and checks the records. Each writer's batches
// are its own transactions; a failed one is retried record by record on the
// writer that had it. Nothing of a writer is touched by another thread while
// it runs: its session and collection are opened before its thread starts
// and closed after it is joined.
//
// The threads start with the signal mask of the thread that makes the pool,
// so an import makes it while it holds SIGINT and SIGTERM (InterruptPoint):
// a signal then waits for the reading thread to take it.
#ifndef METASHELF_TOOLS_WRITER_POOL_H_
#define METASHELF_TOOLS_WRITER_POOL_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch_writer.h"
#include "commands.h"
#include "import_results.h"
#include "session.h"

namespace metashelf::cli {

class WriterPool {
 public:
  // Opens `count` sessions on the database of `globals` and collection
  // `name` on each, then starts a thread per writer. Throws ToolError when
  // one cannot be opened or started (every thread started is joined first).
  WriterPool(const Globals& globals, const std::string& name, int count,
             const ImportOptions& options, ImportResults& results);
  // Joins every thread; batches not yet taken by a writer are dropped (the
  // way out of a command that failed; Finish is the way out of one that
  // did not).
  ~WriterPool();
  WriterPool(const WriterPool&) = delete;
  WriterPool& operator=(const WriterPool&) = delete;

  // Hands `batch` over to the writers, waiting while as many batches as
  // there are writers wait already. Once the import has stopped (a full
  // disk, a writer that failed) the batch is dropped. `batch` is left empty.
  void Push(ImportBatch& batch);
  // Waits until every batch handed over is written, then joins the threads.
  void Finish();

 private:
  struct Writer {
    std::unique_ptr<Session> session;
    std::unique_ptr<Collection> collection;
    std::unique_ptr<BatchWriter> writer;
  };

  // The loop of one writer's thread; no exception leaves it.
  void Run(BatchWriter& writer) noexcept;
  // The next batch for a writer; false once no more will come.
  bool Take(ImportBatch* batch);
  // Lets every waiting thread see that no more batches come (and drops
  // those queued when `drop`), then joins the threads.
  void Stop(bool drop) noexcept;

  ImportResults& results_;
  std::vector<Writer> writers_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ImportBatch> queue_;
  std::size_t capacity_ = 1;
  std::size_t running_ = 0;  // threads still taking batches
  bool closed_ = false;      // no more batches come
  bool lost_ = false;        // a thread ended before the queue was closed
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_WRITER_POOL_H_

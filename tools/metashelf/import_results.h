// What an import has done so far, shared by the thread that reads the
// records and the writers that store them: the records stored and rejected,
// the reason the import stopped early, and the notes and progress shown
// meanwhile. Every member takes one lock, so the progress display is drawn
// by one thread at a time.
#ifndef METASHELF_TOOLS_IMPORT_RESULTS_H_
#define METASHELF_TOOLS_IMPORT_RESULTS_H_

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "metashelf/model.h"
#include "progress.h"

namespace metashelf::cli {

// A record read and checked, waiting to be written.
struct ImportRecord {
  std::size_t order = 0;  // its place among the files given
  std::string file;
  std::unique_ptr<CBaseMetaData> record;
  bool inlineValues = false;  // some values stay inline (counted once stored)
};
using ImportBatch = std::vector<ImportRecord>;

class ImportResults {
 public:
  explicit ImportResults(Progress& progress) : progress_(progress) {}
  ImportResults(const ImportResults&) = delete;
  ImportResults& operator=(const ImportResults&) = delete;

  void Stored(const ImportRecord& record);
  // The file at `order` is not stored, for `reason` (prefixed with the
  // file's name unless `prefix` is false); noted at once.
  void Reject(std::size_t order, const std::string& file, const std::string& reason,
              bool prefix = true);
  // A line of its own beside the progress display.
  void Note(const std::string& line);
  // Redraws the progress display with the records done so far.
  void ShowProgress();

  // Nothing more is stored once the disk is full or a writer failed; the
  // first reason of each stays.
  void StopFull(const std::string& reason);
  void StopFailed(const std::string& reason);
  bool stopped() const;
  std::string fullReason() const;
  std::string failedReason() const;

  std::size_t stored() const;
  std::size_t withInline() const;
  // The rejections, in the order of the files given: the file and the line.
  std::vector<std::pair<std::string, std::string>> Rejected() const;

 private:
  struct Rejection {
    std::size_t order;
    std::string file;
    std::string line;
  };

  mutable std::mutex mutex_;
  Progress& progress_;
  std::size_t stored_ = 0;
  std::size_t withInline_ = 0;
  std::vector<Rejection> rejected_;
  std::string full_;
  std::string failed_;
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_IMPORT_RESULTS_H_

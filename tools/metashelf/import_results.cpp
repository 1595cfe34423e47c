// The tally of an import, under one lock.
#include "import_results.h"

#include <algorithm>

namespace metashelf::cli {

void ImportResults::Stored(const ImportRecord& record) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++stored_;
  if (record.inlineValues) ++withInline_;
}

void ImportResults::Reject(std::size_t order, const std::string& file, const std::string& reason,
                           bool prefix) {
  const std::string line = prefix ? file + ": " + reason : reason;
  const std::lock_guard<std::mutex> lock(mutex_);
  rejected_.push_back(Rejection{order, file, line});
  progress_.Note("rejected " + line);
}

void ImportResults::Note(const std::string& line) {
  const std::lock_guard<std::mutex> lock(mutex_);
  progress_.Note(line);
}

void ImportResults::ShowProgress() {
  const std::lock_guard<std::mutex> lock(mutex_);
  progress_.Update(stored_ + rejected_.size());
}

void ImportResults::StopFull(const std::string& reason) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (full_.empty()) full_ = reason.empty() ? "no room left" : reason;
}

void ImportResults::StopFailed(const std::string& reason) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (failed_.empty()) failed_ = reason.empty() ? "unknown failure" : reason;
}

bool ImportResults::stopped() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return !full_.empty() || !failed_.empty();
}

std::string ImportResults::fullReason() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return full_;
}

std::string ImportResults::failedReason() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

std::size_t ImportResults::stored() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return stored_;
}

std::size_t ImportResults::withInline() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return withInline_;
}

std::vector<std::pair<std::string, std::string>> ImportResults::Rejected() const {
  std::vector<Rejection> sorted;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    sorted = rejected_;
  }
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Rejection& a, const Rejection& b) { return a.order < b.order; });
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(sorted.size());
  for (Rejection& r : sorted) out.emplace_back(std::move(r.file), std::move(r.line));
  return out;
}

}  // namespace metashelf::cli

// The progress reporter: formatting helpers and the redraw policy (a bar at
// most ten times a second; a plain line at every tenth of the work or every
// five seconds).
#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "metashelf/base/numbers.h"

namespace metashelf::cli {
namespace {

constexpr double kBarInterval = 0.1;
constexpr double kLineInterval = 5.0;
constexpr int kBarWidth = 28;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ProgressMode ChooseProgressMode(bool quiet, int fd) {
  if (quiet) return ProgressMode::kQuiet;
  return isatty(fd) ? ProgressMode::kTerminal : ProgressMode::kLines;
}

std::string FormatDuration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0) return "--:--";
  const long long s = static_cast<long long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600) {
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
  }
  return buf;
}

std::string FormatBar(std::size_t done, std::size_t total, int width) {
  if (width < 1) width = 1;
  const double fraction = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / total);
  const int full = static_cast<int>(fraction * width);
  return "[" + std::string(full, '#') + std::string(width - full, '-') + "]";
}

std::string FormatStatus(std::size_t done, std::size_t total, double elapsed) {
  const double rate = elapsed > 0 ? done / elapsed : 0;
  const int percent = total == 0 ? 100 : static_cast<int>(100.0 * std::min(done, total) / total);
  const double left = rate > 0 ? (total > done ? (total - done) / rate : 0) : -1;
  char buf[160];
  std::snprintf(buf, sizeof buf, "%zu/%zu %3d%%  %s records/s  %s elapsed  %s left", done, total,
                percent, base::FormatDouble(rate, 'f', 1).c_str(), FormatDuration(elapsed).c_str(),
                done >= total ? "0:00" : FormatDuration(left).c_str());
  return buf;
}

Progress::Progress(std::ostream& out, ProgressMode mode, std::size_t total, std::string label,
                   std::function<double()> clock)
    : out_(out),
      mode_(mode),
      total_(total),
      label_(std::move(label)),
      clock_(clock ? std::move(clock) : std::function<double()>(SteadySeconds)) {
  start_ = clock_();
  // The first plain line comes after a tenth of the work or five seconds.
  if (mode_ == ProgressMode::kLines) lastDraw_ = start_;
}

Progress::~Progress() {
  Finish();
}

double Progress::Elapsed() const {
  return clock_() - start_;
}

void Progress::Update(std::size_t done) {
  done_ = done;
  Draw(false);
}

void Progress::Clear() {
  if (mode_ == ProgressMode::kTerminal && shown_) {
    out_ << "\r\033[K";
    shown_ = false;
  }
}

void Progress::Note(const std::string& line) {
  Clear();
  out_ << line << '\n';
  out_.flush();
  if (mode_ == ProgressMode::kTerminal && !finished_) Draw(true);
}

void Progress::Draw(bool force) {
  if (mode_ == ProgressMode::kQuiet || finished_) return;
  const double now = clock_();
  const double elapsed = now - start_;
  if (mode_ == ProgressMode::kTerminal) {
    if (!force && now - lastDraw_ < kBarInterval && done_ < total_) return;
    lastDraw_ = now;
    out_ << "\r\033[K" << label_ << ' ' << FormatBar(done_, total_, kBarWidth) << ' '
         << FormatStatus(done_, total_, elapsed);
    out_.flush();
    shown_ = true;
    return;
  }
  const std::size_t decile = total_ == 0 ? 10 : done_ * 10 / total_;
  if (!force && decile == lastLineDecile_ && now - lastDraw_ < kLineInterval) return;
  lastLineDecile_ = decile;
  lastDraw_ = now;
  lastShownDone_ = done_;
  out_ << label_ << ' ' << FormatStatus(done_, total_, elapsed) << '\n';
  out_.flush();
}

void Progress::Finish() {
  if (finished_) return;
  if (mode_ == ProgressMode::kTerminal) {
    Draw(true);
    out_ << '\n';
    out_.flush();
    shown_ = false;
  } else if (mode_ == ProgressMode::kLines && lastShownDone_ != done_) {
    Draw(true);
  }
  finished_ = true;
}

}  // namespace metashelf::cli

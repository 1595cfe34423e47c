// Progress of a long run (import, export): a bar redrawn in place with the
// rate and the time left when the output is a terminal, a plain line now and
// then when it is not, nothing when quiet. Notes printed while a bar is shown
// clear it first, so they never end up mixed with it.
#ifndef METASHELF_TOOLS_PROGRESS_H_
#define METASHELF_TOOLS_PROGRESS_H_

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

namespace metashelf::cli {

enum class ProgressMode { kTerminal, kLines, kQuiet };

// The mode for a stream: quiet wins, then a terminal gets the bar.
ProgressMode ChooseProgressMode(bool quiet, int fd);

// "0:07", "12:05", "1:02:03"; "--:--" for a time that is not known.
std::string FormatDuration(double seconds);

// "[########------------]" with `width` cells between the brackets.
std::string FormatBar(std::size_t done, std::size_t total, int width);

// The status text: "120/500  24%  85.3 records/s  2:03 elapsed  4:27 left".
std::string FormatStatus(std::size_t done, std::size_t total, double elapsed);

class Progress {
 public:
  // `clock` returns seconds from any fixed start (steady clock when empty).
  Progress(std::ostream& out, ProgressMode mode, std::size_t total, std::string label,
           std::function<double()> clock = {});
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `done` items of `total` are finished.
  void Update(std::size_t done);
  // Prints a note on a line of its own (also when quiet: notes are results).
  void Note(const std::string& line);
  // Draws the final state and leaves the cursor on a fresh line.
  void Finish();

  double Elapsed() const;

 private:
  void Draw(bool force);
  void Clear();

  std::ostream& out_;
  ProgressMode mode_;
  std::size_t total_;
  std::string label_;
  std::function<double()> clock_;
  double start_ = 0;
  double lastDraw_ = -1e9;
  std::size_t done_ = 0;
  std::size_t lastLineDecile_ = 0;
  std::size_t lastShownDone_ = static_cast<std::size_t>(-1);
  bool shown_ = false;
  bool finished_ = false;
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_PROGRESS_H_

// Records for the end-to-end run: FGDC corpus records used as templates and
// given, from a seeded generator, a fresh title, one theme keyword and a
// bounding box each, so that every search of the run has a match count
// known before anything is stored.
#ifndef METASHELF_BENCH_E2E_SYNTH_H_
#define METASHELF_BENCH_E2E_SYNTH_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace metashelf::bench {

// What a synthesised record carries that the searches look at.
struct SynthValues {
  std::string title;
  std::string keyword;
  double west = 0, east = 0, north = 0, south = 0;
};

// The searches of the run, with the values they look for.
struct SearchTargets {
  std::string keyword;    // equality on the theme keyword
  double rangeLow = -80;  // west bound between these
  double rangeHigh = -70;
  std::string titlePart;  // like '%...%' on titles
  // A title word that only the first kSelective records carry, whatever
  // the size: substring and free-text searches with a fixed answer.
  std::string selectivePart;
  // A small box: the records whose boxes meet it grow with the size, at
  // about one in two thousand.
  double boxWest = -50.5, boxSouth = 10, boxEast = -50, boxNorth = 10.5;
};

// Records whose title carries SearchTargets::selectivePart.
constexpr std::int64_t kSelective = 50;

class Synthesiser {
 public:
  // Templates from `corpusFgdc`: records with one title, one bounding box
  // and at least one theme keyword. False when none is usable.
  bool LoadTemplates(const std::filesystem::path& corpusFgdc, std::size_t most);

  // Writes `count` records as files 000000001.xml ... into `folder`; the
  // values of each are kept for counting matches.
  bool Write(const std::filesystem::path& folder, std::int64_t count, std::uint32_t seed);

  const std::vector<SynthValues>& values() const { return values_; }
  std::size_t templates() const { return templates_.size(); }

  static const SearchTargets& Targets();
  // Records matching each search, counted on the synthesised values.
  std::int64_t CountKeyword() const;
  std::int64_t CountRange() const;
  std::int64_t CountTitle() const;
  // (keyword or title) and range.
  std::int64_t CountCombined() const;
  std::int64_t CountSelective() const;
  // Boxes that meet the target box.
  std::int64_t CountBox() const;

 private:
  std::vector<std::string> templates_;  // XML texts
  std::vector<SynthValues> values_;
};

}  // namespace metashelf::bench

#endif  // METASHELF_BENCH_E2E_SYNTH_H_

// Synthesises the run's records from corpus templates with pugixml: the
// title, the first theme keyword (the others are dropped) and the four
// bounding coordinates are replaced by values drawn from a seeded mt19937,
// and a record is written per file.
#include "synth.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <pugixml.hpp>
#include <random>
#include <sstream>

namespace metashelf::bench {
namespace {

constexpr int kKeywords = 1000;           // the keyword equality matches about 0.1%
constexpr int kTitleMarkerPerMille = 10;  // the title like matches about 1%

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", v);
  return text;
}

bool SetText(pugi::xml_node node, const std::string& text) {
  if (!node) return false;
  while (node.first_child()) node.remove_child(node.first_child());
  return node.append_child(pugi::node_pcdata).set_value(text.c_str());
}

}  // namespace

const SearchTargets& Synthesiser::Targets() {
  static const SearchTargets targets{"benchkey-7", -80, -70, "zqmarker", "zqselect"};
  return targets;
}

bool Synthesiser::LoadTemplates(const std::filesystem::path& corpusFgdc, std::size_t most) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(corpusFgdc, ec)) {
    if (e.path().extension() == ".xml") files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    if (templates_.size() >= most) break;
    pugi::xml_document doc;
    if (!doc.load_file(file.c_str(), pugi::parse_default | pugi::parse_declaration)) continue;
    const pugi::xml_node idinfo = doc.child("metadata").child("idinfo");
    if (idinfo.child("citation").child("citeinfo").select_nodes("title").size() != 1) continue;
    if (idinfo.select_nodes("spdom/bounding").size() != 1) continue;
    if (idinfo.select_nodes("keywords/theme").size() != 1) continue;
    if (!idinfo.child("keywords").child("theme").child("themekey")) continue;
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    templates_.push_back(text.str());
  }
  return !templates_.empty();
}

bool Synthesiser::Write(const std::filesystem::path& folder, std::int64_t count,
                        std::uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> keyword(0, kKeywords - 1);
  std::uniform_int_distribution<int> perMille(0, 999);
  std::uniform_real_distribution<double> west(-180, 170), south(-90, 80), extent(0.1, 10);
  static const char* const kWords[] = {"roads",  "rivers", "soils",   "parcels", "census",
                                       "relief", "forest", "geology", "wells",   "coast"};
  std::filesystem::create_directories(folder);
  values_.clear();
  values_.reserve(static_cast<std::size_t>(count));
  std::vector<pugi::xml_document> docs(templates_.size());
  for (std::size_t t = 0; t < templates_.size(); ++t) {
    if (!docs[t].load_string(templates_[t].c_str(),
                             pugi::parse_default | pugi::parse_declaration)) {
      return false;
    }
    // One theme keyword is kept, to be given the drawn value.
    pugi::xml_node theme =
        docs[t].child("metadata").child("idinfo").child("keywords").child("theme");
    while (theme.child("themekey").next_sibling("themekey")) {
      theme.remove_child(theme.child("themekey").next_sibling("themekey"));
    }
  }
  for (std::int64_t i = 1; i <= count; ++i) {
    SynthValues v;
    const bool marked = perMille(random) < kTitleMarkerPerMille;
    v.title = std::string("Synthetic ") + kWords[i % 10] + (marked ? " zqmarker" : "") +
              (i <= kSelective ? " zqselect" : "") + " survey number " + std::to_string(i);
    v.keyword = "benchkey-" + std::to_string(keyword(random));
    v.west = west(random);
    v.east = v.west + extent(random);
    v.south = south(random);
    v.north = v.south + extent(random);
    // Values are compared as the database holds them, to four places.
    v.west = std::stod(Number(v.west));
    v.east = std::stod(Number(v.east));
    v.south = std::stod(Number(v.south));
    v.north = std::stod(Number(v.north));

    pugi::xml_document& doc = docs[static_cast<std::size_t>(i) % docs.size()];
    pugi::xml_node idinfo = doc.child("metadata").child("idinfo");
    pugi::xml_node bounding = idinfo.child("spdom").child("bounding");
    if (!SetText(idinfo.child("citation").child("citeinfo").child("title"), v.title) ||
        !SetText(idinfo.child("keywords").child("theme").child("themekey"), v.keyword) ||
        !SetText(bounding.child("westbc"), Number(v.west)) ||
        !SetText(bounding.child("eastbc"), Number(v.east)) ||
        !SetText(bounding.child("northbc"), Number(v.north)) ||
        !SetText(bounding.child("southbc"), Number(v.south))) {
      std::fprintf(stderr, "template %zu lacks a field\n",
                   static_cast<std::size_t>(i) % docs.size());
      return false;
    }
    char name[32];
    std::snprintf(name, sizeof name, "%09lld.xml", static_cast<long long>(i));
    if (!doc.save_file((folder / name).c_str(), "  ")) return false;
    values_.push_back(std::move(v));
  }
  return true;
}

std::int64_t Synthesiser::CountKeyword() const {
  return std::count_if(values_.begin(), values_.end(),
                       [](const SynthValues& v) { return v.keyword == Targets().keyword; });
}

std::int64_t Synthesiser::CountRange() const {
  return std::count_if(values_.begin(), values_.end(), [](const SynthValues& v) {
    return v.west >= Targets().rangeLow && v.west <= Targets().rangeHigh;
  });
}

std::int64_t Synthesiser::CountTitle() const {
  return std::count_if(values_.begin(), values_.end(), [](const SynthValues& v) {
    return v.title.find(Targets().titlePart) != std::string::npos;
  });
}

std::int64_t Synthesiser::CountCombined() const {
  return std::count_if(values_.begin(), values_.end(), [](const SynthValues& v) {
    return (v.keyword == Targets().keyword ||
            v.title.find(Targets().titlePart) != std::string::npos) &&
           v.west >= Targets().rangeLow && v.west <= Targets().rangeHigh;
  });
}

std::int64_t Synthesiser::CountSelective() const {
  return std::count_if(values_.begin(), values_.end(), [](const SynthValues& v) {
    return v.title.find(Targets().selectivePart) != std::string::npos;
  });
}

std::int64_t Synthesiser::CountBox() const {
  const SearchTargets& t = Targets();
  return std::count_if(values_.begin(), values_.end(), [&t](const SynthValues& v) {
    return v.west <= t.boxEast && v.east >= t.boxWest && v.south <= t.boxNorth &&
           v.north >= t.boxSouth;
  });
}

}  // namespace metashelf::bench

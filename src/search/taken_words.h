// A record's words in the form an engine writes them, taken where a build
// reads and describes its records (in the reading thread, when it has one),
// so that the thread that writes the rows only sends them.
#ifndef METASHELF_SRC_SEARCH_TAKEN_WORDS_H_
#define METASHELF_SRC_SEARCH_TAKEN_WORDS_H_

#include <string>

namespace metashelf {
namespace search {

struct TakenWords {
  bool taken = false;  // by a WordsTaker; else the writer takes them itself
  std::string words;   // the engine's forms of the record's words
  std::string pairs;
};

// Takes records' words for one thread at a time: each thread that reads
// a build's records has a taker of its own.
class WordsTaker {
 public:
  virtual ~WordsTaker() = default;
  // The words of a record's `text` into `*out` (its room reused); false
  // when they could not be taken.
  virtual bool Take(const std::string& text, TakenWords* out) = 0;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_TAKEN_WORDS_H_

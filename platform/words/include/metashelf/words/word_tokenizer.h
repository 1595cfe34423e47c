// The words of a text as SQLite's full-text index takes them with the
// tokenizer `unicode61 remove_diacritics 2`: runs of letters, digits and
// private-use characters, case folded and with diacritics removed; every
// other character separates words. It is the very tokenizer SQLite runs,
// reached through FTS5's C API on an in-memory connection of the object's
// own, so that an index kept in another engine (PostgreSQL's tsvector)
// holds the words SQLite's would, and a query finds the same records in
// both.
#ifndef METASHELF_WORDS_WORD_TOKENIZER_H_
#define METASHELF_WORDS_WORD_TOKENIZER_H_

#include <cstddef>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>

namespace metashelf::words {

class WordTokenizer {
 public:
  // A tokenizer, or null when SQLite offers no FTS5 or no unicode61.
  static std::unique_ptr<WordTokenizer> Open();
  ~WordTokenizer();
  WordTokenizer(const WordTokenizer&) = delete;
  WordTokenizer& operator=(const WordTokenizer&) = delete;

  // Calls `word(std::string_view)` for each word of `text`, in order; the
  // view lives for the call only. False when the tokenizer failed or
  // `text` is longer than it takes (2 GB); the words of the call so far
  // were handed out. What `word` throws is thrown on once SQLite returned.
  template <class Word>
  bool Tokenize(std::string_view text, Word&& word) {
    struct Context {
      Word* word;
      std::exception_ptr thrown;
    } context{&word, nullptr};
    const bool ok = Run(text, &context, [](void* c, const char* token, int size) {
      auto* context = static_cast<Context*>(c);
      try {
        (*context->word)(std::string_view(token, static_cast<std::size_t>(size)));
        return true;
      } catch (...) {
        // Nothing may unwind through SQLite's frames.
        context->thrown = std::current_exception();
        return false;
      }
    });
    if (context.thrown) std::rethrow_exception(context.thrown);
    return ok;
  }

 private:
  struct State;
  explicit WordTokenizer(std::unique_ptr<State> state);
  // Hands each word to `sink`, which answers whether to go on.
  using Sink = bool (*)(void* context, const char* token, int size);
  bool Run(std::string_view text, void* context, Sink sink);

  std::unique_ptr<State> state_;
};

}  // namespace metashelf::words

#endif  // METASHELF_WORDS_WORD_TOKENIZER_H_

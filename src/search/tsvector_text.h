// The forms in which PostgreSQL takes a record's words and a free-text
// query, written here from the words a tokenizer took (metashelf/words) so
// that the server parses none of them: a record's tsvector and the keys of
// the pairs of its adjacent words in the binary forms the server receives
// as they are, a query's pair keys as an array literal ("{1,-2}") and its
// tsquery in text form ('a' <-> 'b':* & 'c').
#ifndef METASHELF_SRC_SEARCH_TSVECTOR_TEXT_H_
#define METASHELF_SRC_SEARCH_TSVECTOR_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace metashelf {
namespace search {

// The longest lexeme, in bytes (the server refuses longer ones): a longer
// word stands as its first bytes up to this many, cut between characters,
// in records and queries alike, so two words that begin with the same
// 2,046 bytes are one word to the index.
constexpr std::size_t kLexemeBytes = 2046;
// Words take positions 1, 2, ... up to this one, where every later word
// lies too (as the server places them).
constexpr std::int32_t kLastPosition = 16383;
// The positions a lexeme keeps: its first ones.
constexpr std::size_t kLexemePositions = 256;
// What the lexemes of one tsvector and their positions may take, in bytes,
// counted as the server counts them (an upper bound of it): words that
// would take it past this are left out, the first words of a record kept.
constexpr std::size_t kTsvectorBytes = 1048575;

// The lexeme that `word` stands as.
std::string_view LexemeOf(std::string_view word);

// The key of the pair of lexemes `first` and `second` at adjacent
// positions: FNV-1a (64 bits) over the bytes of `first`, one byte 0xFF
// (which no UTF-8 text holds) and the bytes of `second`, read as a signed
// 64-bit number. Every record's row keeps these keys: a change of this
// definition is a change of the index layout.
std::int64_t PairKey(std::string_view first, std::string_view second);

// The array literal of `keys` ("{1,-2}"; "{}" for none).
std::string KeyArray(const std::vector<std::int64_t>& keys);

// A record's words, in order, into the binary forms of its tsvector and of
// the array of the keys of its pairs: a pair for each two adjacent words whose positions
// are adjacent (below the last position), however many positions their
// lexemes keep. Its room is kept from record to record.
class TsvectorWriter {
 public:
  // Forgets the words of the record before.
  void Clear();
  // The record's next word.
  void Add(std::string_view word);
  // The binary tsvector of the words added, lexemes in byte order ("" for
  // none), and the binary BIGINT[] of the distinct keys of their pairs in
  // ascending order ("" for none). The words hold no NUL (the tokenizer
  // takes none into a word).
  void Write(std::string* tsvector, std::string* pairs);

 private:
  // A distinct lexeme of the record, in the order the text first names it.
  struct Lexeme {
    std::size_t offset;  // in bytes_
    std::size_t size;
    std::size_t hash;           // of its bytes, for slots_
    std::uint64_t paired;       // the key's hash over it and the byte between
    std::size_t positions = 0;  // kept
    std::size_t first = 0;      // its first in positions_
    std::int32_t last = 0;      // the last position kept
  };
  std::string_view Bytes(const Lexeme& l) const {
    return std::string_view(bytes_.data() + l.offset, l.size);
  }
  // A kept lexeme and its first eight bytes as a number (Head), which
  // orders most lexemes without comparing their bytes.
  struct Sorted {
    std::uint64_t head;
    std::uint32_t lexeme;
  };
  std::uint64_t Head(const Lexeme& l) const;
  void Grow();

  std::string bytes_;  // the lexemes, one after another
  std::vector<Lexeme> lexemes_;
  std::vector<std::uint32_t> slots_;  // lexemes by hash: index + 1, 0 for none
  std::vector<std::uint32_t> words_;  // each word's lexeme
  std::vector<std::int32_t> positions_;
  std::vector<Sorted> sorted_;  // the kept lexemes in byte order
  std::vector<std::int64_t> keys_;
};

// One term of a query as lexemes: one, or a phrase of adjacent ones; the
// last stands for every lexeme it begins with when `prefix`.
struct LexemeTerm {
  std::vector<std::string> lexemes;
  bool prefix = false;
};

// The tsquery text that holds where every term does; every term holds a
// lexeme.
std::string TsQueryText(const std::vector<LexemeTerm>& terms);

// The keys of the pairs of a term's adjacent lexemes (the prefix aside),
// each once.
std::vector<std::int64_t> TermPairKeys(const LexemeTerm& term);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_TSVECTOR_TEXT_H_

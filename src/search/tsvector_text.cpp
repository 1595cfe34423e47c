// A tsvector's text form is each lexeme in single quotes (a quote doubled
// and a backslash written twice inside), ':' and its positions separated by
// commas, lexemes separated by one blank; a tsquery's names lexemes alike,
// joined by its operators. The server counts, for its limit, each lexeme's
// bytes (aligned to two) and two bytes for its count of positions and for
// each of them.
//
// The binary forms are what the server's receive functions read, every
// number in network byte order. A tsvector: its count of lexemes (32 bits),
// then each lexeme's bytes ending in a NUL, its count of positions (16 bits)
// and each position (16 bits: the weight in the top two, D being 0, the
// position in the rest); lexemes in byte order and distinct, positions
// ascending. An array of BIGINT: its dimensions (1), a flag of NULLs (0),
// the element type's oid (int8, 20), the length and the lower bound (1) of
// its dimension, then each element as its length (8) and its bytes.
#include "search/tsvector_text.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "metashelf/base/utf8.h"

namespace metashelf {
namespace search {
namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

std::uint64_t Fnv(std::uint64_t hash, std::string_view bytes) {
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= kFnvPrime;
  }
  return hash;
}

void AppendQuoted(std::string_view lexeme, std::string* out) {
  out->push_back('\'');
  for (std::size_t at = lexeme.find_first_of("'\\"); at != std::string_view::npos;
       at = lexeme.find_first_of("'\\")) {
    out->append(lexeme.data(), at + 1);
    out->push_back(lexeme[at]);
    lexeme.remove_prefix(at + 1);
  }
  out->append(lexeme.data(), lexeme.size());
  out->push_back('\'');
}

// The oid of int8, the element type of a BIGINT[].
constexpr std::uint32_t kInt8Oid = 20;

template <class Number>
void AppendNumber(Number value, std::string* out) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

// Writes `value` at `at` in network byte order, `bytes` wide; the end of
// what it wrote.
char* PutBig(char* at, std::uint64_t value, int bytes) {
  for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
    *at++ = static_cast<char>((value >> shift) & 0xFF);
  }
  return at;
}

// Room for the lexemes of a usual record, kept from record to record.
constexpr std::size_t kFirstSlots = 1024;
constexpr std::size_t kKeptSlots = 16384;

// The position of the word at `place` (from 0) among a record's words.
std::int32_t PositionOf(std::size_t place) {
  return place + 1 < static_cast<std::size_t>(kLastPosition) ? static_cast<std::int32_t>(place + 1)
                                                             : kLastPosition;
}

}  // namespace

std::string_view LexemeOf(std::string_view word) {
  if (word.size() <= kLexemeBytes) return word;
  const std::size_t cut = base::Utf8CutLength(word.data(), word.size(), kLexemeBytes);
  return word.substr(0, cut > 0 ? cut : kLexemeBytes);
}

std::int64_t PairKey(std::string_view first, std::string_view second) {
  const std::uint64_t hash = Fnv(Fnv(kFnvOffset, first), "\xFF");
  return static_cast<std::int64_t>(Fnv(hash, second));
}

std::string KeyArray(const std::vector<std::int64_t>& keys) {
  std::string out = "{";
  for (const std::int64_t key : keys) {
    if (out.size() > 1) out.push_back(',');
    AppendNumber(key, &out);
  }
  out.push_back('}');
  return out;
}

void TsvectorWriter::Clear() {
  bytes_.clear();
  lexemes_.clear();
  words_.clear();
  // A large record's room is let go; a usual one's is kept.
  if (slots_.size() > kKeptSlots) {
    slots_.clear();
    slots_.shrink_to_fit();
  }
  std::fill(slots_.begin(), slots_.end(), 0U);
}

void TsvectorWriter::Grow() {
  slots_.assign(std::max<std::size_t>(kFirstSlots, slots_.size() * 2), 0U);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t k = 0; k < lexemes_.size(); ++k) {
    std::size_t at = lexemes_[k].hash & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = static_cast<std::uint32_t>(k + 1);
  }
}

void TsvectorWriter::Add(std::string_view word) {
  const std::string_view lexeme = LexemeOf(word);
  if (slots_.size() < 2 * (lexemes_.size() + 1)) Grow();
  const std::size_t hash = std::hash<std::string_view>()(lexeme);
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = hash & mask;
  for (; slots_[at] != 0; at = (at + 1) & mask) {
    const Lexeme& known = lexemes_[slots_[at] - 1];
    if (known.hash == hash && Bytes(known) == lexeme) {
      words_.push_back(slots_[at] - 1);
      return;
    }
  }
  lexemes_.push_back(
      Lexeme{bytes_.size(), lexeme.size(), hash, Fnv(Fnv(kFnvOffset, lexeme), "\xFF")});
  bytes_.append(lexeme.data(), lexeme.size());
  slots_[at] = static_cast<std::uint32_t>(lexemes_.size());
  words_.push_back(static_cast<std::uint32_t>(lexemes_.size() - 1));
}

// A lexeme holds no NUL, so one that is shorter than eight bytes, padded
// with NULs, comes before every longer one it begins.
std::uint64_t TsvectorWriter::Head(const Lexeme& l) const {
  std::uint64_t head = 0;
  for (std::size_t b = 0; b < 8; ++b) {
    const unsigned char c = b < l.size ? static_cast<unsigned char>(bytes_[l.offset + b]) : 0;
    head = head << 8 | c;
  }
  return head;
}

void TsvectorWriter::Write(std::string* tsvector, std::string* pairs) {
  tsvector->clear();
  pairs->clear();
  const std::size_t n = words_.size();
  if (n == 0) return;

  // Two words make a pair where the second's position follows the first's.
  keys_.clear();
  for (std::size_t j = 0; j + 1 < n && PositionOf(j + 1) == PositionOf(j) + 1; ++j) {
    const Lexeme& second = lexemes_[words_[j + 1]];
    keys_.push_back(static_cast<std::int64_t>(Fnv(lexemes_[words_[j]].paired, Bytes(second))));
  }
  if (!keys_.empty()) {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    pairs->resize(20 + 12 * keys_.size());
    char* at = pairs->data();
    for (const std::uint32_t header :
         {1U, 0U, kInt8Oid, static_cast<std::uint32_t>(keys_.size()), 1U}) {
      at = PutBig(at, header, 4);
    }
    for (const std::int64_t key : keys_) {
      at = PutBig(at, sizeof key, 4);
      at = PutBig(at, static_cast<std::uint64_t>(key), 8);
    }
  }

  // The positions each lexeme keeps: its first distinct ones.
  for (std::size_t j = 0; j < n; ++j) {
    Lexeme& lexeme = lexemes_[words_[j]];
    const std::int32_t position = PositionOf(j);
    if (position != lexeme.last && lexeme.positions < kLexemePositions) {
      ++lexeme.positions;
      lexeme.last = position;
    }
  }
  // The lexemes in the order the text first names them, while they fit.
  std::size_t taken = 0;
  std::size_t room = 0;
  sorted_.clear();
  for (std::size_t k = 0; k < lexemes_.size(); ++k) {
    Lexeme& lexeme = lexemes_[k];
    const std::size_t cost = lexeme.size + 1 + 2 * (lexeme.positions + 1);
    lexeme.first = room;
    room += lexeme.positions;
    lexeme.positions = 0;
    lexeme.last = 0;
    if (taken + cost > kTsvectorBytes) continue;
    taken += cost;
    sorted_.push_back(Sorted{Head(lexeme), static_cast<std::uint32_t>(k)});
  }
  positions_.resize(room);
  for (std::size_t j = 0; j < n; ++j) {
    Lexeme& lexeme = lexemes_[words_[j]];
    const std::int32_t position = PositionOf(j);
    if (position != lexeme.last && lexeme.positions < kLexemePositions) {
      positions_[lexeme.first + lexeme.positions++] = position;
      lexeme.last = position;
    }
  }

  std::sort(sorted_.begin(), sorted_.end(), [this](const Sorted& a, const Sorted& b) {
    if (a.head != b.head) return a.head < b.head;
    return Bytes(lexemes_[a.lexeme]) < Bytes(lexemes_[b.lexeme]);
  });
  // What a lexeme costs is what its binary form takes: its bytes, the NUL,
  // its count of positions and each of them.
  tsvector->resize(4 + taken);
  char* at = PutBig(tsvector->data(), sorted_.size(), 4);
  for (const Sorted& s : sorted_) {
    const Lexeme& lexeme = lexemes_[s.lexeme];
    at = std::copy_n(bytes_.data() + lexeme.offset, lexeme.size, at);
    *at++ = '\0';
    at = PutBig(at, lexeme.positions, 2);
    for (std::size_t p = 0; p < lexeme.positions; ++p) {
      at = PutBig(at, static_cast<std::uint64_t>(positions_[lexeme.first + p]), 2);
    }
  }
}

std::string TsQueryText(const std::vector<LexemeTerm>& terms) {
  std::string out;
  for (const LexemeTerm& term : terms) {
    if (!out.empty()) out += " & ";
    const bool phrase = term.lexemes.size() > 1;
    if (phrase) out += '(';
    for (std::size_t k = 0; k < term.lexemes.size(); ++k) {
      if (k > 0) out += " <-> ";
      AppendQuoted(term.lexemes[k], &out);
      if (term.prefix && k + 1 == term.lexemes.size()) out += ":*";
    }
    if (phrase) out += ')';
  }
  return out;
}

std::vector<std::int64_t> TermPairKeys(const LexemeTerm& term) {
  const std::size_t count = term.lexemes.size() - (term.prefix && !term.lexemes.empty() ? 1 : 0);
  std::vector<std::int64_t> keys;
  for (std::size_t k = 0; k + 1 < count; ++k) {
    keys.push_back(PairKey(term.lexemes[k], term.lexemes[k + 1]));
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  return keys;
}

}  // namespace search
}  // namespace metashelf

// A tsvector's text form is each lexeme in single quotes (a quote doubled
// and a backslash written twice inside), ':' and its positions separated by
// commas, lexemes separated by one blank; a tsquery's names lexemes alike,
// joined by its operators. The server sorts and merges what it reads, and
// counts, for its limit, each lexeme's bytes (aligned to two) and two bytes
// for its count of positions and for each of them.
#include "search/tsvector_text.h"

#include <algorithm>
#include <charconv>
#include <numeric>

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
  for (const char c : lexeme) {
    if (c == '\'' || c == '\\') out->push_back(c);
    out->push_back(c);
  }
  out->push_back('\'');
}

template <class Number>
void AppendNumber(Number value, std::string* out) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out->append(buffer, result.ptr);
}

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
  words_.clear();
  spans_.clear();
}

void TsvectorWriter::Add(std::string_view word) {
  const std::string_view lexeme = LexemeOf(word);
  spans_.emplace_back(words_.size(), lexeme.size());
  words_.append(lexeme.data(), lexeme.size());
}

std::string_view TsvectorWriter::Word(std::size_t k) const {
  return std::string_view(words_.data() + spans_[k].first, spans_[k].second);
}

void TsvectorWriter::Write(std::string* tsvector, std::string* pairs) {
  tsvector->clear();
  pairs->clear();
  const std::size_t n = spans_.size();
  if (n == 0) return;

  // Two words make a pair where the second's position follows the first's.
  keys_.clear();
  for (std::size_t j = 0; j + 1 < n && PositionOf(j + 1) == PositionOf(j) + 1; ++j) {
    keys_.push_back(PairKey(Word(j), Word(j + 1)));
  }
  if (!keys_.empty()) {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    *pairs = KeyArray(keys_);
  }

  // The words by lexeme, each lexeme's in the order of the text.
  order_.resize(n);
  std::iota(order_.begin(), order_.end(), 0U);
  std::sort(order_.begin(), order_.end(), [this](std::uint32_t a, std::uint32_t b) {
    const int c = Word(a).compare(Word(b));
    return c < 0 || (c == 0 && a < b);
  });
  lexemes_.clear();
  std::size_t total = 0;
  for (std::size_t s = 0; s < n;) {
    Lexeme lexeme{s, s, 0, 0};
    std::int32_t last = 0;
    for (; lexeme.end < n && Word(order_[lexeme.end]) == Word(order_[s]); ++lexeme.end) {
      const std::int32_t position = PositionOf(order_[lexeme.end]);
      if (position != last && lexeme.positions < kLexemePositions) ++lexeme.positions;
      last = position;
    }
    lexeme.cost = spans_[order_[s]].second + 1 + 2 * (lexeme.positions + 1);
    total += lexeme.cost;
    lexemes_.push_back(lexeme);
    s = lexeme.end;
  }
  std::vector<bool> kept(lexemes_.size(), true);
  if (total > kTsvectorBytes) {
    // The lexemes in the order the text first names them, while they fit.
    std::vector<std::size_t> byPlace(lexemes_.size());
    std::iota(byPlace.begin(), byPlace.end(), 0);
    std::sort(byPlace.begin(), byPlace.end(), [this](std::size_t a, std::size_t b) {
      return order_[lexemes_[a].first] < order_[lexemes_[b].first];
    });
    std::size_t taken = 0;
    for (const std::size_t k : byPlace) {
      kept[k] = taken + lexemes_[k].cost <= kTsvectorBytes;
      if (kept[k]) taken += lexemes_[k].cost;
    }
  }

  for (std::size_t k = 0; k < lexemes_.size(); ++k) {
    if (!kept[k]) continue;
    const Lexeme& lexeme = lexemes_[k];
    if (!tsvector->empty()) tsvector->push_back(' ');
    AppendQuoted(Word(order_[lexeme.first]), tsvector);
    std::int32_t last = 0;
    std::size_t written = 0;
    for (std::size_t w = lexeme.first; w < lexeme.end && written < lexeme.positions; ++w) {
      const std::int32_t position = PositionOf(order_[w]);
      if (position == last) continue;
      tsvector->push_back(written == 0 ? ':' : ',');
      AppendNumber(position, tsvector);
      last = position;
      ++written;
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

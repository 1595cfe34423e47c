// Reading the text form of a tsvector: each lexeme in single quotes (a
// quote inside doubled, a backslash written before a quote or backslash),
// then ':' and its positions, each maybe followed by a weight letter,
// separated by commas; lexemes separated by one blank.
#include "search/tsvector_pairs.h"

#include <algorithm>
#include <cstddef>

namespace metashelf {
namespace search {
namespace {

// Positions of a tsvector run from 1 to this.
constexpr long kMostPosition = 16383;

struct Placed {
  long position;
  std::size_t lexeme;
};

// A lexeme or a pair: [begin, end) of a buffer.
struct Span {
  std::size_t begin;
  std::size_t end;
};

// Appends the lexeme in quotes at text[*at] to `buffer`.
bool ReadLexeme(std::string_view text, std::size_t* at, std::string* buffer) {
  std::size_t i = *at;
  if (i >= text.size() || text[i] != '\'') return false;
  ++i;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        buffer->push_back('\'');
        i += 2;
        continue;
      }
      *at = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= text.size()) return false;
      buffer->push_back(text[i + 1]);
      i += 2;
      continue;
    }
    buffer->push_back(c);
    ++i;
  }
  return false;
}

bool ReadPositions(std::string_view text, std::size_t* at, std::size_t lexeme,
                   std::vector<Placed>* placed) {
  std::size_t i = *at;
  if (i >= text.size() || text[i] != ':') {
    return true;  // a lexeme without positions pairs with nothing
  }
  ++i;
  for (;;) {
    long position = 0;
    const std::size_t first = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - first < 6) {
      position = position * 10 + (text[i] - '0');
      ++i;
    }
    if (i == first || position < 1 || position > kMostPosition) return false;
    placed->push_back(Placed{position, lexeme});
    if (i < text.size() && text[i] >= 'A' && text[i] <= 'D') ++i;
    if (i < text.size() && text[i] == ',') {
      ++i;
      continue;
    }
    *at = i;
    return true;
  }
}

// The length of the first `chars` UTF-8 characters of `text`.
std::size_t CharsLength(std::string_view text, int chars) {
  int seen = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (seen == chars) return i;
    ++seen;
  }
  return text.size();
}

// The distinct pairs of `tsvector` as views of `buffer`, in byte order.
bool SortedPairs(std::string_view tsvector, int pairChars, std::string* buffer,
                 std::vector<std::string_view>* pairs) {
  buffer->clear();
  pairs->clear();
  std::vector<Span> lexemes;
  std::vector<Placed> placed;
  std::size_t at = 0;
  while (at < tsvector.size()) {
    if (!lexemes.empty()) {
      if (tsvector[at] != ' ') return false;
      ++at;
    }
    const std::size_t begin = buffer->size();
    if (!ReadLexeme(tsvector, &at, buffer)) return false;
    lexemes.push_back(Span{begin, buffer->size()});
    if (!ReadPositions(tsvector, &at, lexemes.size() - 1, &placed)) return false;
  }
  std::sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) {
    return a.position < b.position || (a.position == b.position && a.lexeme < b.lexeme);
  });
  // Runs of one position: every word of a run pairs with every word of the
  // run at the next position (many words share the last position).
  const auto runEnd = [&placed](std::size_t from) {
    std::size_t end = from;
    while (end < placed.size() && placed[end].position == placed[from].position) ++end;
    return end;
  };
  std::vector<Span> spans;
  for (std::size_t a = 0; a < placed.size();) {
    const std::size_t aEnd = runEnd(a);
    if (aEnd < placed.size() && placed[aEnd].position == placed[a].position + 1) {
      const std::size_t bEnd = runEnd(aEnd);
      for (std::size_t x = a; x < aEnd; ++x) {
        for (std::size_t y = aEnd; y < bEnd; ++y) {
          const Span first = lexemes[placed[x].lexeme];
          const Span second = lexemes[placed[y].lexeme];
          const std::size_t begin = buffer->size();
          buffer->append(*buffer, first.begin, first.end - first.begin);
          buffer->push_back(' ');
          buffer->append(*buffer, second.begin, second.end - second.begin);
          const std::string_view pair(buffer->data() + begin, buffer->size() - begin);
          buffer->resize(begin + CharsLength(pair, pairChars));
          spans.push_back(Span{begin, buffer->size()});
        }
      }
    }
    a = aEnd;
  }
  // Views are taken once the buffer no longer grows.
  pairs->reserve(spans.size());
  for (const Span& s : spans) pairs->emplace_back(buffer->data() + s.begin, s.end - s.begin);
  std::sort(pairs->begin(), pairs->end());
  pairs->erase(std::unique(pairs->begin(), pairs->end()), pairs->end());
  return true;
}

}  // namespace

bool TsvectorPairs(std::string_view tsvector, int pairChars, std::vector<std::string>* pairs) {
  pairs->clear();
  std::string buffer;
  std::vector<std::string_view> views;
  if (!SortedPairs(tsvector, pairChars, &buffer, &views)) return false;
  pairs->assign(views.begin(), views.end());
  return true;
}

bool PairsLiteral(std::string_view tsvector, int pairChars, std::string* scratch,
                  std::string* literal) {
  literal->clear();
  std::vector<std::string_view> views;
  if (!SortedPairs(tsvector, pairChars, scratch, &views)) return false;
  if (views.empty()) return true;
  literal->push_back('{');
  for (const std::string_view pair : views) {
    if (literal->size() > 1) literal->push_back(',');
    AppendArrayElement(pair, literal);
  }
  literal->push_back('}');
  return true;
}

void AppendArrayElement(std::string_view element, std::string* literal) {
  literal->push_back('"');
  for (const char c : element) {
    if (c == '"' || c == '\\') literal->push_back('\\');
    literal->push_back(c);
  }
  literal->push_back('"');
}

std::string ArrayLiteral(const std::vector<std::string>& elements) {
  std::string literal = "{";
  for (const std::string& e : elements) {
    if (literal.size() > 1) literal.push_back(',');
    AppendArrayElement(e, &literal);
  }
  literal.push_back('}');
  return literal;
}

}  // namespace search
}  // namespace metashelf

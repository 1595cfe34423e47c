// Walking token vectors: significant neighbours, matching parentheses,
// top-level words, a word's place and the dotted name it starts, and raw
// target text among the tokens.
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

std::size_t NextSig(const Tokens& t, std::size_t from, std::size_t end) {
  for (std::size_t i = from; i < end && i < t.size(); ++i) {
    if (Significant(t[i])) return i;
  }
  return end;
}

std::size_t PrevSig(const Tokens& t, std::size_t before, std::size_t begin) {
  std::size_t i = before;
  while (i > begin) {
    --i;
    if (Significant(t[i])) return i;
  }
  return kNone;
}

std::size_t MatchParen(const Tokens& t, std::size_t open, std::size_t end) {
  int depth = 0;
  for (std::size_t i = open; i < end && i < t.size(); ++i) {
    if (IsPunct(t[i], "(")) ++depth;
    if (IsPunct(t[i], ")")) {
      --depth;
      if (depth == 0) return i;
    }
  }
  return kNone;
}

std::size_t FindTopLevel(const Tokens& t, std::size_t begin, std::size_t end, const char* keyword) {
  int depth = 0;
  for (std::size_t i = begin; i < end && i < t.size(); ++i) {
    if (IsPunct(t[i], "(")) ++depth;
    if (IsPunct(t[i], ")")) --depth;
    if (depth == 0 && IsWord(t[i], keyword)) return i;
  }
  return kNone;
}

Token Raw(const std::string& text) {
  return Token{TokenKind::kPunct, text, 0};
}

WordPlace PlaceOf(const Tokens& t, std::size_t i) {
  WordPlace p;
  p.prev = PrevSig(t, i);
  p.next = NextSig(t, i + 1, t.size());
  p.afterDot = p.prev != kNone && IsPunct(t[p.prev], ".");
  p.beforeDot = p.next < t.size() && IsPunct(t[p.next], ".");
  p.beforeParen = p.next < t.size() && IsPunct(t[p.next], "(");
  return p;
}

DottedName DottedNameAt(const Tokens& t, std::size_t i, const WordPlace& place) {
  DottedName n;
  if (place.afterDot || !place.beforeDot) return n;
  const std::size_t second = NextSig(t, place.next + 1, t.size());
  if (second >= t.size() || t[second].kind != TokenKind::kWord) return n;
  n.word[0] = i;
  n.word[1] = second;
  n.count = 2;
  const std::size_t dot2 = NextSig(t, second + 1, t.size());
  if (dot2 < t.size() && IsPunct(t[dot2], ".")) {
    const std::size_t third = NextSig(t, dot2 + 1, t.size());
    if (third < t.size() && t[third].kind == TokenKind::kWord) {
      n.word[2] = third;
      n.count = 3;
    }
  }
  return n;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

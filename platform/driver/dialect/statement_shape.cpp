// Reading a statement's shape from its tokens: compound selects and
// parenthesised queries, CREATE INDEX and CREATE TABLE column types, and
// ALTER SEQUENCE ... INCREMENT BY.
#include <cstdlib>

#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

Compound SplitCompound(const Tokens& t, std::size_t begin, std::size_t end) {
  Compound c;
  int depth = 0;
  std::size_t operandStart = begin;
  for (std::size_t i = begin; i < end; ++i) {
    if (IsPunct(t[i], "(")) ++depth;
    if (IsPunct(t[i], ")")) --depth;
    if (depth != 0) continue;
    if (IsWord(t[i], "UNION") || IsWord(t[i], "INTERSECT") || IsWord(t[i], "MINUS") ||
        IsWord(t[i], "EXCEPT")) {
      std::size_t opEnd = i + 1;
      if (IsWord(t[i], "UNION")) {
        const std::size_t next = NextSig(t, i + 1, end);
        if (next < end && IsWord(t[next], "ALL")) opEnd = next + 1;
      }
      c.operands.emplace_back(operandStart, i);
      c.operators.emplace_back(i, opEnd);
      operandStart = opEnd;
      i = opEnd - 1;
    }
  }
  c.operands.emplace_back(operandStart, end);
  return c;
}

bool IsQueryParen(const Tokens& t, std::size_t open, std::size_t end) {
  std::size_t i = open;
  while (i < end && IsPunct(t[i], "(")) i = NextSig(t, i + 1, end);
  return i < end && (IsWord(t[i], "SELECT") || IsWord(t[i], "WITH"));
}

std::size_t CreateIndexWord(const Tokens& t) {
  std::size_t i = NextSig(t, 0, t.size());
  if (i >= t.size() || !IsWord(t[i], "CREATE")) return kNone;
  i = NextSig(t, i + 1, t.size());
  if (i < t.size() && IsWord(t[i], "UNIQUE")) i = NextSig(t, i + 1, t.size());
  return i < t.size() && IsWord(t[i], "INDEX") ? i : kNone;
}

std::vector<ColumnType> CreateTableColumnTypes(const Tokens& t) {
  std::vector<ColumnType> types;
  const std::size_t first = NextSig(t, 0, t.size());
  const std::size_t second = NextSig(t, first + 1, t.size());
  if (second >= t.size() || !IsWord(t[first], "CREATE") || !IsWord(t[second], "TABLE")) {
    return types;
  }
  std::size_t open = second;
  while (open < t.size() && !IsPunct(t[open], "(")) ++open;
  if (open >= t.size()) return types;
  const std::size_t close = MatchParen(t, open, t.size());
  if (close == kNone) return types;
  std::size_t element = open;
  while (element < close) {
    const std::size_t name = NextSig(t, element + 1, close);
    if (name >= close) break;
    const std::size_t type = NextSig(t, name + 1, close);
    const bool constraint = IsWord(t[name], "CONSTRAINT") || IsWord(t[name], "PRIMARY") ||
                            IsWord(t[name], "UNIQUE") || IsWord(t[name], "CHECK") ||
                            IsWord(t[name], "FOREIGN");
    if (!constraint && type < close && t[type].kind == TokenKind::kWord) {
      ColumnType column{type};
      const std::size_t size = NextSig(t, type + 1, close);
      if (size < close && IsPunct(t[size], "(")) {
        const std::size_t sizeEnd = MatchParen(t, size, close);
        if (sizeEnd != kNone) {
          column.sizeOpen = size;
          column.sizeClose = sizeEnd;
        }
      }
      types.push_back(column);
    }
    // Next element: the next top-level comma of the list.
    int depth = 0;
    std::size_t k = name;
    for (; k < close; ++k) {
      if (IsPunct(t[k], "(")) ++depth;
      if (IsPunct(t[k], ")")) --depth;
      if (depth == 0 && IsPunct(t[k], ",")) break;
    }
    element = k;
  }
  return types;
}

bool ParseSequenceAlter(const Tokens& t, SequenceAlter* alter, bool* ok, Error* error) {
  std::vector<std::size_t> sig;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (Significant(t[i])) sig.push_back(i);
  }
  if (sig.size() < 2 || !IsWord(t[sig[0]], "ALTER") || !IsWord(t[sig[1]], "SEQUENCE")) {
    return false;
  }
  *ok = false;
  std::size_t k = 2;
  auto at = [&](std::size_t j) -> const Token* { return j < sig.size() ? &t[sig[j]] : nullptr; };
  if (!at(k) || at(k)->kind != TokenKind::kWord) {
    *error = "ALTER SEQUENCE needs a sequence name";
    return true;
  }
  alter->name = Upper(at(k)->text);
  ++k;
  if (at(k) && IsPunct(*at(k), ".")) {
    if (!at(k + 1) || at(k + 1)->kind != TokenKind::kWord) {
      *error = "ALTER SEQUENCE needs a sequence name";
      return true;
    }
    alter->owner = alter->name;
    alter->name = Upper(at(k + 1)->text);
    k += 2;
  }
  if (!at(k) || !IsWord(*at(k), "INCREMENT") || !at(k + 1) || !IsWord(*at(k + 1), "BY")) {
    *error = "only ALTER SEQUENCE ... INCREMENT BY n is supported";
    return true;
  }
  k += 2;
  bool negative = false;
  if (at(k) && (IsPunct(*at(k), "-") || IsPunct(*at(k), "+"))) {
    negative = IsPunct(*at(k), "-");
    ++k;
  }
  const Token* number = at(k);
  if (!number || number->kind != TokenKind::kNumber ||
      number->text.find_first_not_of("0123456789") != std::string::npos ||
      number->text.size() > 12 || at(k + 1) != nullptr) {
    *error = "ALTER SEQUENCE ... INCREMENT BY needs an integer";
    return true;
  }
  alter->increment = std::strtoll(number->text.c_str(), nullptr, 10) * (negative ? -1 : 1);
  if (alter->increment == 0) {
    *error = Error{4002, "ORA-04002: INCREMENT must be a non-zero integer"};
    return true;
  }
  *ok = true;
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

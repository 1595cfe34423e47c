// Prefix-keyed text columns on PostgreSQL. A btree index entry must fit in
// a third of a page (about 2,700 bytes after compression), so an index on a
// wide text column would refuse the row of a long value that does not
// compress. Such a column (a PrefixKeyedColumn, named by the caller that
// made its tables) is indexed by its first keyChars characters, and every
// comparison of it with a value in a query on such a table carries a
// comparison of the prefixes that the index can serve (COLUMN, 512 chars):
//   COLUMN = ?            (COLUMN = ? AND left(COLUMN,512) = left(?,512))
//   COLUMN < ?  / <= ?    ... left(COLUMN,512) <= left(?,512)
//   COLUMN > ?  / >= ?    ... left(COLUMN,512) >= left(?,512)
//   COLUMN BETWEEN ? AND ?  ... left(COLUMN,512) BETWEEN left(?,512) AND left(?,512)
// The columns compare in binary order (COLLATE "C"), where the prefix of a
// smaller text is never greater than the prefix of a larger one, so the
// added comparison holds whenever the original does; the pair is
// parenthesised and means exactly what the comparison alone means, NULLs
// included, wherever it stands (under NOT, OR, ...).
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

bool IsKeyedTable(const Token& t, const PrefixKeyedColumn& column) {
  if (t.kind != TokenKind::kWord) return false;
  const std::string upper = Upper(t.text);
  const std::string& stem = column.tableStem;
  if (upper.size() <= stem.size() || upper.compare(0, stem.size(), stem) != 0) return false;
  return upper.find_first_not_of("0123456789", stem.size()) == std::string::npos;
}

// The table token after `[owner.]` starting at the significant token `at`;
// kNone when the name is not a plain word or a qualified one.
std::size_t TableNameAt(const Tokens& t, std::size_t at, std::size_t end) {
  if (at >= end || t[at].kind != TokenKind::kWord) return kNone;
  const std::size_t dot = NextSig(t, at + 1, end);
  if (dot < end && IsPunct(t[dot], ".")) {
    const std::size_t name = NextSig(t, dot + 1, end);
    return name < end && t[name].kind == TokenKind::kWord ? name : kNone;
  }
  return at;
}

bool IsKeyedColumn(const Tokens& t, std::size_t i, const PrefixKeyedColumn& column) {
  if (!IsWord(t[i], column.column.c_str())) return false;
  const std::size_t prev = PrevSig(t, i);
  return prev == kNone || !IsPunct(t[prev], ".");
}

std::string Prefix(const std::string& operand, const std::string& chars) {
  return "left(" + operand + "," + chars + ")";
}

// True when the query operand [b, e) (a single SELECT, DELETE or UPDATE, no
// set operator) reads or writes one table of `column` and no other.
bool OnOneKeyedTable(const Tokens& t, std::size_t b, std::size_t e,
                     const PrefixKeyedColumn& column) {
  const std::size_t first = NextSig(t, b, e);
  std::size_t name = kNone;
  if (first < e && IsWord(t[first], "UPDATE")) {
    name = NextSig(t, first + 1, e);
  } else {
    const std::size_t from = FindTopLevel(t, b, e, "FROM");
    if (from != kNone) name = NextSig(t, from + 1, e);
  }
  const std::size_t table = name == kNone ? kNone : TableNameAt(t, name, e);
  if (table == kNone || !IsKeyedTable(t[table], column)) return false;
  const std::size_t after = NextSig(t, table + 1, e);
  return after >= e || IsWord(t[after], "WHERE") || IsWord(t[after], "SET");
}

// Marks the `column` tokens of [b, e) that stand in a query operand on one
// table of that column; nested queries are marked by their own operands.
// Each level is walked once: texts can hold thousands of sub-selects.
void MarkKeyedColumns(const Tokens& t, std::size_t b, std::size_t e,
                      const PrefixKeyedColumn& column, std::vector<char>* marks) {
  for (const auto& operand : SplitCompound(t, b, e).operands) {
    const bool keyed = OnOneKeyedTable(t, operand.first, operand.second, column);
    for (std::size_t i = operand.first; i < operand.second; ++i) {
      if (IsPunct(t[i], "(") && IsQueryParen(t, i, operand.second)) {
        const std::size_t close = MatchParen(t, i, operand.second);
        if (close == kNone) return;
        MarkKeyedColumns(t, i + 1, close, column, marks);
        i = close;
        continue;
      }
      if (keyed && IsKeyedColumn(t, i, column)) (*marks)[i] = 1;
    }
  }
}

bool IsValueOperand(const Token& t) {
  return t.kind == TokenKind::kString ||
         ((t.kind == TokenKind::kBind || t.kind == TokenKind::kLifted) && t.slot > 0);
}

// What may stand right after a comparison for it to be a whole operand of
// AND / OR / NOT (comparisons bind tighter than these, looser than ||).
bool EndsComparison(const Tokens& t, std::size_t at) {
  if (at >= t.size()) return true;
  static const char* const kWords[] = {"AND",       "OR",    "ORDER",  "GROUP",  "UNION",
                                       "INTERSECT", "MINUS", "EXCEPT", "HAVING", "CONNECT"};
  for (const char* w : kWords) {
    if (IsWord(t[at], w)) return true;
  }
  return IsPunct(t[at], ")");
}

bool StartsComparison(const Tokens& t, std::size_t i) {
  const std::size_t prev = PrevSig(t, i);
  return prev != kNone &&
         (IsWord(t[prev], "WHERE") || IsWord(t[prev], "AND") || IsWord(t[prev], "OR") ||
          IsWord(t[prev], "NOT") || IsPunct(t[prev], "("));
}

}  // namespace

void IndexByPrefix(Tokens* t, const PrefixKeyedColumn& column) {
  const std::string chars = std::to_string(column.keyChars);
  const std::size_t i = CreateIndexWord(*t);
  if (i == kNone) return;
  const std::size_t on = FindTopLevel(*t, i + 1, t->size(), "ON");
  if (on == kNone) return;
  const std::size_t table = TableNameAt(*t, NextSig(*t, on + 1, t->size()), t->size());
  if (table == kNone || !IsKeyedTable((*t)[table], column)) return;
  const std::size_t open = NextSig(*t, table + 1, t->size());
  if (open >= t->size() || !IsPunct((*t)[open], "(")) return;
  const std::size_t close = MatchParen(*t, open, t->size());
  if (close == kNone) return;
  for (std::size_t k = open + 1; k < close; ++k) {
    if (!IsWord((*t)[k], column.column.c_str())) continue;
    const std::size_t prev = PrevSig(*t, k);
    const std::size_t next = NextSig(*t, k + 1, close + 1);
    if ((IsPunct((*t)[prev], "(") || IsPunct((*t)[prev], ",")) &&
        (IsPunct((*t)[next], ",") || IsPunct((*t)[next], ")"))) {
      (*t)[k] = Raw(Prefix((*t)[k].text, chars));
    }
  }
}

void AddPrefixComparisons(Tokens* t, const PrefixKeyedColumn& column) {
  bool any = false;
  for (const Token& token : *t) any = any || IsWord(token, column.column.c_str());
  if (!any) return;
  const std::string chars = std::to_string(column.keyChars);
  std::vector<char> marks(t->size(), 0);
  MarkKeyedColumns(*t, 0, t->size(), column, &marks);
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < t->size(); ++i) {
    if (marks[i] != 0) candidates.push_back(i);
  }

  // Insertions, applied back to front: (position, tokens to insert before it).
  std::vector<std::pair<std::size_t, Tokens>> inserts;
  for (const std::size_t i : candidates) {
    if (!StartsComparison(*t, i)) continue;
    const std::size_t op = NextSig(*t, i + 1, t->size());
    if (op >= t->size()) continue;
    const std::size_t v1 = NextSig(*t, op + 1, t->size());
    if (v1 >= t->size() || !IsValueOperand((*t)[v1])) continue;
    Tokens added;
    std::size_t last = v1;
    const std::string keyed = Prefix((*t)[i].text, chars);
    if (IsWord((*t)[op], "BETWEEN")) {
      const std::size_t conj = NextSig(*t, v1 + 1, t->size());
      const std::size_t v2 = conj < t->size() ? NextSig(*t, conj + 1, t->size()) : t->size();
      if (v2 >= t->size() || !IsWord((*t)[conj], "AND") || !IsValueOperand((*t)[v2])) continue;
      last = v2;
      added = {Raw(" AND " + keyed + " BETWEEN left("),
               (*t)[v1],
               Raw("," + chars + ") AND left("),
               (*t)[v2],
               Raw("," + chars + ")"),
               Raw(")")};
    } else {
      const std::string& o = (*t)[op].text;
      const char* prefixOp = nullptr;
      if (o == "=") prefixOp = "=";
      if (o == "<" || o == "<=") prefixOp = "<=";
      if (o == ">" || o == ">=") prefixOp = ">=";
      if (prefixOp == nullptr || (*t)[op].kind != TokenKind::kPunct) continue;
      added = {Raw(" AND " + keyed + " " + prefixOp + " left("), (*t)[v1], Raw("," + chars + ")"),
               Raw(")")};
    }
    if (!EndsComparison(*t, NextSig(*t, last + 1, t->size()))) continue;
    inserts.emplace_back(last + 1, std::move(added));
    inserts.emplace_back(i, Tokens{Raw("(")});
  }
  if (inserts.empty()) return;
  Tokens out;
  out.reserve(t->size() + inserts.size() * 4);
  // No two insertions share a position: a comparison spans several tokens.
  std::sort(inserts.begin(), inserts.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::size_t k = 0;
  for (std::size_t i = 0; i <= t->size(); ++i) {
    while (k < inserts.size() && inserts[k].first == i) {
      out.insert(out.end(), inserts[k].second.begin(), inserts[k].second.end());
      ++k;
    }
    if (i < t->size()) out.push_back((*t)[i]);
  }
  t->swap(out);
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

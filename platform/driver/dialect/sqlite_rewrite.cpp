// The SQLite target. Owners are attached databases, so OWNER.TABLE stays as
// written. What SQLite lacks is supplied by functions the backend registers
// (to_date, to_char, like, ms_nextval, ms_alter_sequence, ms_lob_length);
// this file rewrites the texts that name them, Oracle's column types, DUAL,
// SYSDATE, EMPTY_BLOB() and parenthesised compound-select operands.
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

Token Raw(const std::string& text) {
  return Token{TokenKind::kPunct, text, 0};
}

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

// Function-level rewrites that need no structure: DUAL, SYSDATE,
// owner.SEQ.NEXTVAL, DBMS_LOB.GETLENGTH, EMPTY_BLOB(), MINUS.
Tokens RewriteWords(const Tokens& t) {
  Tokens out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    if (tok.kind != TokenKind::kWord) {
      out.push_back(tok);
      continue;
    }
    const std::size_t prev = PrevSig(t, i);
    const bool afterDot = prev != kNone && IsPunct(t[prev], ".");
    const std::size_t next = NextSig(t, i + 1, t.size());
    const bool beforeDot = next < t.size() && IsPunct(t[next], ".");
    const bool beforeParen = next < t.size() && IsPunct(t[next], "(");
    if (IsWord(tok, "DUAL") && !afterDot && !beforeDot && prev != kNone &&
        (IsWord(t[prev], "FROM") || IsPunct(t[prev], ","))) {
      out.push_back(Raw("(SELECT 'X' AS DUMMY) DUAL"));
      continue;
    }
    if (IsWord(tok, "SYSDATE") && !afterDot && !beforeDot && !beforeParen) {
      out.push_back(Raw("datetime('now','localtime')"));
      continue;
    }
    if (IsWord(tok, "MINUS") && !afterDot && !beforeDot) {
      out.push_back(Raw("EXCEPT"));
      continue;
    }
    if (IsWord(tok, "EMPTY_BLOB") && beforeParen) {
      const std::size_t close = NextSig(t, next + 1, t.size());
      if (close < t.size() && IsPunct(t[close], ")")) {
        out.push_back(Raw("X''"));
        i = close;
        continue;
      }
    }
    if (!afterDot && beforeDot) {
      // NAME . NAME [. NAME]: sequence draws and package functions.
      const std::size_t second = NextSig(t, next + 1, t.size());
      if (second < t.size() && t[second].kind == TokenKind::kWord) {
        if (IsWord(tok, "DBMS_LOB") && IsWord(t[second], "GETLENGTH")) {
          out.push_back(Raw("ms_lob_length"));
          i = second;
          continue;
        }
        const std::size_t dot2 = NextSig(t, second + 1, t.size());
        if (IsWord(t[second], "NEXTVAL")) {
          out.push_back(Raw("ms_nextval(''," + Quote(Upper(tok.text)) + ")"));
          i = second;
          continue;
        }
        if (dot2 < t.size() && IsPunct(t[dot2], ".")) {
          const std::size_t third = NextSig(t, dot2 + 1, t.size());
          if (third < t.size() && IsWord(t[third], "NEXTVAL")) {
            out.push_back(Raw("ms_nextval(" + Quote(Upper(tok.text)) + "," +
                              Quote(Upper(t[second].text)) + ")"));
            i = third;
            continue;
          }
        }
      }
    }
    out.push_back(tok);
  }
  return out;
}

// Oracle column types of CREATE TABLE, in the column list only.
void RewriteColumnTypes(Tokens* t) {
  const std::size_t first = NextSig(*t, 0, t->size());
  const std::size_t second = NextSig(*t, first + 1, t->size());
  if (second >= t->size() || !IsWord((*t)[first], "CREATE") || !IsWord((*t)[second], "TABLE")) {
    return;
  }
  std::size_t open = second;
  while (open < t->size() && !IsPunct((*t)[open], "(")) ++open;
  if (open >= t->size()) return;
  const std::size_t close = MatchParen(*t, open, t->size());
  if (close == kNone) return;
  std::vector<bool> drop(t->size(), false);  // size arguments of mapped types
  std::size_t element = open;
  while (element < close) {
    const std::size_t name = NextSig(*t, element + 1, close);
    if (name >= close) break;
    const std::size_t type = NextSig(*t, name + 1, close);
    const bool constraint = IsWord((*t)[name], "CONSTRAINT") || IsWord((*t)[name], "PRIMARY") ||
                            IsWord((*t)[name], "UNIQUE") || IsWord((*t)[name], "CHECK") ||
                            IsWord((*t)[name], "FOREIGN");
    if (!constraint && type < close && (*t)[type].kind == TokenKind::kWord) {
      const std::string upper = Upper((*t)[type].text);
      const char* mapped = nullptr;
      if (upper == "NUMBER" || upper == "INTEGER" || upper == "FLOAT") mapped = "NUMERIC";
      if (upper == "VARCHAR2" || upper == "NVARCHAR2" || upper == "VARCHAR" || upper == "CHAR" ||
          upper == "CLOB" || upper == "DATE") {
        mapped = "TEXT";
      }
      if (upper == "BLOB" || upper == "RAW" || upper == "LONG") mapped = "BLOB";
      if (mapped) {
        (*t)[type].text = mapped;
        const std::size_t size = NextSig(*t, type + 1, close);
        if (size < close && IsPunct((*t)[size], "(")) {
          const std::size_t sizeEnd = MatchParen(*t, size, close);
          if (sizeEnd != kNone) {
            for (std::size_t k = size; k <= sizeEnd; ++k) drop[k] = true;
          }
        }
      }
    }
    // Next element: the next top-level comma of the list.
    int depth = 0;
    std::size_t k = name;
    for (; k < close; ++k) {
      if (IsPunct((*t)[k], "(")) ++depth;
      if (IsPunct((*t)[k], ")")) --depth;
      if (depth == 0 && IsPunct((*t)[k], ",")) break;
    }
    element = k;
  }
  Tokens kept;
  kept.reserve(t->size());
  for (std::size_t k = 0; k < t->size(); ++k) {
    if (!drop[k]) kept.push_back(std::move((*t)[k]));
  }
  *t = std::move(kept);
}

// CREATE INDEX owner.name ON owner.table(...): SQLite creates the index in
// the database that qualifies its name and wants the table unqualified.
void UnqualifyIndexTable(Tokens* t) {
  const std::size_t k = CreateIndexWord(*t);
  if (k == kNone) return;
  const std::size_t on = FindTopLevel(*t, k + 1, t->size(), "ON");
  if (on == kNone) return;
  const std::size_t owner = NextSig(*t, on + 1, t->size());
  const std::size_t dot = NextSig(*t, owner + 1, t->size());
  if (dot >= t->size() || (*t)[owner].kind != TokenKind::kWord || !IsPunct((*t)[dot], ".")) {
    return;
  }
  t->erase(t->begin() + static_cast<std::ptrdiff_t>(owner),
           t->begin() + static_cast<std::ptrdiff_t>(dot + 1));
}

// A query expression: SQLite refuses parenthesised operands of a compound
// select, so each "(query)" operand becomes "SELECT * FROM (query)", which
// keeps its grouping. Operators keep their left-to-right order, which is
// Oracle's.
std::string RenderQuery(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e) {
  const Compound c = SplitCompound(t, b, e);
  std::string out;
  for (std::size_t i = 0; i < c.operands.size(); ++i) {
    const auto [ob, oe] = c.operands[i];
    const std::size_t open = NextSig(t, ob, oe);
    std::size_t close = kNone;
    if (open < oe && IsPunct(t[open], "(") && IsQueryParen(t, open, oe)) {
      close = MatchParen(t, open, oe);
    }
    if (close != kNone) {
      out += Render(t, ob, open, r.prefix);
      out += "SELECT * FROM (" + RenderQuery(r, t, open + 1, close) + ")";
      out += RenderPlain(r, t, close + 1, oe);
    } else {
      out += RenderPlain(r, t, ob, oe);
    }
    if (i < c.operators.size()) {
      out += Render(t, c.operators[i].first, c.operators[i].second, r.prefix);
    }
  }
  return out;
}

}  // namespace

bool RewriteForSQLite(Tokens& tokens, Adapted* out, std::string* error) {
  if (out->kind == Adapted::Kind::kProcedureCall) return true;  // the backend runs the body
  SequenceAlter alter;
  bool ok = false;
  if (ParseSequenceAlter(tokens, &alter, &ok, error)) {
    if (!ok) return false;
    out->text = "SELECT ms_alter_sequence(" + Quote(alter.owner) + "," + Quote(alter.name) + "," +
                std::to_string(alter.increment) + ")";
    return true;
  }
  Tokens t = RewriteWords(tokens);
  RewriteColumnTypes(&t);
  UnqualifyIndexTable(&t);
  // The row identity rides along as an extra last column.
  if (out->forUpdate && !AddRowIdentityColumn(&t, "_ROWID_", error)) return false;
  out->text = RenderStatement(Renderer{'?', RenderQuery}, t);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

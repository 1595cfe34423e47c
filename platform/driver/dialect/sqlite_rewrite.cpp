// The SQLite target. Owners are attached databases, so OWNER.TABLE stays as
// written. What SQLite lacks is supplied by functions the backend registers
// (to_date, to_char, like, ms_nextval, ms_alter_sequence, ms_lob_length);
// this file rewrites the texts that name them, Oracle's column types, DUAL,
// SYSDATE, EMPTY_BLOB() and parenthesised compound-select operands.
#include "dialect/rewrite.h"
#include "metashelf/base/sql_quote.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

std::string Quote(const std::string& text) {
  return base::SqlLiteral(text);
}

constexpr WordSpellings kSpellings = {"(SELECT 'X' AS DUMMY) DUAL", "datetime('now','localtime')",
                                      "X''", "ms_lob_length"};

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
    const WordPlace at = PlaceOf(t, i);
    const std::size_t last = RewriteCommonWord(t, i, at, kSpellings, &out);
    if (last != kNone) {
      i = last;
      continue;
    }
    // NAME . NAME [. NAME]: sequence draws.
    const DottedName name = DottedNameAt(t, i, at);
    if (name.count >= 2) {
      const Token& second = t[name.word[1]];
      if (IsWord(second, "NEXTVAL")) {
        out.push_back(Raw("ms_nextval(''," + Quote(Upper(tok.text)) + ")"));
        i = name.word[1];
        continue;
      }
      if (name.count == 3 && IsWord(t[name.word[2]], "NEXTVAL")) {
        out.push_back(
            Raw("ms_nextval(" + Quote(Upper(tok.text)) + "," + Quote(Upper(second.text)) + ")"));
        i = name.word[2];
        continue;
      }
    }
    out.push_back(tok);
  }
  return out;
}

// Oracle column types of CREATE TABLE, in the column list only; a mapped
// type loses its size.
void RewriteColumnTypes(Tokens* t) {
  std::vector<bool> drop(t->size(), false);  // size arguments of mapped types
  for (const ColumnType& column : CreateTableColumnTypes(*t)) {
    const std::string upper = Upper((*t)[column.word].text);
    const char* mapped = nullptr;
    if (upper == "NUMBER" || upper == "INTEGER" || upper == "FLOAT") mapped = "NUMERIC";
    if (upper == "VARCHAR2" || upper == "NVARCHAR2" || upper == "VARCHAR" || upper == "CHAR" ||
        upper == "CLOB" || upper == "DATE") {
      mapped = "TEXT";
    }
    if (upper == "BLOB" || upper == "RAW" || upper == "LONG") mapped = "BLOB";
    if (!mapped) continue;
    (*t)[column.word].text = mapped;
    if (column.sizeOpen != kNone) {
      for (std::size_t k = column.sizeOpen; k <= column.sizeClose; ++k) drop[k] = true;
    }
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

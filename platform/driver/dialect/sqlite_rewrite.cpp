// The SQLite target. A database is one file and an Oracle owner's objects
// live in it as tables named "OWNER.TABLE" (the owner, a dot and the name,
// upper-cased), so that the whole catalog is one file a person can copy.
// This file maps the owner-qualified names of table positions to those
// names (see OwnerTableName), and a three-part OWNER.TABLE.COLUMN to
// TABLE.COLUMN, which works because an owner-qualified table of a FROM list
// (or UPDATE) without an alias of its own is given its bare name as alias
// when the statement qualifies a column with that name (as Oracle lets a
// query name such a table by its bare name). What SQLite lacks is supplied by functions the backend
// registers (to_date, to_char, like, ms_nextval, ms_alter_sequence, ms_lob_length); this file
// rewrites the texts that name them, Oracle's column types, DUAL, SYSDATE, EMPTY_BLOB() and
// parenthesised compound-select operands.
#include <initializer_list>

#include "dialect/rewrite.h"
#include "metashelf/base/sql_quote.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

using base::SqlLiteral;

// Copies `t`, each token that is not a word as it is; each word goes to
// `word(i, at, &out)`, which appends what the word and the tokens it takes
// with it become and returns the index of the last token it took.
template <typename OnWord>
Tokens MapWords(const Tokens& t, OnWord word) {
  Tokens out;
  out.reserve(t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != TokenKind::kWord) {
      out.push_back(t[i]);
      continue;
    }
    i = word(i, PlaceOf(t, i), &out);
  }
  return out;
}

constexpr WordSpellings kSpellings = {"(SELECT 'X' AS DUMMY) DUAL", "datetime('now','localtime')",
                                      "X''", "ms_lob_length"};

// Function-level rewrites that need no structure: DUAL, SYSDATE,
// owner.SEQ.NEXTVAL, DBMS_LOB.GETLENGTH, EMPTY_BLOB(), MINUS.
Tokens RewriteWords(const Tokens& t) {
  return MapWords(t, [&t](std::size_t i, const WordPlace& at, Tokens* out) {
    const Token& tok = t[i];
    const std::size_t last = RewriteCommonWord(t, i, at, kSpellings, out);
    if (last != kNone) return last;
    // NAME . NAME [. NAME]: sequence draws.
    const DottedName name = DottedNameAt(t, i, at);
    if (name.count >= 2) {
      const Token& second = t[name.word[1]];
      if (IsWord(second, "NEXTVAL")) {
        out->push_back(Raw("ms_nextval(''," + SqlLiteral(Upper(tok.text)) + ")"));
        return name.word[1];
      }
      if (name.count == 3 && IsWord(t[name.word[2]], "NEXTVAL")) {
        out->push_back(Raw("ms_nextval(" + SqlLiteral(Upper(tok.text)) + "," +
                           SqlLiteral(Upper(second.text)) + ")"));
        return name.word[2];
      }
    }
    out->push_back(tok);
    return i;
  });
}

bool IsOneOf(const Token& tok, std::initializer_list<const char*> words) {
  for (const char* w : words) {
    if (IsWord(tok, w)) return true;
  }
  return false;
}

// A word after a table name that is not its alias.
bool EndsTableReference(const Token& tok) {
  return IsOneOf(tok, {"WHERE",  "GROUP",  "ORDER",   "HAVING", "UNION",   "INTERSECT",
                       "MINUS",  "EXCEPT", "JOIN",    "INNER",  "LEFT",    "RIGHT",
                       "FULL",   "CROSS",  "NATURAL", "ON",     "USING",   "CONNECT",
                       "START",  "FOR",    "SET",     "LIMIT",  "WINDOW",  "RETURNING",
                       "VALUES", "SELECT", "DEFAULT", "OUTER",  "INDEXED", "NOT"});
}

// Marks the first word of every table reference: after FROM, JOIN, UPDATE,
// INTO, TABLE, INDEX and IF [NOT] EXISTS, after a comma of a FROM list, and
// the table of CREATE INDEX ... ON. kind[i] is 'a' where an alias may be
// added (FROM lists, joins, UPDATE), 't' elsewhere, 'o' for the table of a
// CREATE INDEX.
std::vector<char> TablePositions(const Tokens& t) {
  std::vector<char> kind(t.size(), 0);
  std::vector<bool> inFrom{false};  // per parenthesis depth: inside a FROM list
  const std::size_t indexWord = CreateIndexWord(t);
  const std::size_t indexOn =
      indexWord == kNone ? kNone : FindTopLevel(t, indexWord + 1, t.size(), "ON");
  std::size_t prev = kNone;
  for (std::size_t i = NextSig(t, 0, t.size()); i < t.size(); i = NextSig(t, i + 1, t.size())) {
    const Token& tok = t[i];
    if (IsPunct(tok, "(")) {
      inFrom.push_back(false);
    } else if (IsPunct(tok, ")")) {
      if (inFrom.size() > 1) inFrom.pop_back();
    } else if (tok.kind == TokenKind::kWord) {
      if (prev != kNone && !IsPunct(t[prev], ".")) {
        const Token& p = t[prev];
        if (IsOneOf(p, {"FROM", "JOIN", "UPDATE"}) || (IsPunct(p, ",") && inFrom.back())) {
          kind[i] = 'a';
        } else if (IsOneOf(p, {"INTO", "TABLE", "INDEX", "EXISTS"})) {
          kind[i] = 't';
        } else if (prev == indexOn) {
          kind[i] = 'o';
        }
      }
      if (IsWord(tok, "FROM")) {
        inFrom.back() = true;
      } else if (IsOneOf(tok, {"WHERE", "GROUP", "ORDER", "HAVING", "UNION", "INTERSECT", "MINUS",
                               "EXCEPT", "CONNECT", "START", "FOR", "SET", "LIMIT", "WINDOW",
                               "RETURNING", "VALUES", "SELECT"})) {
        inFrom.back() = false;
      }
    }
    prev = i;
  }
  return kind;
}

// A name as a table position needs it: a quoted name keeps its quotes,
// and is the unquoted name when written as Oracle folds names.
std::string BareName(std::string_view text) {
  return text.size() >= 2 && text.front() == '"' ? std::string(text.substr(1, text.size() - 2))
                                                 : Upper(text);
}

// Whether a quoted name is written as Oracle folds names ("DC_FOLD": a
// capital letter, then capitals, digits, _, $ or #).
bool FoldedQuotedName(const Token& token) {
  if (token.kind != TokenKind::kQuotedName || token.text.size() < 3) return false;
  const std::string inner = token.text.substr(1, token.text.size() - 2);
  bool folded = inner[0] >= 'A' && inner[0] <= 'Z';
  for (const char c : inner) {
    folded = folded &&
             ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#');
  }
  return folded;
}

// The parts of a dotted name quoted as Oracle folds names ("OWNER"."TABLE",
// OWNER."TABLE") take part in the owner mapping as unquoted words do: they
// are words while it runs, their quotes kept, so that no keyword test
// matches them, and quoted names again afterwards.
void QuotedPartsAs(Tokens* t, TokenKind from, TokenKind to) {
  for (std::size_t i = 0; i < t->size(); ++i) {
    Token& token = (*t)[i];
    if (token.kind != from || token.text.empty() || token.text.front() != '"') continue;
    if (from == TokenKind::kQuotedName) {
      const WordPlace at = PlaceOf(*t, i);
      if (!FoldedQuotedName(token) || !(at.afterDot || at.beforeDot)) continue;
    }
    token.kind = to;
  }
}

// OWNER.TABLE in table positions becomes the one-file name "OWNER.TABLE"
// (OWNER.sqlite_master stays the file's own sqlite_master); OWNER.TABLE.COLUMN
// becomes TABLE.COLUMN. A CREATE INDEX on an unqualified table takes the
// index name's owner, as Oracle resolves the table in that schema.
Tokens MapOwnerNames(const Tokens& t, Adapted* adapted) {
  const std::vector<char> kind = TablePositions(t);
  const std::size_t first = NextSig(t, 0, t.size());
  const bool create = first < t.size() && IsWord(t[first], "CREATE");
  // Records a name at a table position; the first 't' of a CREATE is the
  // object it makes.
  auto named = [&](char k, std::string name) {
    if (create && k == 't' && adapted->creates.empty()) {
      adapted->creates = name;
    } else {
      adapted->tables.push_back(std::move(name));
    }
  };
  auto bare = [](const Token& tok) { return BareName(tok.text); };
  // Names that qualify a column somewhere (NAME.COLUMN, or OWNER.NAME.COLUMN):
  // an owner-qualified table of that name needs its bare name as alias.
  std::vector<std::string> qualifiers;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i].kind != TokenKind::kWord || kind[i] != 0) continue;
    const WordPlace at = PlaceOf(t, i);
    const DottedName name = DottedNameAt(t, i, at);
    if (name.count == 2) qualifiers.push_back(BareName(t[i].text));
    if (name.count == 3) qualifiers.push_back(BareName(t[name.word[1]].text));
  }
  auto qualifies = [&](const std::string& table) {
    for (const std::string& q : qualifiers) {
      if (q == table) return true;
    }
    return false;
  };
  std::string indexOwner;
  return MapWords(t, [&](std::size_t i, const WordPlace& at, Tokens* out) {
    const Token& tok = t[i];
    const DottedName name = DottedNameAt(t, i, at);
    if (name.count == 3) {
      const std::size_t after = NextSig(t, name.word[2] + 1, t.size());
      if (after >= t.size() || !IsPunct(t[after], "(")) {
        out->push_back(Raw(t[name.word[1]].text + "." + t[name.word[2]].text));
        return name.word[2];
      }
    }
    if (kind[i] == 0) {
      out->push_back(tok);
      return i;
    }
    if (name.count == 2) {
      const std::string table = BareName(t[name.word[1]].text);
      if (table == "SQLITE_MASTER" || table == "SQLITE_SCHEMA") {
        out->push_back(Raw(table));
      } else {
        if (kind[i] == 't' && indexOwner.empty()) indexOwner = BareName(tok.text);
        named(kind[i], BareName(tok.text) + "." + table);
        out->push_back(Raw(OwnerTableName(tok.text, t[name.word[1]].text)));
        const std::size_t after = NextSig(t, name.word[1] + 1, t.size());
        if (kind[i] == 'a' && qualifies(table) &&
            (after >= t.size() || t[after].kind != TokenKind::kWord ||
             EndsTableReference(t[after]))) {
          out->push_back(Raw(" " + table));
        }
      }
      return name.word[1];
    }
    if (kind[i] == 'o' && !at.beforeDot && !indexOwner.empty()) {
      named(kind[i], indexOwner + "." + BareName(tok.text));
      out->push_back(Raw(OwnerTableName(indexOwner, tok.text)));
      return i;
    }
    if (!at.beforeDot) named(kind[i], bare(tok));
    out->push_back(tok);
    return i;
  });
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
      // VARCHAR2(n) holds at most n bytes, as on Oracle: a named check
      // through the backend's ms_byte_limit, which refuses with ORA-12899.
      const std::size_t name = PrevSig(*t, column.word);
      const std::size_t size = NextSig(*t, column.sizeOpen + 1, column.sizeClose);
      if ((upper == "VARCHAR2" || upper == "NVARCHAR2" || upper == "VARCHAR") && name != kNone &&
          size < column.sizeClose && (*t)[size].kind == TokenKind::kNumber) {
        const std::string& col = (*t)[name].text;
        (*t)[column.word].text = std::string(mapped) + " CONSTRAINT \"" + kByteLimitCheck +
                                 Upper(col) + "\" CHECK(ms_byte_limit(" + col + "," +
                                 (*t)[size].text + "," + SqlLiteral(Upper(col)) + "))";
      }
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

std::string OwnerTableName(std::string_view owner, std::string_view table) {
  return "\"" + BareName(owner) + "." + BareName(table) + "\"";
}

bool RewriteForSQLite(Tokens& tokens, Adapted* out, Error* error) {
  if (out->kind == Adapted::Kind::kProcedureCall) return true;  // the backend runs the body
  SequenceAlter alter;
  bool ok = false;
  if (ParseSequenceAlter(tokens, &alter, &ok, error)) {
    if (!ok) return false;
    out->text = "SELECT ms_alter_sequence(" + SqlLiteral(alter.owner) + "," +
                SqlLiteral(alter.name) + "," + std::to_string(alter.increment) + ")";
    return true;
  }
  Tokens words = RewriteWords(tokens);
  QuotedPartsAs(&words, TokenKind::kQuotedName, TokenKind::kWord);
  Tokens t = MapOwnerNames(words, out);
  QuotedPartsAs(&t, TokenKind::kWord, TokenKind::kQuotedName);
  RewriteColumnTypes(&t);
  // The row identity rides along as an extra last column.
  if (out->forUpdate && !AddRowIdentityColumn(&t, "_ROWID_", error)) return false;
  if (out->forUpdate) {
    const std::size_t dot = out->lockTable.find('.');
    if (dot != std::string::npos) {
      out->lockTable =
          OwnerTableName(out->lockTable.substr(0, dot), out->lockTable.substr(dot + 1));
    }
  }
  out->text = RenderStatement(Renderer{'?', RenderQuery}, t);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

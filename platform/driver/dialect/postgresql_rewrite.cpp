// The PostgreSQL target. An Oracle owner is a schema, so OWNER.TABLE stays
// as written (PostgreSQL folds both to lower case). The rest is rewritten to
// keep Oracle's meaning:
//   - package procedure blocks become CALL owner.package_procedure(...), the
//     PL/pgSQL procedures that the host object provisions;
//   - OWNER.SEQ.NEXTVAL and ALTER SEQUENCE ... INCREMENT BY n become calls of
//     the backend's sequence functions (ms_nextval, ms_alter_sequence):
//     PostgreSQL's ALTER SEQUENCE would lock the sequence until the
//     transaction ends, where Oracle's commits at once, so two transactions
//     reserving identifier blocks would deadlock; the functions keep the
//     increment per session and reserve each block at once; DUAL becomes a
//     one-row select;
//     SYSDATE the statement's start time without fractions, as a DATE is;
//     DBMS_LOB.GETLENGTH octet_length; EMPTY_BLOB() an empty bytea; NVL
//     COALESCE; MINUS EXCEPT;
//   - TO_DATE of a literal is read here by the Oracle-faithful parser, and of
//     a parameter by the backend with the same parser (PostgreSQL's own
//     to_date is lenient where Oracle refuses, and the reverse);
//   - every LIKE gets ESCAPE '' (PostgreSQL's default escape is a backslash,
//     Oracle has none);
//   - compound selects are parenthesised so that UNION [ALL], INTERSECT and
//     EXCEPT apply left to right, as in Oracle (PostgreSQL binds INTERSECT
//     tighter);
//   - Oracle column types in CREATE TABLE become PostgreSQL types, text
//     columns with COLLATE "C" (binary order, as Oracle compares);
//   - the prefix-keyed columns the caller names index a prefix of the
//     value (see postgresql_text_prefix.cpp);
//   - SELECT ... FOR UPDATE keeps its lock and carries the row's ctid as an
//     extra last column, for BLOB writes through the locator.
#include <algorithm>
#include <cctype>

#include "dialect/date_format.h"
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {

// The schema of the sequence functions the PostgreSQL backend makes.
constexpr const char kSequenceFunctions[] = "metashelf_driver.";
namespace {

std::string RenderQuery(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e);

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The text inside a '...' literal, with doubled quotes undone.
std::string Unquote(const std::string& quoted) {
  std::string out;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    out += quoted[i];
    if (quoted[i] == '\'') ++i;
  }
  return out;
}

bool IsParam(const Token& t) {
  return (t.kind == TokenKind::kBind || t.kind == TokenKind::kLifted) && t.slot > 0;
}

std::string ProcedureText(const Adapted& a) {
  const ProcedureCall& c = a.call;
  std::string text = "CALL ";
  if (!c.owner.empty()) text += c.owner + ".";
  text += Lower(c.package) + "_" + Lower(c.procedure) + "(";
  for (std::size_t i = 0; i < c.args.size(); ++i) {
    if (i > 0) text += ",";
    const ParamSource& arg = c.args[i];
    if (arg.kind == ParamSource::Kind::kCaller) {
      text += arg.index > 0 ? "$" + std::to_string(arg.index) : "NULL";
    } else {
      text += "$" + std::to_string(a.callerParams + 1 + arg.index);
    }
  }
  return text + ")";
}

// TO_DATE(arg, 'format') at `at` (the TO_DATE word). Replaces the call in
// `out` and returns the index of its closing parenthesis; kNone with
// `*error` for a form that cannot be kept Oracle-faithful.
std::size_t RewriteToDate(const Tokens& t, std::size_t at, Adapted* adapted, Tokens* out,
                          Error* error) {
  const std::size_t open = NextSig(t, at + 1, t.size());
  const std::size_t close = open < t.size() ? MatchParen(t, open, t.size()) : kNone;
  if (close == kNone) {
    *error = "malformed TO_DATE call";
    return kNone;
  }
  const std::size_t arg = NextSig(t, open + 1, close);
  const std::size_t comma = arg < close ? NextSig(t, arg + 1, close) : close;
  const std::size_t fmt = comma < close ? NextSig(t, comma + 1, close) : close;
  if (arg >= close || comma >= close || !IsPunct(t[comma], ",") || fmt >= close ||
      t[fmt].kind != TokenKind::kString || NextSig(t, fmt + 1, close) != close) {
    *error = "TO_DATE needs a value and a literal format on PostgreSQL";
    return kNone;
  }
  const std::string format = Unquote(t[fmt].text);
  if (IsParam(t[arg])) {
    const auto slot = static_cast<std::size_t>(t[arg].slot);
    if (adapted->dateFormats.size() < slot) adapted->dateFormats.resize(slot);
    std::string& known = adapted->dateFormats[slot - 1];
    if (!known.empty() && known != format) {
      *error = "one parameter read with two date formats";
      return kNone;
    }
    known = format;
    Token param = t[arg];
    out->push_back(Raw("CAST("));
    out->push_back(param);
    out->push_back(Raw(" AS timestamp(0))"));
    return close;
  }
  if (IsWord(t[arg], "NULL")) {
    out->push_back(Raw("CAST(NULL AS timestamp(0))"));
    return close;
  }
  if (t[arg].kind == TokenKind::kString) {
    CivilTime value;
    bool isNull = false;
    if (!ParseOracleDate(Unquote(t[arg].text), format, &value, &isNull, error)) return kNone;
    out->push_back(Raw(isNull ? "CAST(NULL AS timestamp(0))"
                              : "CAST('" + StorageText(value) + "' AS timestamp(0))"));
    return close;
  }
  *error = "TO_DATE of an expression is not supported on PostgreSQL";
  return kNone;
}

// The end (exclusive) of the operand that starts at `from`: one value
// (literal, parameter, possibly qualified name, function call or
// parenthesised group) and any || chain after it.
std::size_t OperandEnd(const Tokens& t, std::size_t from) {
  std::size_t i = NextSig(t, from, t.size());
  while (i < t.size()) {
    if (IsPunct(t[i], "(")) {
      const std::size_t close = MatchParen(t, i, t.size());
      if (close == kNone) return t.size();
      i = close + 1;
    } else {
      ++i;
      std::size_t next = NextSig(t, i, t.size());
      while (next < t.size() && (IsPunct(t[next], ".") || IsPunct(t[next], "("))) {
        if (IsPunct(t[next], "(")) {
          const std::size_t close = MatchParen(t, next, t.size());
          if (close == kNone) return t.size();
          i = close + 1;
        } else {
          i = NextSig(t, next + 1, t.size()) + 1;
        }
        next = NextSig(t, i, t.size());
      }
    }
    const std::size_t next = NextSig(t, i, t.size());
    if (next < t.size() && IsPunct(t[next], "||")) {
      i = NextSig(t, next + 1, t.size());
      continue;
    }
    return i;
  }
  return i;
}

constexpr WordSpellings kSpellings = {"(SELECT 'X' AS dummy) dual",
                                      "CAST(statement_timestamp() AS timestamp(0))", "'\\x'::bytea",
                                      "octet_length"};

// Function-level rewrites.
bool RewriteWords(const Tokens& t, Adapted* adapted, Tokens* out, Error* error) {
  out->clear();
  out->reserve(t.size() + 8);
  for (std::size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    if (tok.kind != TokenKind::kWord) {
      out->push_back(tok);
      continue;
    }
    const WordPlace at = PlaceOf(t, i);
    const std::size_t last = RewriteCommonWord(t, i, at, kSpellings, out);
    if (last != kNone) {
      i = last;
      continue;
    }
    if (IsWord(tok, "NVL") && at.beforeParen && !at.afterDot) {
      out->push_back(Raw("COALESCE"));
      continue;
    }
    if (IsWord(tok, "TO_DATE") && at.beforeParen && !at.afterDot) {
      const std::size_t close = RewriteToDate(t, i, adapted, out, error);
      if (close == kNone) return false;
      i = close;
      continue;
    }
    // NAME . NAME [. NAME]: sequence draws.
    const DottedName name = DottedNameAt(t, i, at);
    if (name.count >= 2) {
      const Token& second = t[name.word[1]];
      if (IsWord(second, "NEXTVAL")) {
        out->push_back(Raw(std::string(kSequenceFunctions) + "ms_nextval('" + tok.text + "')"));
        i = name.word[1];
        continue;
      }
      if (IsWord(second, "CURRVAL")) {
        out->push_back(Raw("currval('" + tok.text + "')"));
        i = name.word[1];
        continue;
      }
      const std::size_t third = name.word[2];
      if (name.count == 3 && (IsWord(t[third], "NEXTVAL") || IsWord(t[third], "CURRVAL"))) {
        const std::string sequence = "('" + tok.text + "." + second.text + "')";
        out->push_back(Raw(IsWord(t[third], "NEXTVAL")
                               ? std::string(kSequenceFunctions) + "ms_nextval" + sequence
                               : "currval" + sequence));
        i = third;
        continue;
      }
    }
    out->push_back(tok);
  }
  return true;
}

// A sign before a parameter ("between -? And -?" once literals are lifted):
// PostgreSQL cannot infer the type of "-$1", so the parameter is read as a
// number, which is what the sign asks for anyway.
void TypeSignedParams(Tokens* t) {
  Tokens out;
  out.reserve(t->size());
  for (std::size_t i = 0; i < t->size(); ++i) {
    const std::size_t prev = IsParam((*t)[i]) ? PrevSig(*t, i) : kNone;
    if (prev != kNone && (IsPunct((*t)[prev], "-") || IsPunct((*t)[prev], "+"))) {
      out.push_back(Raw("CAST("));
      out.push_back((*t)[i]);
      out.push_back(Raw(" AS numeric)"));
    } else {
      out.push_back((*t)[i]);
    }
  }
  t->swap(out);
}

// Every [NOT] LIKE pattern without an ESCAPE clause gets ESCAPE ''. The
// tokens are copied once: texts can hold thousands of LIKEs.
void AddLikeEscapes(Tokens* t) {
  std::vector<std::size_t> at;  // where an ESCAPE clause goes
  for (std::size_t i = 0; i < t->size(); ++i) {
    if (!IsWord((*t)[i], "LIKE")) continue;
    const std::size_t end = OperandEnd(*t, i + 1);
    const std::size_t next = NextSig(*t, end, t->size());
    if (next < t->size() && IsWord((*t)[next], "ESCAPE")) continue;
    at.push_back(end);
  }
  if (at.empty()) return;
  std::sort(at.begin(), at.end());
  Tokens out;
  out.reserve(t->size() + at.size());
  std::size_t k = 0;
  for (std::size_t i = 0; i <= t->size(); ++i) {
    while (k < at.size() && at[k] == i) {
      out.push_back(Raw(" ESCAPE ''"));
      ++k;
    }
    if (i < t->size()) out.push_back((*t)[i]);
  }
  t->swap(out);
}

// CREATE [UNIQUE] INDEX owner.name ON owner.table(...): PostgreSQL puts an
// index in its table's schema and refuses a qualified index name.
void UnqualifyIndexName(Tokens* t) {
  const std::size_t i = CreateIndexWord(*t);
  if (i == kNone) return;
  const std::size_t owner = NextSig(*t, i + 1, t->size());
  const std::size_t dot = owner < t->size() ? NextSig(*t, owner + 1, t->size()) : t->size();
  if (dot >= t->size() || !IsPunct((*t)[dot], ".")) return;
  t->erase(t->begin() + static_cast<std::ptrdiff_t>(owner),
           t->begin() + static_cast<std::ptrdiff_t>(dot + 1));
}

// Oracle column types of CREATE TABLE, in the column list only. The columns
// are taken last to first, so that a size dropped or a COLLATE added leaves
// the positions of the columns still to do as they were.
void RewriteColumnTypes(Tokens* t) {
  const std::vector<ColumnType> columns = CreateTableColumnTypes(*t);
  for (auto column = columns.rbegin(); column != columns.rend(); ++column) {
    const std::size_t type = column->word;
    const std::string upper = Upper((*t)[type].text);
    // the last token of the type with its size
    const std::size_t sizeEnd = column->sizeClose != kNone ? column->sizeClose : type;
    const bool text = upper == "VARCHAR2" || upper == "NVARCHAR2" || upper == "VARCHAR" ||
                      upper == "CHAR" || upper == "NCHAR" || upper == "CLOB";
    if (upper == "NUMBER") (*t)[type].text = "NUMERIC";
    if (upper == "VARCHAR2" || upper == "NVARCHAR2") (*t)[type].text = "VARCHAR";
    if (upper == "NCHAR") (*t)[type].text = "CHAR";
    if (upper == "CLOB") (*t)[type].text = "TEXT";
    if (upper == "FLOAT" && sizeEnd == type) (*t)[type].text = "DOUBLE PRECISION";
    if (upper == "DATE") (*t)[type].text = "TIMESTAMP(0)";
    if (upper == "BLOB" || upper == "RAW") {
      (*t)[type].text = "BYTEA";
      t->erase(t->begin() + static_cast<std::ptrdiff_t>(type + 1),
               t->begin() + static_cast<std::ptrdiff_t>(sizeEnd + 1));
    }
    if ((upper == "VARCHAR2" || upper == "NVARCHAR2" || upper == "VARCHAR") &&
        column->sizeOpen != kNone) {
      // VARCHAR(n) counts characters; Oracle's VARCHAR2(n) holds n bytes.
      const std::size_t name = PrevSig(*t, type);
      const std::size_t size = NextSig(*t, column->sizeOpen + 1, column->sizeClose);
      const std::size_t after = NextSig(*t, sizeEnd + 1, t->size());
      if (name != kNone && size < column->sizeClose && (*t)[size].kind == TokenKind::kNumber &&
          (after >= t->size() || !IsWord((*t)[after], "COLLATE"))) {
        const std::string& col = (*t)[name].text;
        t->insert(t->begin() + static_cast<std::ptrdiff_t>(sizeEnd + 1),
                  Raw(std::string(" CONSTRAINT \"") + kByteLimitCheck + Upper(col) +
                      "\" CHECK(octet_length(" + col + ")<=" + (*t)[size].text + ")"));
      }
    }
    if (text) {
      const std::size_t after = NextSig(*t, sizeEnd + 1, t->size());
      if (after >= t->size() || !IsWord((*t)[after], "COLLATE")) {
        const Tokens collate = {
            Token{TokenKind::kSpace, " ", 0}, Token{TokenKind::kWord, "COLLATE", 0},
            Token{TokenKind::kSpace, " ", 0}, Token{TokenKind::kQuotedName, "\"C\"", 0}};
        t->insert(t->begin() + static_cast<std::ptrdiff_t>(sizeEnd + 1), collate.begin(),
                  collate.end());
      }
    }
  }
}

std::string RenderOperand(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e) {
  const std::size_t open = NextSig(t, b, e);
  if (open < e && IsPunct(t[open], "(") && IsQueryParen(t, open, e)) {
    const std::size_t close = MatchParen(t, open, e);
    if (close != kNone && NextSig(t, close + 1, e) >= e) {
      // A parenthesised query operand: rendered as a query of its own.
      return Render(t, b, open, r.prefix) + "(" + RenderQuery(r, t, open + 1, close) + ")" +
             Render(t, close + 1, e, r.prefix);
    }
  }
  return RenderPlain(r, t, b, e);
}

// A query expression with its set operators applied left to right: the
// operands before each operator after the first are wrapped in
// parentheses, ((A op B) op C) op D.
std::string RenderQuery(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e) {
  const Compound c = SplitCompound(t, b, e);
  if (c.operators.empty()) return RenderPlain(r, t, b, e);
  std::string out(c.operators.size() - 1, '(');
  for (std::size_t i = 0; i < c.operands.size(); ++i) {
    std::string operand = RenderOperand(r, t, c.operands[i].first, c.operands[i].second);
    if (i > 0 && i < c.operators.size()) {
      // The closing parenthesis goes right after the operand's last word.
      const std::size_t last = operand.find_last_not_of(" \t\r\n");
      operand.insert(last == std::string::npos ? 0 : last + 1, ")");
    }
    out += operand;
    if (i < c.operators.size()) {
      out += Render(t, c.operators[i].first, c.operators[i].second, r.prefix);
    }
  }
  return out;
}

// A quoted name written as Oracle folds names ("DC_FOLD": a capital letter,
// then capitals, digits, _, $ or #) names the object that an unquoted
// dc_Fold names, as on Oracle. PostgreSQL folds unquoted names to lower
// case, so such a name is quoted in lower case; any other quoted name
// keeps its case. Runs before the rewrite adds quoted names of its own.
void FoldQuotedNames(Tokens* t) {
  for (Token& token : *t) {
    if (token.kind != TokenKind::kQuotedName || token.text.size() < 3) continue;
    const std::string inner = token.text.substr(1, token.text.size() - 2);
    bool folded = inner[0] >= 'A' && inner[0] <= 'Z';
    for (const char c : inner) {
      folded = folded && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '$' || c == '#');
    }
    if (!folded) continue;
    std::string lower = inner;
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    token.text = "\"" + lower + "\"";
  }
}

}  // namespace

bool RewriteForPostgreSQL(Tokens& tokens, const Rules& rules, Adapted* out, Error* error) {
  if (out->kind == Adapted::Kind::kProcedureCall) {
    out->text = ProcedureText(*out);
    return true;
  }
  SequenceAlter alter;
  bool ok = false;
  if (ParseSequenceAlter(tokens, &alter, &ok, error)) {
    if (!ok) return false;
    out->text = "SELECT " + std::string(kSequenceFunctions) + "ms_alter_sequence('" +
                (alter.owner.empty() ? std::string() : alter.owner + ".") + alter.name + "'," +
                std::to_string(alter.increment) + ")";
    return true;
  }
  FoldQuotedNames(&tokens);
  Tokens t;
  if (!RewriteWords(tokens, out, &t, error)) return false;
  RewriteColumnTypes(&t);
  for (const PrefixKeyedColumn& column : rules.prefixKeyed) {
    if (column.keyChars <= 0 || column.column.empty() || column.tableStem.empty()) continue;
    IndexByPrefix(&t, column);
    AddPrefixComparisons(&t, column);
  }
  UnqualifyIndexName(&t);
  TypeSignedParams(&t);
  AddLikeEscapes(&t);
  if (out->forUpdate) {
    if (!AddRowIdentityColumn(&t, "ctid", error)) return false;
    t.push_back(Raw(" FOR UPDATE"));
  }
  out->text = RenderStatement(Renderer{'$', RenderQuery}, t);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

// The common part of the dialect adapter: everything every target does the
// same way, then the hand-over to the target's rewrite.
#include <charconv>
#include <cstdlib>
#include <map>

#include "dialect/date_format.h"
#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

constexpr int kMaxBindNumber = 999;
constexpr int kMaxParenDepth = 100;

// Drops trailing blanks, comments and one final ";".
void TrimTail(Tokens* t) {
  while (!t->empty() && !Significant(t->back())) t->pop_back();
  if (!t->empty() && IsPunct(t->back(), ";")) t->pop_back();
  while (!t->empty() && !Significant(t->back())) t->pop_back();
}

// BEGIN [owner.]PACKAGE.procedure(arg,...); END[;]
// ORA-06550: the PL/SQL compile error a block Oracle cannot run gives.
constexpr std::int32_t kBlockError = 6550;

bool ParseBlock(const Tokens& t, Adapted* out, Error* error) {
  std::vector<std::size_t> sig;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (Significant(t[i])) sig.push_back(i);
  }
  auto at = [&](std::size_t j) -> const Token* { return j < sig.size() ? &t[sig[j]] : nullptr; };
  std::size_t k = 1;  // past BEGIN
  std::vector<std::string> parts;
  while (true) {
    const Token* name = at(k);
    if (!name || name->kind != TokenKind::kWord) {
      *error = Error{kBlockError, "a block must hold one procedure call"};
      return false;
    }
    parts.push_back(name->text);
    ++k;
    if (at(k) && IsPunct(*at(k), ".")) {
      ++k;
      continue;
    }
    break;
  }
  if (parts.size() < 2 || parts.size() > 3) {
    *error = Error{kBlockError, "a block must call PACKAGE.procedure or owner.PACKAGE.procedure"};
    return false;
  }
  ProcedureCall& call = out->call;
  call.owner = parts.size() == 3 ? parts[0] : std::string();
  call.package = Upper(parts[parts.size() - 2]);
  call.procedure = Upper(parts.back());
  if (at(k) && IsPunct(*at(k), "(")) {
    ++k;
    if (at(k) && IsPunct(*at(k), ")")) {
      ++k;
    } else {
      while (true) {
        const Token* arg = at(k);
        if (!arg) {
          *error = Error{kBlockError, "unterminated argument list"};
          return false;
        }
        if (arg->kind == TokenKind::kBind || arg->kind == TokenKind::kLifted) {
          ParamSource src;
          src.kind = arg->kind == TokenKind::kBind ? ParamSource::Kind::kCaller
                                                   : ParamSource::Kind::kLiteral;
          src.index = arg->slot;  // resolved below
          call.args.push_back(src);
        } else if (IsWord(*arg, "NULL")) {
          call.args.push_back(ParamSource{ParamSource::Kind::kCaller, 0});
        } else {
          *error = Error{kBlockError, "procedure arguments must be placeholders or NULL"};
          return false;
        }
        ++k;
        if (at(k) && IsPunct(*at(k), ",")) {
          ++k;
          continue;
        }
        if (at(k) && IsPunct(*at(k), ")")) {
          ++k;
          break;
        }
        *error = Error{kBlockError, "malformed argument list"};
        return false;
      }
    }
  }
  if (!at(k) || !IsPunct(*at(k), ";") || !at(k + 1) || !IsWord(*at(k + 1), "END")) {
    *error = Error{kBlockError, "a block must hold exactly one procedure call"};
    return false;
  }
  k += 2;
  if (at(k) && IsPunct(*at(k), ";")) ++k;
  if (at(k)) {
    *error = Error{kBlockError, "text after the end of the block"};
    return false;
  }
  out->kind = Adapted::Kind::kProcedureCall;
  return true;
}

// Numbers binds and lifted literals: caller binds keep their number (named
// ones are numbered by first appearance), lifted literals follow them.
bool NumberParams(Tokens* t, Adapted* out, Error* error) {
  std::map<std::string, int> names;
  int maxCaller = 0;
  int distinct = 0;
  int lifted = 0;
  for (Token& tok : *t) {
    if (tok.kind != TokenKind::kBind) continue;
    const std::string name = Upper(tok.text.substr(1));
    int number = 0;
    if (name.find_first_not_of("0123456789") == std::string::npos) {
      // At most three digits, so the number always fits.
      if (name.size() > 3 ||
          std::from_chars(name.data(), name.data() + name.size(), number).ec != std::errc() ||
          number < 1 || number > kMaxBindNumber) {
        *error = Error{1036, "bind number out of range: " + tok.text};
        return false;
      }
      names.emplace(name, number);
      ++distinct;
    } else {
      auto it = names.find(name);
      if (it == names.end()) {
        ++distinct;
        it = names.emplace(name, distinct).first;
      }
      number = it->second;
    }
    tok.slot = number;
    if (number > maxCaller) maxCaller = number;
  }
  for (Token& tok : *t) {
    if (tok.kind == TokenKind::kLifted) tok.slot = maxCaller + 1 + lifted++;
  }
  out->callerParams = maxCaller;
  out->params.clear();
  for (int k = 1; k <= maxCaller; ++k) {
    out->params.push_back(ParamSource{ParamSource::Kind::kCaller, k});
  }
  for (int i = 0; i < lifted; ++i) {
    out->params.push_back(ParamSource{ParamSource::Kind::kLiteral, i});
  }
  return true;
}

// SELECT list INTO :a[, :b] FROM ...: the INTO part names output variables,
// which the caller binds as columns instead.
void DropSelectInto(Tokens* t) {
  const std::size_t first = NextSig(*t, 0, t->size());
  if (first >= t->size() || !IsWord((*t)[first], "SELECT")) return;
  const std::size_t into = FindTopLevel(*t, first, t->size(), "INTO");
  if (into == kNone) return;
  std::size_t k = NextSig(*t, into + 1, t->size());
  std::size_t last = kNone;
  while (k < t->size() && (*t)[k].kind == TokenKind::kBind) {
    last = k;
    k = NextSig(*t, k + 1, t->size());
    if (k < t->size() && IsPunct((*t)[k], ",")) {
      k = NextSig(*t, k + 1, t->size());
    } else {
      break;
    }
  }
  if (last == kNone) return;
  std::size_t begin = into;
  if (begin > 0 && (*t)[begin - 1].kind == TokenKind::kSpace) --begin;
  t->erase(t->begin() + static_cast<std::ptrdiff_t>(begin),
           t->begin() + static_cast<std::ptrdiff_t>(last + 1));
}

// SELECT columns FROM table [WHERE ...] FOR UPDATE [OF ...] [NOWAIT]:
// the lock clause goes, the table and columns are recorded.
bool TakeForUpdate(Tokens* t, Adapted* out, Error* error) {
  const std::size_t first = NextSig(*t, 0, t->size());
  if (first >= t->size() || !IsWord((*t)[first], "SELECT")) return true;
  const std::size_t forAt = FindTopLevel(*t, first, t->size(), "FOR");
  if (forAt == kNone) return true;
  const std::size_t upd = NextSig(*t, forAt + 1, t->size());
  if (upd >= t->size() || !IsWord((*t)[upd], "UPDATE")) return true;
  std::size_t cut = forAt;
  while (cut > 0 && !Significant((*t)[cut - 1])) --cut;
  t->resize(cut);
  const std::size_t from = FindTopLevel(*t, first, t->size(), "FROM");
  if (from == kNone) {
    *error = "FOR UPDATE needs a FROM clause";
    return false;
  }
  // Columns: the select list split at top-level commas.
  std::size_t start = first + 1;
  int depth = 0;
  for (std::size_t i = first + 1; i <= from; ++i) {
    if (i < from && IsPunct((*t)[i], "(")) ++depth;
    if (i < from && IsPunct((*t)[i], ")")) --depth;
    if (i == from || (depth == 0 && IsPunct((*t)[i], ","))) {
      std::string column = Join(*t, start, i);
      const auto b = column.find_first_not_of(" \t\r\n");
      const auto e = column.find_last_not_of(" \t\r\n");
      out->lockColumns.push_back(b == std::string::npos ? "" : column.substr(b, e - b + 1));
      start = i + 1;
    }
  }
  // Table: one name, optionally owner-qualified, up to WHERE or the end.
  std::string table;
  std::size_t i = NextSig(*t, from + 1, t->size());
  while (i < t->size() && !IsWord((*t)[i], "WHERE")) {
    if (Significant((*t)[i])) {
      if ((*t)[i].kind != TokenKind::kWord && (*t)[i].kind != TokenKind::kQuotedName &&
          !IsPunct((*t)[i], ".")) {
        *error = "FOR UPDATE needs a single table";
        return false;
      }
      table += (*t)[i].text;
    } else if (!table.empty()) {
      const std::size_t next = NextSig(*t, i, t->size());
      if (next < t->size() && !IsWord((*t)[next], "WHERE")) {
        *error = "FOR UPDATE needs a single table";
        return false;
      }
    }
    ++i;
  }
  if (table.empty()) {
    *error = "FOR UPDATE needs a table";
    return false;
  }
  out->forUpdate = true;
  out->lockTable = table;
  out->visibleColumns = static_cast<int>(out->lockColumns.size());
  return true;
}

// TO_DATE / TO_CHAR with a literal format: the format must be one we read.
bool CheckDateFormats(const Tokens& t, Error* error) {
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (!IsWord(t[i], "TO_DATE") && !IsWord(t[i], "TO_CHAR")) continue;
    const std::size_t open = NextSig(t, i + 1, t.size());
    if (open >= t.size() || !IsPunct(t[open], "(")) continue;
    const std::size_t close = MatchParen(t, open, t.size());
    if (close == kNone) continue;
    int depth = 0;
    std::size_t comma = kNone;
    for (std::size_t k = open + 1; k < close; ++k) {
      if (IsPunct(t[k], "(")) ++depth;
      if (IsPunct(t[k], ")")) --depth;
      if (depth == 0 && IsPunct(t[k], ",")) {
        comma = k;
        break;
      }
    }
    if (comma == kNone) continue;
    const std::size_t fmt = NextSig(t, comma + 1, close);
    if (fmt < close && t[fmt].kind == TokenKind::kString && NextSig(t, fmt + 1, close) == close) {
      const std::string& quoted = t[fmt].text;
      if (quoted.size() < 2 || quoted[0] != '\'' ||
          !SupportedDateFormat(quoted.substr(1, quoted.size() - 2))) {
        *error = Error{1821, "unsupported date format " + quoted};
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool Adapt(std::string_view text, Target target, Adapted* out, Error* error) {
  return Adapt(text, target, Rules(), out, error);
}

bool Adapt(std::string_view text, Target target, const Rules& rules, Adapted* out,
           std::string* message) {
  Error error;
  if (Adapt(text, target, rules, out, &error)) return true;
  *message = std::move(error.message);
  return false;
}

bool Adapt(std::string_view text, Target target, Adapted* out, std::string* message) {
  return Adapt(text, target, Rules(), out, message);
}

bool Adapt(std::string_view text, Target target, const Rules& rules, Adapted* out, Error* error) {
  *out = Adapted();
  Tokens t;
  if (!Tokenize(text, &t, error)) return false;
  TrimTail(&t);
  // Balanced and shallow parentheses keep every later walk linear in the
  // text and every recursion bounded.
  int depth = 0;
  for (const Token& tok : t) {
    if (IsPunct(tok, "(") && ++depth > kMaxParenDepth) {
      *error = "parentheses nested too deeply";
      return false;
    }
    if (IsPunct(tok, ")") && --depth < 0) break;
  }
  if (depth != 0) {
    *error = Error{907, "unbalanced parentheses"};
    return false;
  }
  const std::size_t first = NextSig(t, 0, t.size());
  if (first >= t.size()) {
    *error = "empty statement";
    return false;
  }
  const bool block = IsWord(t[first], "BEGIN");
  if (IsWord(t[first], "DECLARE")) {
    *error = Error{kBlockError, "only single procedure-call blocks are supported"};
    return false;
  }
  if (!block) {
    for (const Token& tok : t) {
      if (IsPunct(tok, ";")) {
        *error = Error{911, "more than one statement in one text"};
        return false;
      }
    }
  }
  // Oracle treats a zero-length text as NULL.
  for (Token& tok : t) {
    if (tok.kind == TokenKind::kString && tok.text == "''") {
      tok.kind = TokenKind::kWord;
      tok.text = "NULL";
    }
  }
  if (!block) {
    DropSelectInto(&t);
    if (!TakeForUpdate(&t, out, error)) return false;
    if (!CheckDateFormats(t, error)) return false;
  }
  if (!NumberParams(&t, out, error)) return false;
  if (block) {
    if (!ParseBlock(t, out, error)) return false;
    for (ParamSource& arg : out->call.args) {
      if (arg.kind == ParamSource::Kind::kLiteral) {
        arg.index -= out->callerParams + 1;  // slot back to literal index
      }
    }
  }
  switch (target) {
    case Target::kSQLite:
      return RewriteForSQLite(t, out, error);
    case Target::kPostgreSQL:
      return RewriteForPostgreSQL(t, rules, out, error);
  }
  *error = "unknown target";
  return false;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

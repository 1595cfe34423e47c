// Lifting literal values out of statement texts, so that the thousands of
// near-identical statements the system formats (one insert per leaf value)
// share one adapted and prepared form.
#include <cerrno>
#include <cstdlib>

#include "dialect/rewrite.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

bool ToLiteral(const Token& tok, bool negative, Literal* out) {
  if (tok.kind == TokenKind::kString) {
    if (tok.text.size() < 3 || tok.text[0] != '\'') return false;  // '' and N'...' stay
    std::string value;
    for (std::size_t i = 1; i + 1 < tok.text.size(); ++i) {
      value += tok.text[i];
      if (tok.text[i] == '\'') ++i;  // a doubled quote stands for one
    }
    out->kind = Literal::Kind::kText;
    out->text = std::move(value);
    return true;
  }
  const std::string& s = tok.text;
  const bool integral = s.find_first_of(".eE") == std::string::npos;
  errno = 0;
  if (integral) {
    // As SQLite reads it: an integer when it fits 64 bits, else a real.
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno != ERANGE) {
      out->kind = Literal::Kind::kInt;
      out->integer = negative ? -v : v;
      return true;
    }
    errno = 0;
  }
  const double d = std::strtod(s.c_str(), nullptr);
  if (errno == ERANGE) return false;
  out->kind = Literal::Kind::kReal;
  out->real = negative ? -d : d;
  return true;
}

}  // namespace

bool LiftLiterals(std::string_view text, Shaped* out, std::string* error) {
  out->key.clear();
  out->literals.clear();
  Tokens t;
  if (!Tokenize(text, &t, error)) return false;
  for (const Token& tok : t) {
    if (tok.kind == TokenKind::kLifted) {
      *error = "unexpected character ? in statement text";
      return false;
    }
  }
  const std::size_t first = NextSig(t, 0, t.size());
  const bool dml = first < t.size() && (IsWord(t[first], "SELECT") || IsWord(t[first], "INSERT") ||
                                        IsWord(t[first], "UPDATE") || IsWord(t[first], "DELETE"));
  if (!dml) {
    out->key.assign(text.data(), text.size());
    return true;
  }
  int depth = 0;
  int frozenDepth = -1;             // inside ORDER BY / GROUP BY at this depth and deeper
  std::vector<int> formatArgDepth;  // depths at which a TO_DATE/TO_CHAR format follows a comma
  std::string key;
  key.reserve(text.size());
  std::size_t lastSig = kNone;  // the significant token before the current one
  for (std::size_t i = 0; i < t.size(); ++i) {
    const Token& tok = t[i];
    const std::size_t prev = lastSig;
    if (Significant(tok)) lastSig = i;
    if (IsPunct(tok, "(")) {
      if (prev != kNone && (IsWord(t[prev], "TO_DATE") || IsWord(t[prev], "TO_CHAR"))) {
        formatArgDepth.push_back(depth + 1);
      }
      ++depth;
    } else if (IsPunct(tok, ")")) {
      if (!formatArgDepth.empty() && formatArgDepth.back() == depth) formatArgDepth.pop_back();
      --depth;
      if (frozenDepth >= 0 && depth < frozenDepth) frozenDepth = -1;
    } else if ((IsWord(tok, "ORDER") || IsWord(tok, "GROUP")) && frozenDepth < 0) {
      frozenDepth = depth;
    }
    const bool candidate = (tok.kind == TokenKind::kNumber || tok.kind == TokenKind::kString);
    if (!candidate || frozenDepth >= 0) {
      key += tok.text;
      continue;
    }
    if (!formatArgDepth.empty() && formatArgDepth.back() == depth && prev != kNone &&
        IsPunct(t[prev], ",")) {
      key += tok.text;  // a format argument stays literal
      continue;
    }
    // A sign directly before a number, where no operand precedes it, is part of it.
    bool negative = false;
    std::size_t keyCut = std::string::npos;
    if (tok.kind == TokenKind::kNumber && prev != kNone &&
        (IsPunct(t[prev], "-") || IsPunct(t[prev], "+"))) {
      const std::size_t before = PrevSig(t, prev);
      if (before != kNone && t[before].kind == TokenKind::kPunct && !IsPunct(t[before], ")")) {
        negative = IsPunct(t[prev], "-");
        keyCut = key.size();
        for (std::size_t k = i; k > prev; --k) keyCut -= t[k - 1].text.size();
      }
    }
    Literal lit;
    if (!ToLiteral(tok, negative, &lit)) {
      key += tok.text;
      continue;
    }
    if (keyCut != std::string::npos) {
      key.resize(keyCut);
      for (std::size_t k = prev + 1; k < i; ++k) key += t[k].text;
    }
    out->literals.push_back(std::move(lit));
    key += "?";
  }
  out->key = std::move(key);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

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

bool ToLiteral(TokenKind kind, std::string_view tok, bool negative, Literal* out) {
  if (kind == TokenKind::kString) {
    if (tok.size() < 3 || tok[0] != '\'') return false;  // '' and N'...' stay
    std::string value;
    value.reserve(tok.size() - 2);
    for (std::size_t i = 1; i + 1 < tok.size(); ++i) {
      value += tok[i];
      if (tok[i] == '\'') ++i;  // a doubled quote stands for one
    }
    out->kind = Literal::Kind::kText;
    out->text = std::move(value);
    return true;
  }
  const std::string s(tok);
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

// A significant token already passed: where it stands in the text and where
// its copy starts in the key.
struct Seen {
  TokenKind kind = TokenKind::kSpace;
  std::string_view text;
  std::size_t end = 0;
  std::size_t keyStart = 0;
  bool present = false;
};

bool PunctIs(const Seen& s, const char* p) {
  return s.present && s.kind == TokenKind::kPunct && s.text == p;
}
bool WordIs(const Seen& s, const char* w) {
  return s.present && s.kind == TokenKind::kWord && WordEquals(s.text, w);
}

}  // namespace

bool LiftLiterals(std::string_view text, Shaped* out, std::string* error) {
  out->key.clear();
  out->literals.clear();
  std::string key;
  key.reserve(text.size());
  bool decided = false;
  bool lift = false;
  int depth = 0;
  int frozenDepth = -1;             // inside ORDER BY / GROUP BY at this depth and deeper
  std::vector<int> formatArgDepth;  // depths at which a TO_DATE/TO_CHAR format follows a comma
  Seen prev, before;                // the last two significant tokens
  std::size_t i = 0;
  while (i < text.size()) {
    TokenKind kind;
    std::size_t end = 0;
    if (!ScanToken(text, i, &kind, &end, error)) return false;
    const std::string_view tok = text.substr(i, end - i);
    const std::size_t start = i;
    i = end;
    if (kind == TokenKind::kLifted) {
      *error = "unexpected character ? in statement text";
      return false;
    }
    if (kind == TokenKind::kSpace || kind == TokenKind::kComment) {
      key += tok;
      continue;
    }
    if (!decided) {
      decided = true;
      lift = kind == TokenKind::kWord && (WordEquals(tok, "SELECT") || WordEquals(tok, "INSERT") ||
                                          WordEquals(tok, "UPDATE") || WordEquals(tok, "DELETE"));
    }
    Seen current{kind, tok, end, key.size(), true};
    bool lifted = false;
    if (lift) {
      if (kind == TokenKind::kPunct && tok == "(") {
        if (WordIs(prev, "TO_DATE") || WordIs(prev, "TO_CHAR")) formatArgDepth.push_back(depth + 1);
        ++depth;
      } else if (kind == TokenKind::kPunct && tok == ")") {
        if (!formatArgDepth.empty() && formatArgDepth.back() == depth) formatArgDepth.pop_back();
        --depth;
        if (frozenDepth >= 0 && depth < frozenDepth) frozenDepth = -1;
      } else if (kind == TokenKind::kWord && frozenDepth < 0 &&
                 (WordEquals(tok, "ORDER") || WordEquals(tok, "GROUP"))) {
        frozenDepth = depth;
      }
      const bool candidate = kind == TokenKind::kNumber || kind == TokenKind::kString;
      const bool formatArg =
          !formatArgDepth.empty() && formatArgDepth.back() == depth && PunctIs(prev, ",");
      if (candidate && frozenDepth < 0 && !formatArg) {
        // A sign directly before a number, where no operand precedes it, is part of it.
        const bool signed_ = kind == TokenKind::kNumber &&
                             (PunctIs(prev, "-") || PunctIs(prev, "+")) && before.present &&
                             before.kind == TokenKind::kPunct && before.text != ")";
        Literal lit;
        if (ToLiteral(kind, tok, signed_ && PunctIs(prev, "-"), &lit)) {
          if (signed_) {
            key.resize(prev.keyStart);
            key += text.substr(prev.end, start - prev.end);
            current.keyStart = key.size();
          }
          out->literals.push_back(std::move(lit));
          key += '?';
          lifted = true;
        }
      }
    }
    if (!lifted) key += tok;
    before = prev;
    prev = current;
  }
  out->key = std::move(key);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

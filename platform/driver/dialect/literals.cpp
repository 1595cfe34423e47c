// Lifting literal values out of statement texts, so that the thousands of
// near-identical statements the system formats (one insert per leaf value)
// share one adapted and prepared form.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "dialect/rewrite.h"
#include "metashelf/base/numbers.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

// `*out` may hold an earlier literal: every field is written, the text's
// storage kept.
bool ToLiteral(TokenKind kind, std::string_view tok, bool negative, Literal* out) {
  out->integer = 0;
  out->real = 0;
  if (kind == TokenKind::kString) {
    if (tok.size() < 3 || tok[0] != '\'') return false;  // '' and N'...' stay
    // Runs between doubled quotes are copied whole; a doubled quote stands
    // for one.
    std::string& value = out->text;
    value.clear();
    value.reserve(tok.size() - 2);
    const std::string_view body = tok.substr(1, tok.size() - 2);
    std::size_t at = 0;
    while (at < body.size()) {
      const std::size_t quote = body.find('\'', at);
      if (quote == std::string_view::npos) {
        value.append(body.data() + at, body.size() - at);
        break;
      }
      value.append(body.data() + at, quote + 1 - at);
      at = quote + 2;
    }
    out->kind = Literal::Kind::kText;
    return true;
  }
  out->text.clear();
  if (!tok.empty() && tok.size() <= 18) {
    // Up to 18 digits always fit 64 bits; digits are checked and summed in
    // one pass (these are most of the literals lifted).
    std::int64_t v = 0;
    bool digits = true;
    for (char c : tok) {
      if (c < '0' || c > '9') {
        digits = false;
        break;
      }
      v = v * 10 + (c - '0');
    }
    if (digits) {
      out->kind = Literal::Kind::kInt;
      out->integer = negative ? -v : v;
      return true;
    }
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
  double d = 0;
  if (!base::ParseDouble(s, &d)) return false;
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

bool LiftLiterals(std::string_view text, Shaped* out, Error* error) {
  out->key.clear();
  out->literals.clear();
  out->spans.clear();
  std::string key;
  key.reserve(text.size());
  bool decided = false;
  bool lift = false;
  int depth = 0;
  int frozenDepth = -1;             // inside ORDER BY / GROUP BY at this depth and deeper
  std::vector<int> formatArgDepth;  // depths at which a format or prefix length follows a comma
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
      *error = Error{911, "unexpected character ? in statement text"};
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
        // A format shapes what a value means; a prefix length shapes which
        // index serves the comparison (an index on left(COLUMN,512) serves
        // a plan made for any value only when the 512 is written in it).
        if (WordIs(prev, "TO_DATE") || WordIs(prev, "TO_CHAR") || WordIs(prev, "LEFT")) {
          formatArgDepth.push_back(depth + 1);
        }
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
          const std::size_t begin =
              signed_ ? static_cast<std::size_t>(prev.text.data() - text.data()) : start;
          out->spans.push_back(Shaped::Span{begin, start, end});
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

namespace {

// The class of a literal's first byte: '0' digit, '.' point, '\'' quote, 0 other.
char LiteralClass(char c) {
  if (c >= '0' && c <= '9') return '0';
  if (c == '.' || c == '\'') return c;
  return 0;
}

}  // namespace

bool ShapeMemo::Match(const Shape& shape, std::string_view text, Shaped* out) const {
  const std::size_t literals = shape.literalClass.size();
  // Literal objects already in `out` are written over, so their strings'
  // storage is reused; the vector is cut to size on success.
  std::size_t used = 0;
  out->spans.clear();
  std::size_t pos = 0;
  for (std::size_t k = 0;; ++k) {
    const std::size_t length = shape.fixedEnd[k] - shape.fixedBegin[k];
    if (text.size() - pos < length ||
        std::char_traits<char>::compare(text.data() + pos, shape.text.data() + shape.fixedBegin[k],
                                        length) != 0) {
      return false;
    }
    pos += length;
    if (k == literals) break;
    const std::string& sign = shape.signs[k];
    if (!sign.empty() && text.compare(pos, sign.size(), sign) != 0) return false;
    const std::size_t begin = pos;
    pos += sign.size();
    if (pos >= text.size() || LiteralClass(text[pos]) != shape.literalClass[k]) return false;
    TokenKind kind;
    std::size_t end = 0;
    Error ignored;
    if (!ScanToken(text, pos, &kind, &end, &ignored)) return false;
    if (kind != (shape.literalClass[k] == '\'' ? TokenKind::kString : TokenKind::kNumber)) {
      return false;
    }
    if (used == out->literals.size()) out->literals.emplace_back();
    if (!ToLiteral(kind, text.substr(pos, end - pos), !sign.empty() && sign[0] == '-',
                   &out->literals[used])) {
      return false;
    }
    ++used;
    out->spans.push_back(Shaped::Span{begin, pos, end});
    pos = end;
  }
  if (pos != text.size()) return false;
  out->literals.resize(used);
  out->key.assign(shape.key);
  return true;
}

void ShapeMemo::Remember(std::string_view text, const Shaped& shaped) {
  if (capacity_ == 0) return;
  Shape shape;
  shape.text.assign(text.data(), text.size());
  std::size_t at = 0;
  for (const Shaped::Span& span : shaped.spans) {
    shape.fixedBegin.push_back(at);
    shape.fixedEnd.push_back(span.begin);
    shape.signs.emplace_back(text.substr(span.begin, span.token - span.begin));
    shape.literalClass.push_back(LiteralClass(text[span.token]));
    at = span.end;
  }
  shape.fixedBegin.push_back(at);
  shape.fixedEnd.push_back(text.size());
  shape.key = shaped.key;
  if (shapes_.size() < capacity_) {
    order_.insert(order_.begin(), shapes_.size());
    shapes_.push_back(std::move(shape));
    return;
  }
  // The least recently used slot takes the new shape.
  shapes_[order_.back()] = std::move(shape);
  Promote(order_.size() - 1);
}

void ShapeMemo::Promote(std::size_t i) {
  const std::size_t slot = order_[i];
  for (; i > 0; --i) order_[i] = order_[i - 1];
  order_[0] = slot;
}

bool LiftLiterals(std::string_view text, Shaped* out, std::string* message) {
  Error error;
  if (LiftLiterals(text, out, &error)) return true;
  *message = std::move(error.message);
  return false;
}

bool ShapeMemo::Lift(std::string_view text, Shaped* out, std::string* message) {
  Error error;
  if (Lift(text, out, &error)) return true;
  *message = std::move(error.message);
  return false;
}

bool ShapeMemo::Lift(std::string_view text, Shaped* out, Error* error) {
  for (std::size_t i = 0; i < order_.size(); ++i) {
    if (!Match(shapes_[order_[i]], text, out)) continue;
    if (i > 0) Promote(i);
    ++hits_;
    return true;
  }
  if (!LiftLiterals(text, out, error)) return false;
  Remember(text, *out);
  return true;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

// CQL text to a constraint tree (filter.h): a tokenizer and a recursive
// descent over or/and/not, comparisons and the spatial forms clients send.
// Recursion is bounded by the nesting limit before the tree is measured, so
// no text can exhaust the stack.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/filter.h"
#include "metashelf/base/numbers.h"

namespace metashelf::server {
namespace {

struct Token {
  enum Type { kEnd, kWord, kString, kNumber, kSymbol } type = kEnd;
  std::string text;
  std::size_t column = 0;
};

bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == ':' || c == '.' ||
         c == '-' || c == '/' || static_cast<unsigned char>(c) >= 0x80;
}

bool Tokenize(const std::string& s, std::vector<Token>* out, FilterError* error) {
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c)) != 0) {
      ++i;
      continue;
    }
    Token t;
    t.column = i + 1;
    if (c == '\'' || c == '"') {
      // Quotes inside are doubled; a double-quoted text is a property name.
      std::string text;
      ++i;
      bool closed = false;
      while (i < s.size()) {
        if (s[i] == c) {
          if (i + 1 < s.size() && s[i + 1] == c) {
            text += c;
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        text += s[i++];
      }
      if (!closed) {
        error->message = "unterminated quoted text at column " + std::to_string(t.column);
        return false;
      }
      t.type = c == '\'' ? Token::kString : Token::kWord;
      t.text = std::move(text);
    } else if (std::isdigit(static_cast<unsigned char>(c)) != 0 ||
               ((c == '-' || c == '+' || c == '.') && i + 1 < s.size() &&
                (std::isdigit(static_cast<unsigned char>(s[i + 1])) != 0 || s[i + 1] == '.'))) {
      std::size_t j = i + 1;
      while (j < s.size() &&
             (std::isdigit(static_cast<unsigned char>(s[j])) != 0 || s[j] == '.' || s[j] == 'e' ||
              s[j] == 'E' ||
              ((s[j] == '-' || s[j] == '+') && (s[j - 1] == 'e' || s[j - 1] == 'E')))) {
        ++j;
      }
      t.type = Token::kNumber;
      t.text = s.substr(i, j - i);
      i = j;
    } else if (IsWordChar(c)) {
      std::size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      t.type = Token::kWord;
      t.text = s.substr(i, j - i);
      i = j;
    } else {
      static const char* const kSymbols[] = {"<>", "<=", ">=", "!=", "=", "<", ">", "(", ")", ","};
      bool matched = false;
      for (const char* sym : kSymbols) {
        const std::string symbol(sym);
        if (s.compare(i, symbol.size(), symbol) == 0) {
          t.type = Token::kSymbol;
          t.text = symbol == "!=" ? "<>" : symbol;
          i += symbol.size();
          matched = true;
          break;
        }
      }
      if (!matched) {
        error->message =
            std::string("unexpected character '") + c + "' at column " + std::to_string(t.column);
        return false;
      }
    }
    out->push_back(std::move(t));
  }
  Token end;
  end.column = s.size() + 1;
  out->push_back(end);
  return true;
}

bool Upper(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return i == a.size() && b[i] == '\0';
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, FilterError* error)
      : tokens_(std::move(tokens)), error_(error) {}

  bool Run(Filter* out) {
    if (!Or(out, 0)) return false;
    if (Peek().type != Token::kEnd) return Fail("unexpected '" + Peek().text + "'");
    return true;
  }

 private:
  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Next() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }
  bool IsWord(const char* upper) const {
    return Peek().type == Token::kWord && Upper(Peek().text, upper);
  }
  bool IsSymbol(const char* s) const { return Peek().type == Token::kSymbol && Peek().text == s; }

  bool Fail(const std::string& message) {
    error_->message = message + " at column " + std::to_string(Peek().column);
    return false;
  }
  bool Expect(const char* symbol) {
    if (!IsSymbol(symbol)) return Fail(std::string("expected '") + symbol + "'");
    Next();
    return true;
  }

  bool Or(Filter* out, int depth) {
    if (depth > kMaxFilterDepth) return Fail("the constraint is nested too deeply");
    return ReadJoined(
        Filter::Kind::kOr, [&](Filter* f) { return And(f, depth); }, [&] { return Joiner("OR"); },
        out);
  }

  bool And(Filter* out, int depth) {
    return ReadJoined(
        Filter::Kind::kAnd, [&](Filter* f) { return Not(f, depth); }, [&] { return Joiner("AND"); },
        out);
  }

  // Consumes the joining keyword `word` when it comes next.
  bool Joiner(const char* word) {
    if (!IsWord(word)) return false;
    Next();
    return true;
  }

  bool Not(Filter* out, int depth) {
    if (IsWord("NOT")) {
      Next();
      if (depth + 1 > kMaxFilterDepth) return Fail("the constraint is nested too deeply");
      std::vector<Filter> inner(1);
      if (!Not(&inner.back(), depth + 1)) return false;
      *out = Filter::Combine(Filter::Kind::kNot, std::move(inner));
      return true;
    }
    return Primary(out, depth);
  }

  bool Number(double* v) {
    const Token& t = Peek();
    if (t.type != Token::kNumber) return Fail("expected a number");
    if (!base::ParseDouble(t.text, v)) return Fail("expected a number");
    Next();
    return true;
  }

  // BBOX(w, s, e, n) after the word, ENVELOPE(w, e, n, s), or a polygon,
  // whose box it stands for.
  bool Geometry(double box[4]) {
    if (IsWord("BBOX")) {
      Next();
      return Expect("(") && Number(&box[0]) && Expect(",") && Number(&box[1]) && Expect(",") &&
             Number(&box[2]) && Expect(",") && Number(&box[3]) && Expect(")");
    }
    if (IsWord("ENVELOPE")) {
      Next();
      return Expect("(") && Number(&box[0]) && Expect(",") && Number(&box[2]) && Expect(",") &&
             Number(&box[3]) && Expect(",") && Number(&box[1]) && Expect(")");
    }
    if (IsWord("POLYGON")) {
      Next();
      if (!Expect("(") || !Expect("(")) return false;
      bool first = true;
      for (;;) {
        double x = 0;
        double y = 0;
        if (!Number(&x) || !Number(&y)) return false;
        if (first || x < box[0]) box[0] = x;
        if (first || y < box[1]) box[1] = y;
        if (first || x > box[2]) box[2] = x;
        if (first || y > box[3]) box[3] = y;
        first = false;
        if (IsSymbol(",")) {
          Next();
          continue;
        }
        break;
      }
      return Expect(")") && Expect(")");
    }
    return Fail("expected BBOX, ENVELOPE or POLYGON");
  }

  bool Value(std::string* out) {
    const Token& t = Peek();
    if (t.type == Token::kString || t.type == Token::kNumber) {
      *out = t.text;
      Next();
      return true;
    }
    if (t.type == Token::kWord && (Upper(t.text, "TIMESTAMP") || Upper(t.text, "DATE"))) {
      Next();
      if (!Expect("(")) return false;
      if (Peek().type != Token::kString) return Fail("expected a quoted date");
      *out = Next().text;
      return Expect(")");
    }
    if (t.type == Token::kWord && (Upper(t.text, "TRUE") || Upper(t.text, "FALSE"))) {
      *out = Upper(t.text, "TRUE") ? "true" : "false";
      Next();
      return true;
    }
    return Fail("expected a value");
  }

  bool Primary(Filter* out, int depth) {
    if (IsSymbol("(")) {
      Next();
      if (!Or(out, depth + 1)) return false;
      return Expect(")");
    }
    if (IsWord("BBOX")) {
      // BBOX(property, w, s, e, n [, crs])
      Next();
      Filter f;
      f.kind = Filter::Kind::kBBox;
      if (!Expect("(") || !Property(&f.property) || !Expect(",")) return false;
      if (!Number(&f.box[0]) || !Expect(",") || !Number(&f.box[1]) || !Expect(",") ||
          !Number(&f.box[2]) || !Expect(",") || !Number(&f.box[3])) {
        return false;
      }
      if (IsSymbol(",")) {
        Next();
        if (Peek().type != Token::kString) return Fail("expected a quoted reference system");
        Next();
      }
      *out = std::move(f);
      return Expect(")");
    }
    if (IsWord("S_INTERSECTS") || IsWord("INTERSECTS")) {
      Next();
      Filter f;
      f.kind = Filter::Kind::kBBox;
      if (!Expect("(") || !Property(&f.property) || !Expect(",") || !Geometry(f.box)) return false;
      *out = std::move(f);
      return Expect(")");
    }
    Filter f;
    if (!Property(&f.property)) return false;
    bool negate = false;
    if (IsWord("NOT")) {
      Next();
      negate = true;
    }
    if (IsWord("LIKE") || IsWord("ILIKE")) {
      Next();
      f.kind = Filter::Kind::kLike;
      if (Peek().type != Token::kString) return Fail("expected a quoted pattern");
      f.value = NormalizeLikePattern(Next().text, '%', '_', '\\');
    } else if (IsWord("BETWEEN")) {
      Next();
      f.kind = Filter::Kind::kBetween;
      if (!Value(&f.value)) return false;
      if (!IsWord("AND")) return Fail("expected AND");
      Next();
      if (!Value(&f.value2)) return false;
    } else if (!negate && IsWord("IS")) {
      Next();
      if (IsWord("NOT")) {
        Next();
        negate = true;
      }
      if (!IsWord("NULL")) return Fail("expected NULL");
      Next();
      f.kind = Filter::Kind::kIsNull;
    } else if (!negate && Peek().type == Token::kSymbol && Peek().text != "(" &&
               Peek().text != ")" && Peek().text != ",") {
      f.kind = Filter::Kind::kCompare;
      f.op = Next().text;
      if (!Value(&f.value)) return false;
    } else {
      return Fail("expected a comparison");
    }
    if (negate) {
      std::vector<Filter> inner;
      inner.push_back(std::move(f));
      *out = Filter::Combine(Filter::Kind::kNot, std::move(inner));
    } else {
      *out = std::move(f);
    }
    return true;
  }

  bool Property(std::string* out) {
    if (Peek().type != Token::kWord) return Fail("expected a property name");
    *out = Next().text;
    return true;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  FilterError* error_;
};

}  // namespace

bool ParseCql(const std::string& text, Filter* out, FilterError* error) {
  if (text.size() > kMaxFilterText) {
    error->message = "the constraint is longer than " + std::to_string(kMaxFilterText) + " bytes";
    return false;
  }
  std::vector<Token> tokens;
  if (!Tokenize(text, &tokens, error)) return false;
  if (tokens.size() == 1) {
    error->message = "the constraint is empty";
    return false;
  }
  Filter f;
  Parser parser(std::move(tokens), error);
  if (!parser.Run(&f) || !CheckFilterBounds(f, error)) return false;
  *out = std::move(f);
  return true;
}

}  // namespace metashelf::server

// The dialect lexer: a single pass over the bytes with explicit states.
#include "dialect/tokenizer.h"

#include <cstring>

#include "metashelf/base/ascii.h"

namespace metashelf {
namespace driver {
namespace dialect {
namespace {

bool WordByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#' || c >= 0x80;
}
bool WordStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}
bool Digit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool SpaceByte(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Scans a quoted run starting at `pos` (on the opening quote); a doubled
// quote stands for one. Returns the index past the closing quote, or npos.
std::size_t ScanQuoted(std::string_view s, std::size_t pos, char quote) {
  std::size_t i = pos + 1;
  while (i < s.size()) {
    // Long values are the common case: jump from quote to quote.
    const void* hit = std::memchr(s.data() + i, quote, s.size() - i);
    if (hit == nullptr) break;
    i = static_cast<std::size_t>(static_cast<const char*>(hit) - s.data());
    if (i + 1 < s.size() && s[i + 1] == quote) {
      i += 2;
      continue;
    }
    return i + 1;
  }
  return std::string_view::npos;
}

}  // namespace

bool ScanToken(std::string_view s, std::size_t i, TokenKind* kind, std::size_t* end, Error* error) {
  const std::size_t n = s.size();
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (SpaceByte(c)) {
    while (i < n && SpaceByte(static_cast<unsigned char>(s[i]))) ++i;
    *kind = TokenKind::kSpace;
  } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
    while (i < n && s[i] != '\n') ++i;
    *kind = TokenKind::kComment;
  } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
    const std::size_t close = s.find("*/", i + 2);
    if (close == std::string_view::npos) {
      *error = Error{1742, "unterminated comment"};
      return false;
    }
    i = close + 2;
    *kind = TokenKind::kComment;
  } else if (c == '\'' || c == '"') {
    const std::size_t after = ScanQuoted(s, i, static_cast<char>(c));
    if (after == std::string_view::npos) {
      *error = c == '"' ? Error{1740, "unterminated quoted name"}
                        : Error{1756, "unterminated string literal"};
      return false;
    }
    i = after;
    *kind = c == '"' ? TokenKind::kQuotedName : TokenKind::kString;
  } else if ((c == 'X' || c == 'x' || c == 'N' || c == 'n') && i + 1 < n && s[i + 1] == '\'') {
    const std::size_t after = ScanQuoted(s, i + 1, '\'');
    if (after == std::string_view::npos) {
      *error = Error{1756, "unterminated string literal"};
      return false;
    }
    i = after;
    *kind = (c == 'X' || c == 'x') ? TokenKind::kBlob : TokenKind::kString;
  } else if (WordStart(c)) {
    while (i < n && WordByte(static_cast<unsigned char>(s[i]))) ++i;
    *kind = TokenKind::kWord;
  } else if (Digit(c) || (c == '.' && i + 1 < n && Digit(static_cast<unsigned char>(s[i + 1])))) {
    while (i < n && Digit(static_cast<unsigned char>(s[i]))) ++i;
    if (i < n && s[i] == '.') {
      ++i;
      while (i < n && Digit(static_cast<unsigned char>(s[i]))) ++i;
    }
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
      std::size_t j = i + 1;
      if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
      if (j < n && Digit(static_cast<unsigned char>(s[j]))) {
        i = j;
        while (i < n && Digit(static_cast<unsigned char>(s[i]))) ++i;
      }
    }
    *kind = TokenKind::kNumber;
  } else if (c == ':' && i + 1 < n && WordByte(static_cast<unsigned char>(s[i + 1]))) {
    ++i;
    while (i < n && WordByte(static_cast<unsigned char>(s[i]))) ++i;
    *kind = TokenKind::kBind;
  } else if (c == '?') {
    ++i;
    *kind = TokenKind::kLifted;
  } else {
    static const char* const kTwo[] = {"<=", ">=", "<>", "!=", "||", ":=", "=>"};
    std::size_t len = 1;
    if (i + 1 < n) {
      for (const char* two : kTwo) {
        if (s[i] == two[0] && s[i + 1] == two[1]) len = 2;
      }
    }
    i += len;
    *kind = TokenKind::kPunct;
  }
  *end = i;
  return true;
}

bool Tokenize(std::string_view s, std::vector<Token>* out, Error* error) {
  out->clear();
  out->reserve(s.size() / 3 + 8);
  std::size_t i = 0;
  while (i < s.size()) {
    TokenKind kind;
    std::size_t end = 0;
    if (!ScanToken(s, i, &kind, &end, error)) return false;
    out->push_back(Token{kind, std::string(s.substr(i, end - i)), 0});
    i = end;
  }
  return true;
}

bool WordEquals(std::string_view word, const char* upperKeyword) {
  const std::size_t len = std::strlen(upperKeyword);
  if (word.size() != len) return false;
  for (std::size_t i = 0; i < len; ++i) {
    char c = word[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upperKeyword[i]) return false;
  }
  return true;
}

bool IsWord(const Token& t, const char* upperKeyword) {
  if (t.kind != TokenKind::kWord || t.text.empty()) return false;
  const char first =
      t.text[0] >= 'a' && t.text[0] <= 'z' ? static_cast<char>(t.text[0] - 32) : t.text[0];
  if (first != upperKeyword[0]) return false;
  const std::size_t len = std::strlen(upperKeyword);
  if (t.text.size() != len) return false;
  for (std::size_t i = 0; i < len; ++i) {
    char c = t.text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upperKeyword[i]) return false;
  }
  return true;
}

bool IsPunct(const Token& t, const char* punct) {
  return t.kind == TokenKind::kPunct && t.text == punct;
}

std::string Join(const std::vector<Token>& tokens, std::size_t begin, std::size_t end) {
  std::string out;
  for (std::size_t i = begin; i < end && i < tokens.size(); ++i) out += tokens[i].text;
  return out;
}

std::string Upper(std::string_view text) {
  return base::AsciiUpper(text);
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

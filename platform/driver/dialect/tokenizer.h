// The lexer under the dialect adapter. It cuts an Oracle statement text into
// tokens that keep their exact source spelling, so that text can be rebuilt
// byte for byte and nothing inside a string literal or a quoted name is ever
// altered. States: normal text, string literal, quoted name, bind name,
// comment.
#ifndef METASHELF_DRIVER_DIALECT_TOKENIZER_H_
#define METASHELF_DRIVER_DIALECT_TOKENIZER_H_

#include <string>
#include <string_view>
#include <vector>

#include "dialect/error.h"

namespace metashelf {
namespace driver {
namespace dialect {

enum class TokenKind {
  kSpace,       // blanks, tabs, line breaks
  kComment,     // -- to end of line, or /* ... */
  kWord,        // a name or keyword: letters, digits, _ $ # and bytes >= 0x80
  kQuotedName,  // "..." with "" standing for one quote
  kString,      // '...' with '' standing for one quote; also N'...'
  kBlob,        // X'...' hexadecimal binary literal
  kNumber,      // 12, 1.5, .5, 1e-3
  kBind,        // :name or :1
  kLifted,      // ? : a literal lifted out of the text (see LiftLiterals)
  kPunct,       // one operator or punctuation mark (<=, >=, <>, !=, ||, := are one token)
};

struct Token {
  TokenKind kind;
  std::string text;  // exactly as in the source
  int slot = 0;      // for kBind/kLifted after numbering: the positional parameter (from 1)
};

// Scans the one token of `s` that starts at `pos` (< s.size()): its kind
// and the index just past it. False with `*error` set for an unterminated
// string literal, quoted name or comment.
bool ScanToken(std::string_view s, std::size_t pos, TokenKind* kind, std::size_t* end,
               Error* error);

// Case-insensitive comparison of a word with an upper-case keyword.
bool WordEquals(std::string_view word, const char* upperKeyword);

// Cuts `sql` into tokens. False with `*error` set for an unterminated string
// literal, quoted name or comment; every other byte sequence is accepted.
bool Tokenize(std::string_view sql, std::vector<Token>* out, Error* error);

// True for tokens that carry meaning (not blanks or comments).
inline bool Significant(const Token& t) {
  return t.kind != TokenKind::kSpace && t.kind != TokenKind::kComment;
}

// Case-insensitive comparison of a word token with an upper-case keyword.
bool IsWord(const Token& t, const char* upperKeyword);
bool IsPunct(const Token& t, const char* punct);

// The concatenated text of tokens [begin, end).
std::string Join(const std::vector<Token>& tokens, std::size_t begin, std::size_t end);

// An upper-cased copy of ASCII letters (other bytes unchanged).
std::string Upper(std::string_view text);

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_TOKENIZER_H_

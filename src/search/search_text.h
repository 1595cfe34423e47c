// The checks and conversions that keep a search request from changing the
// shape of the statement it becomes: which expressions, operators and
// values are accepted, how text values are quoted, and how condition
// numbers are read. Pure functions of their arguments.
#ifndef METASHELF_SRC_SEARCH_SEARCH_TEXT_H_
#define METASHELF_SRC_SEARCH_SEARCH_TEXT_H_

#include <cstdint>
#include <string>

namespace metashelf {
namespace search {

// True when `expression` holds only condition numbers, blanks (space, tab,
// line breaks), parentheses and the lower-case words "and" and "or". Any
// other character (a letter of another word, a quote, a semicolon, a
// comment marker, a NUL) makes it false, so that after the keyword
// replacement the expression contributes nothing but set operators and
// parentheses to the statement.
bool IsAcceptedExpression(const std::string& expression);

// True for the comparisons a condition may use: =, <>, !=, <, <=, >, >=,
// like and between (exact, lower case).
bool IsAcceptedOperator(const std::string& op);

// True for a decimal number as SQL writes it: an optional sign, digits with
// an optional fraction (or a fraction alone), an optional exponent. No
// blanks.
bool IsNumberText(const std::string& value);

// True for a calendar date written YYYY-MM-DD (year 0001 to 9999, the day
// within its month, leap years counted).
bool IsDateText(const std::string& value);

// `value` with every single quote doubled, ready to stand between quotes.
std::string QuoteDoubled(const std::string& value);

// Reads a run of decimal digits as a condition number. False when the run
// is empty, holds a non-digit or does not fit 32 bits (leading zeros are
// allowed: "007" is 7).
bool ParseConditionNumber(const char* digits, std::size_t length, std::int32_t* number);

// Reads a record id from the text a driver wrote: leading blanks skipped,
// an optional sign, digits up to the first other character; an empty text
// gives 0; values beyond 64 bits stop at the limit of their sign.
std::int64_t ParseIdText(const char* text, std::size_t room);

// The longest prefix of `text` (of `length` bytes) that fits `room` bytes
// and does not end inside a UTF-8 character.
std::size_t Utf8PrefixLength(const char* text, std::size_t length, std::size_t room);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_SEARCH_TEXT_H_

// The checks that keep a search request from changing the shape of the
// statement it becomes: which expressions and operators are accepted, and
// how condition numbers are read. The values a condition compares are
// checked by the shared value rules (metashelf/base) and quoted by them.
#ifndef METASHELF_SRC_SEARCH_REQUEST_CHECKS_H_
#define METASHELF_SRC_SEARCH_REQUEST_CHECKS_H_

#include <cstddef>
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

// Reads a run of decimal digits as a condition number. False when the run
// is empty, holds a non-digit or does not fit 32 bits (leading zeros are
// allowed: "007" is 7).
bool ParseConditionNumber(const char* digits, std::size_t length, std::int32_t* number);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_REQUEST_CHECKS_H_

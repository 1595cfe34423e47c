// Per-set statement texts: printf-style formatting into a string of any
// length, literal quoting, and the value forms the node tables use (shortest
// round-trip numbers, checked dates).
#ifndef METASHELF_SRC_DATASET_SQL_TEXT_H_
#define METASHELF_SRC_DATASET_SQL_TEXT_H_

#include <cstdint>
#include <string>

namespace metashelf {
namespace dataset {

// The widest text value a META_NDTEXT_<id> row holds (VARCHAR2(4000)).
constexpr std::size_t kMaxTextValue = 4000;

// printf into a string; never truncates.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `value` with every single quote doubled, for use between quotes.
std::string QuoteLiteral(const char* value);
// Appends the decimal text of `value` to `*out` (as "%lld" writes it).
void AppendInt(std::string* out, std::int64_t value);
// Appends the `length` bytes of `value` to `*out` with each quote doubled.
void AppendQuoted(std::string* out, const char* value, std::size_t length);

// The shortest decimal text that reads back as exactly `value`, whatever
// the locale ("%g" style; with `upperExponent`, an exponent form with 'E').
// `value` must be finite.
std::string ShortestNumber(double value, bool upperExponent = false);

// Parses a number node's value: blanks (space, tab, CR, LF) around it are
// ignored; an empty or all-blank text is `*isNull`. A plain decimal number
// (sign, digits, one point, exponent) that is finite is accepted; anything
// else (hex, "inf", "nan", trailing text, overflow) is refused.
bool ParseNumberValue(const char* text, double* value, bool* isNull);

// True for an empty text or a real calendar date written YYYY-MM-DD.
bool IsStorableDate(const char* text);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_SQL_TEXT_H_

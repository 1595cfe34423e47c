// Decimal numbers as text, by the C rules whatever locale the host process
// set: the accepted form, text to double, and double to text (the shortest
// text that reads back as the same double). Nothing here consults the
// locale, so a host running under a comma-decimal locale stores and reads
// the same texts as any other.
#ifndef METASHELF_BASE_NUMBERS_H_
#define METASHELF_BASE_NUMBERS_H_

#include <string>
#include <string_view>

namespace metashelf::base {

// True when the whole of `text` is a plain decimal number: an optional sign,
// digits with at most one point (at least one digit in all), and an optional
// exponent (e or E, optional sign, at least one digit). No blanks, no hex,
// no "inf" or "nan".
bool IsDecimalNumber(std::string_view text);

// Reads a plain decimal number (IsDecimalNumber) into `*value`. False, with
// `*value` untouched, for any other text and for a number that overflows a
// double.
bool ParseDouble(std::string_view text, double* value);

// The shortest text that ParseDouble reads back as exactly `value`, in the
// form printf's "%g" gives at that many significant digits ("0.1", "1e+20",
// "-105.694", "123456789"); with `upperExponent`, always the exponent form
// with an upper-case E ("1.5E+00"). `value` must be finite.
std::string ShortestDouble(double value, bool upperExponent = false);

// `value` as printf would print it with "%.<precision><style>" in the C
// locale; `style` is one of 'f', 'e', 'E', 'g'. For display, not storage.
std::string FormatDouble(double value, char style, int precision);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_NUMBERS_H_

// The number and date forms of leaf values on number and date nodes.
#ifndef METASHELF_MODEL_VALUE_FORMS_H_
#define METASHELF_MODEL_VALUE_FORMS_H_

#include <string>
#include <string_view>

namespace metashelf::model {

// Number forms. A number is [+-]digits[.digits][e[+-]digits] (or starting
// with the point), finite.
bool ParseNumber(std::string_view text, double& value);
// The canonical text of a number: the shortest that reads back as the same
// double; for integer data types the integer.
std::string FormatNumber(double value, bool integer);
// Integers of integer-typed nodes must be exact in a double.
bool IsExactInteger(double value);

// A full date YYYY-MM-DD that exists (year 0001 to 9999).
bool IsFullDate(std::string_view text);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_VALUE_FORMS_H_

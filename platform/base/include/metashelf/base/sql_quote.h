// SQL string literals: a text between single quotes with each quote inside
// doubled, the one way every statement the system writes carries a text.
#ifndef METASHELF_BASE_SQL_QUOTE_H_
#define METASHELF_BASE_SQL_QUOTE_H_

#include <string>
#include <string_view>

namespace metashelf::base {

// Appends `text` to `*out` with every single quote doubled.
void AppendQuoteDoubled(std::string* out, std::string_view text);

// `text` with every single quote doubled (without the enclosing quotes).
std::string QuoteDoubled(std::string_view text);

// `text` as a literal: between single quotes, each quote inside doubled.
std::string SqlLiteral(std::string_view text);

}  // namespace metashelf::base

#endif  // METASHELF_BASE_SQL_QUOTE_H_

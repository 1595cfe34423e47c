// SQL quote doubling.
#include "metashelf/base/sql_quote.h"

namespace metashelf::base {

void AppendQuoteDoubled(std::string* out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t quote = text.find('\''); quote != std::string_view::npos;
       quote = text.find('\'', run)) {
    out->append(text.data() + run, quote - run + 1);
    *out += '\'';
    run = quote + 1;
  }
  out->append(text.data() + run, text.size() - run);
}

std::string QuoteDoubled(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendQuoteDoubled(&out, text);
  return out;
}

std::string SqlLiteral(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 4);
  out += '\'';
  AppendQuoteDoubled(&out, text);
  out += '\'';
  return out;
}

}  // namespace metashelf::base

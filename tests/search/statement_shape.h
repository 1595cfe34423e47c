// The shape every search statement of one collection must have, whatever
// the request: sub-selects of that collection's value tables joined
// by set operators and parentheses, with every value inside a closed
// literal. Used by the hostile-input tests and the fuzz target.
#ifndef METASHELF_TESTS_SEARCH_STATEMENT_SHAPE_H_
#define METASHELF_TESTS_SEARCH_STATEMENT_SHAPE_H_

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace search_test {

// Empty when `sql` has the shape for collection `mdsID` of `owner`;
// otherwise what is wrong with it.
inline std::string StatementShapeFault(const std::string& sql, const std::string& owner = "GEO",
                                       std::int32_t mdsID = 7) {
  // The text outside quoted literals, each literal replaced by one '?'.
  std::string outside;
  bool quoted = false;
  for (std::size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\0') return "NUL in the statement";
    if (!quoted) {
      if (c == '\'') {
        quoted = true;
        outside += '?';
      } else {
        outside += c;
      }
    } else if (c == '\'') {
      if (i + 1 < sql.size() && sql[i + 1] == '\'') {
        ++i;  // a doubled quote stays inside the literal
      } else {
        quoted = false;
      }
    }
  }
  if (quoted) return "a literal is left open";
  // A like value holding % or _ carries its escape clause after it.
  for (std::size_t at; (at = outside.find("? escape ?")) != std::string::npos;) {
    outside.erase(at + 1, std::strlen(" escape ?"));
  }
  if (outside.find(';') != std::string::npos) return "statement separator";
  if (outside.find("--") != std::string::npos) return "line comment";
  if (outside.find("/*") != std::string::npos) return "block comment";

  // Cut out every sub-select; what remains may only be set operators,
  // blanks and parentheses.
  const std::string start = "select distinct METAID from " + owner + ".META_ND";
  const std::string id = std::to_string(mdsID) + " ";
  std::string rest;
  std::size_t at = 0;
  while (at < outside.size()) {
    const std::size_t found = outside.find(start, at);
    rest.append(outside, at, (found == std::string::npos ? outside.size() : found) - at);
    if (found == std::string::npos) break;
    std::size_t p = found + start.size();
    bool known = false;
    for (const char* stem : {"TEXT_", "NUMBER_", "DATETIME_"}) {
      const std::string table = stem + id;
      if (outside.compare(p, table.size(), table) == 0) {
        p += table.size();
        known = true;
        break;
      }
    }
    if (!known) return "a table of another collection";
    if (outside.compare(p, 15, "where NODEGUID=") != 0) return "sub-select without its filter";
    p += 15;
    while (p < outside.size() &&
           (std::isdigit(static_cast<unsigned char>(outside[p])) || outside[p] == '-')) {
      ++p;
    }
    if (outside.compare(p, 14, " and NODEVALUE") != 0) return "sub-select without its value test";
    p += 14;
    // The comparison: an operator and one value, or the range form.
    static const char* const kForms[] = {
        " between ", " like ", "<>", "!=", "<=", ">=", "=", "<", ">"};
    bool matched = false;
    for (const char* form : kForms) {
      if (outside.compare(p, std::strlen(form), form) == 0) {
        p += std::strlen(form);
        matched = true;
        break;
      }
    }
    if (!matched) return "unknown comparison";
    // Values: '?' literals, TO_DATE(?,?), numbers, and " And " between.
    while (p < outside.size()) {
      const char c = outside[p];
      if (c == '?' || std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' ||
          c == '-' || c == 'e' || c == 'E' || c == ',' || c == '%') {
        ++p;
      } else if (outside.compare(p, 8, "TO_DATE(") == 0) {
        p += 8;
      } else if (outside.compare(p, 5, " And ") == 0) {
        p += 5;
      } else if (c == ')' && p >= 4 && outside.compare(p - 4, 4, "(?,?") == 0) {
        ++p;  // the end of TO_DATE('...','YYYY-MM-DD')
      } else {
        break;
      }
    }
    at = p;
  }
  for (std::size_t i = 0; i < rest.size();) {
    if (rest.compare(i, 9, "intersect") == 0) {
      i += 9;
    } else if (rest.compare(i, 9, "union all") == 0) {
      i += 9;
    } else if (std::strchr(" \t\r\n()", rest[i]) != nullptr) {
      ++i;
    } else {
      return "stray text between sub-selects: " + rest.substr(i, 40);
    }
  }
  return std::string();
}

}  // namespace search_test

#endif  // METASHELF_TESTS_SEARCH_STATEMENT_SHAPE_H_

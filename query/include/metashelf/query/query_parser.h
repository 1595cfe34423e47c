// The readable search text of `metashelf search`, `metashelf map` and the
// server's collection page, such as
//
//   title like water and (westbc >= -120 or keyword = Hydrology)
//
// turned into what SearchMetaData takes: numbered conditions (SearchNode) and
// an expression over their numbers ("1 and (2 or 3)"). A pure function: field
// names are resolved through a callback, so the parser knows no schema.
//
// "and" binds tighter than "or". The database evaluates the set operators
// that the expression becomes left to right with equal precedence, so the
// expression written out carries every parenthesis that this needs.
//
// Everything that is not a well-formed query is refused with a message and
// the column where it went wrong: values are checked against the node's
// table type (a number node takes only a plain decimal number, a date node
// only a real YYYY-MM-DD date, `like` only text nodes), and size, nesting and
// the number of conditions are bounded.
#ifndef METASHELF_QUERY_QUERY_PARSER_H_
#define METASHELF_QUERY_QUERY_PARSER_H_

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "metashelf/records.h"

namespace metashelf::query {

// What a field name stands for: its node path and table type (1 text,
// 2 number, 3 date).
struct FieldInfo {
  std::string path;
  short tableType = 0;
};

// Resolves a field name (a node path or a short alias); false when the
// schema knows no such field.
using FieldResolver = std::function<bool(const std::string& name, FieldInfo* info)>;

struct ParsedQuery {
  std::string expression;              // e.g. "1 and (2 or 3)"
  std::vector<SearchNode> conditions;  // condID 1..n in the order written
};

struct QueryError {
  std::size_t column = 0;  // 1-based column of the offending text (0: whole query)
  std::string message;
};

// Bounds on what a query may be.
constexpr std::size_t kMaxQueryLength = 8192;
constexpr std::size_t kMaxConditions = 64;
constexpr int kMaxNesting = 16;
constexpr std::size_t kMaxValueLength = 4000;

// Parses `text`. Returns true and fills `out`; false with `error` filled
// (and `out` untouched) when the text is refused.
bool ParseQuery(const std::string& text, const FieldResolver& resolve, ParsedQuery* out,
                QueryError* error);

}  // namespace metashelf::query

#endif  // METASHELF_QUERY_QUERY_PARSER_H_

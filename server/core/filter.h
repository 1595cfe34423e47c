// A search constraint as both protocols state it, whichever way it was
// written (filter XML, CSW query text, CQL2 text, or the simple parameters
// q, bbox and datetime): a tree of and/or/not over comparisons of one
// queryable with literal values. Nothing here knows a schema; the tree is
// resolved against each collection when it runs (filter_eval.h).
#ifndef METASHELF_SERVER_CORE_FILTER_H_
#define METASHELF_SERVER_CORE_FILTER_H_

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace metashelf::server {

struct Filter {
  enum class Kind {
    kAll,  // no constraint
    kAnd,
    kOr,
    kNot,
    kCompare,  // property op value  (op: = <> < <= > >=)
    kLike,     // property like pattern (wildcards already made '%' and '_')
    kBetween,  // value <= property <= value2
    kIsNull,   // property has no value
    kBBox,     // the record's box meets [west, south, east, north]
  };
  Kind kind = Kind::kAll;
  std::string property;
  std::string op;
  std::string value;
  std::string value2;
  double box[4] = {0, 0, 0, 0};
  std::vector<Filter> children;

  static Filter All() { return Filter(); }
  static Filter Combine(Kind kind, std::vector<Filter> children);
};

// Reads `operand (joiner operand)*`, the shape of each and/or level of the
// constraint languages, into `out`: the operands joined by `kind`, or the
// one operand itself. `operand(Filter*)` reads one operand; `joiner()`
// consumes the joining word when it comes next and says whether it did.
// False as soon as an operand is refused.
template <typename Operand, typename Joiner>
bool ReadJoined(Filter::Kind kind, Operand operand, Joiner joiner, Filter* out) {
  std::vector<Filter> parts(1);
  if (!operand(&parts.back())) return false;
  while (joiner()) {
    parts.emplace_back();
    if (!operand(&parts.back())) return false;
  }
  *out = Filter::Combine(kind, std::move(parts));
  return true;
}

// Bounds on a constraint, whatever its form.
constexpr std::size_t kMaxFilterText = 16384;  // bytes of text or XML
constexpr std::size_t kMaxFilterConditions = 64;
constexpr int kMaxFilterDepth = 16;

// A refused constraint: the message names what is wrong.
struct FilterError {
  std::string message;
};

// Counts the comparisons and depth of `f`; false with `error` set when a
// bound above is passed.
bool CheckFilterBounds(const Filter& f, FilterError* error);

// A constraint from CQL text, the query language of CSW and, in its newer
// form, of OGC API (both read by one parser: keywords case-insensitive,
// AND/OR/NOT, = <> < <= > >=, LIKE/ILIKE, BETWEEN, IS [NOT] NULL,
// BBOX(prop, w, s, e, n) and S_INTERSECTS(prop, BBOX(w, s, e, n)) or an
// ENVELOPE/POLYGON literal). False with `error` set when refused.
bool ParseCql(const std::string& text, Filter* out, FilterError* error);

// A wildcard pattern in a client's own wildcard characters, rewritten with
// '%' for any run and '_' for one character; `escape` makes the following
// character literal. In the result a backslash makes the next character
// literal.
std::string NormalizeLikePattern(const std::string& pattern, char wildCard, char singleChar,
                                 char escape);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_FILTER_H_

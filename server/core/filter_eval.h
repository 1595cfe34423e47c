// Runs a constraint tree over one collection. Every comparison becomes a
// numbered condition of the library's search (SearchMetaData): node path,
// operator and values, checked against the node's table type; and/or/not
// combine the id sets here. No request text is ever written into a
// statement by this code.
#ifndef METASHELF_SERVER_CORE_FILTER_EVAL_H_
#define METASHELF_SERVER_CORE_FILTER_EVAL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "core/catalog_pool.h"
#include "core/filter.h"

namespace metashelf::server {

struct EvalError {
  enum class Kind {
    kNone,
    kUnknownProperty,  // no queryable, alias or node of that name
    kBadValue,         // a value the property's node cannot take
    kFailed,           // the database failed
  } kind = Kind::kNone;
  std::string message;
  std::string property;
};

// The ids of the records of `collection` that `filter` selects, ascending
// and each once. False with `error` set when it cannot run.
bool EvaluateFilter(OpenCollection& collection, const Filter& filter,
                    std::vector<std::int64_t>* ids, EvalError* error);

// The literal pieces of a normalized wildcard pattern (filter.h) between
// its wildcards; `anyWildcard` tells whether it had any.
std::vector<std::string> LikePieces(const std::string& pattern, bool* anyWildcard);

// A date or date-time as the date part a date node compares ("2020-03-01"
// from "2020-03-01T10:00:00Z"); empty when it is none.
std::string DatePart(const std::string& value);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_FILTER_EVAL_H_

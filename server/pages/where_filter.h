// The collection page's "conditions" field: field conditions written as
// `metashelf search` takes them ("keyword = Hydrology and westbc >= -120"),
// read by the query language library (the same parser the tool uses) against the collection's
// schema and turned into the server's constraint tree, so that the page finds exactly what the tool
// finds.
#ifndef METASHELF_SERVER_PAGES_WHERE_FILTER_H_
#define METASHELF_SERVER_PAGES_WHERE_FILTER_H_

#include <string>

#include "core/catalog_pool.h"
#include "core/filter.h"

namespace metashelf::server::pages {

// False with `error` set (the parser's message and column) when the text is
// refused.
bool WhereFilter(const std::string& text, OpenCollection& collection, Filter* out,
                 std::string* error);

// The tree of a search expression over numbered conditions ("1 and (2 or
// 3)"), `leaves[k - 1]` standing for condition k. False when the expression
// is malformed or names a condition that does not exist.
bool ExpressionTree(const std::string& expression, const std::vector<Filter>& leaves, Filter* out);

}  // namespace metashelf::server::pages

#endif  // METASHELF_SERVER_PAGES_WHERE_FILTER_H_

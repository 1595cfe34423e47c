// The names clients search by (queryables) and what each stands for in a
// collection. A queryable is a search alias of the collection's schema text
// ("title", "abstract", "keyword", the four bounds "westbc".."northbc", and
// others such as "pubdate"), so the node it reaches is the schema's to say:
// a schema without the alias lacks the queryable. Free text and the record
// identifier are not schema nodes and are available everywhere.
#ifndef METASHELF_SERVER_CORE_QUERYABLES_H_
#define METASHELF_SERVER_CORE_QUERYABLES_H_

#include <string>
#include <vector>

#include "core/catalog_pool.h"

namespace metashelf::server {

enum class QueryableKind {
  kAlias,       // the node of a schema alias
  kAnyText,     // every text node with an alias, as free text
  kBox,         // the four bound aliases
  kIdentifier,  // the record id
};

struct QueryableDef {
  const char* name;  // as the catalog protocols write it ("dc:title")
  QueryableKind kind;
  const char* alias;  // for kAlias: the schema alias it stands for
  const char* type;   // JSON type for the queryables document
  // For a date: the alias of a node that may hold the same date with a
  // time of day instead, as text ("modifiedtime": a record stamped with a
  // date-time rather than a date); null when there is none.
  const char* timeAlias = nullptr;
};

// The queryables the catalog publishes, in the order published.
const std::vector<QueryableDef>& KnownQueryables();

// What a queryable name means in `collection`. Names compare without case;
// a name that is no known queryable but is an alias or a node path of the
// collection's schema stands for that node.
struct Resolution {
  enum class Status { kUnknown, kUnavailable, kFound } status = Status::kUnknown;
  QueryableKind kind = QueryableKind::kAlias;
  // For kAlias: the node, and the node of the same value with a time of
  // day (QueryableDef::timeAlias). Either may be missing (guid 0), not
  // both.
  NodeRef node;
  NodeRef timeNode;
};
Resolution ResolveQueryable(OpenCollection& collection, const std::string& name);

// True when `name` is a queryable the catalog publishes (whatever the
// collection), or a plausible schema field; used to tell an unknown name
// from one a collection merely lacks.
bool IsKnownQueryableName(const std::string& name);

// Whether the queryable is available in `collection`.
bool QueryableAvailable(OpenCollection& collection, const QueryableDef& q);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_QUERYABLES_H_

// The published queryables and their resolution (queryables.h).
#include "core/queryables.h"

#include <cctype>

namespace metashelf::server {

const std::vector<QueryableDef>& KnownQueryables() {
  static const std::vector<QueryableDef> kQueryables = {
      {"csw:AnyText", QueryableKind::kAnyText, "", "string"},
      {"dc:title", QueryableKind::kAlias, "title", "string"},
      {"dct:abstract", QueryableKind::kAlias, "abstract", "string"},
      {"dc:subject", QueryableKind::kAlias, "keyword", "string"},
      {"dc:identifier", QueryableKind::kIdentifier, "", "string"},
      {"dc:type", QueryableKind::kAlias, "type", "string"},
      {"dct:modified", QueryableKind::kAlias, "modified", "string", "modifiedtime"},
      {"dc:date", QueryableKind::kAlias, "pubdate", "string"},
      {"dc:creator", QueryableKind::kAlias, "origin", "string"},
      {"ows:BoundingBox", QueryableKind::kBox, "", "geometry"},
      {"apiso:AnyText", QueryableKind::kAnyText, "", "string"},
      {"apiso:Title", QueryableKind::kAlias, "title", "string"},
      {"apiso:Abstract", QueryableKind::kAlias, "abstract", "string"},
      {"apiso:Subject", QueryableKind::kAlias, "keyword", "string"},
      {"apiso:Identifier", QueryableKind::kIdentifier, "", "string"},
      {"apiso:Type", QueryableKind::kAlias, "type", "string"},
      {"apiso:Modified", QueryableKind::kAlias, "modified", "string", "modifiedtime"},
      {"apiso:PublicationDate", QueryableKind::kAlias, "pubdate", "string"},
      {"apiso:OrganisationName", QueryableKind::kAlias, "origin", "string"},
      {"apiso:TempExtent_begin", QueryableKind::kAlias, "begdate", "string"},
      {"apiso:TempExtent_end", QueryableKind::kAlias, "enddate", "string"},
      {"apiso:BoundingBox", QueryableKind::kBox, "", "geometry"},
      // The plain names of the JSON interface.
      {"q", QueryableKind::kAnyText, "", "string"},
      {"id", QueryableKind::kIdentifier, "", "string"},
      {"title", QueryableKind::kAlias, "title", "string"},
      {"description", QueryableKind::kAlias, "abstract", "string"},
      {"keywords", QueryableKind::kAlias, "keyword", "string"},
      {"type", QueryableKind::kAlias, "type", "string"},
      {"updated", QueryableKind::kAlias, "modified", "string", "modifiedtime"},
      {"geometry", QueryableKind::kBox, "", "geometry"},
  };
  return kQueryables;
}

namespace {

bool SameText(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != '\0'; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == '\0';
}

const QueryableDef* FindKnown(const std::string& name) {
  for (const QueryableDef& q : KnownQueryables()) {
    if (SameText(name, q.name)) return &q;
  }
  return nullptr;
}

}  // namespace

bool QueryableAvailable(OpenCollection& collection, const QueryableDef& q) {
  switch (q.kind) {
    case QueryableKind::kAlias:
      return collection.Alias(q.alias, nullptr) ||
             (q.timeAlias != nullptr && collection.Alias(q.timeAlias, nullptr));
    case QueryableKind::kBox:
      return collection.Alias("westbc", nullptr) && collection.Alias("eastbc", nullptr) &&
             collection.Alias("southbc", nullptr) && collection.Alias("northbc", nullptr);
    case QueryableKind::kAnyText:
    case QueryableKind::kIdentifier:
      return true;
  }
  return false;
}

bool IsKnownQueryableName(const std::string& name) {
  return FindKnown(name) != nullptr;
}

Resolution ResolveQueryable(OpenCollection& collection, const std::string& name) {
  Resolution r;
  if (const QueryableDef* q = FindKnown(name); q != nullptr) {
    r.kind = q->kind;
    if (!QueryableAvailable(collection, *q)) {
      r.status = Resolution::Status::kUnavailable;
      return r;
    }
    if (q->kind == QueryableKind::kAlias) {
      collection.Alias(q->alias, &r.node);
      if (q->timeAlias != nullptr) collection.Alias(q->timeAlias, &r.timeNode);
    }
    r.status = Resolution::Status::kFound;
    return r;
  }
  // A schema's own alias or node path.
  CNodeInfo info;
  CSchema& schema = collection.schema();
  const bool found = name.find('/') != std::string::npos
                         ? schema.GetNodeInfoByPath(name.c_str(), &info) == 1
                         : schema.GetNodeInfoByAlias(name.c_str(), &info) == 1;
  if (!found) return r;
  r.status = Resolution::Status::kFound;
  r.kind = QueryableKind::kAlias;
  info.GetNodeGUID(r.node.guid);
  info.GetTableType(r.node.tableType);
  r.node.path = info.Path();
  return r;
}

}  // namespace metashelf::server

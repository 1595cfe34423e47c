// The inside of a loaded CSchema: its nodes as a tree keyed by namespace URI
// and local name (how records are matched), and the lookups by GUID, path
// and alias.
#ifndef METASHELF_MODEL_SCHEMA_IMPL_H_
#define METASHELF_MODEL_SCHEMA_IMPL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "metashelf/model.h"

namespace metashelf::model {

constexpr const char* kXmlNamespace = "http://www.w3.org/XML/1998/namespace";

struct SchemaNode {
  std::int32_t guid = 0;
  std::int32_t parentGuid = 0;
  int parent = -1;  // index of the parent node, -1 for a root
  short tableType = 1;
  bool isAttribute = false;
  bool repeatable = false;
  bool integer = false;  // integer data type: values must be whole numbers
  std::string path;
  std::string name;  // qualified name with the schema's prefix
  std::string dataType;
  std::string alias;
  int uri = 0;  // index into SchemaModel::uris; 0 is "no namespace"
  std::string local;
  std::vector<int> children;
};

// Node tree and lookups, shared by CSchema and the parser of schema texts.
struct SchemaModel {
  std::vector<SchemaNode> nodes;
  std::vector<std::pair<std::string, std::string>> namespaces;  // prefix, URI
  std::vector<std::string> uris{""};
  std::vector<int> roots;
  std::unordered_map<std::int32_t, int> byGuid;
  std::unordered_map<std::string, int> byPath;
  std::unordered_map<std::string, int> byAlias;

  // Index of the URI, or -1 when no node uses it.
  int UriIndex(std::string_view uri) const;
  int InternUri(const std::string& uri);
  // The child (element or attribute) of `parent` (-1: a root) with this
  // namespace and local name, or -1.
  int FindChild(int parent, int uri, std::string_view local, bool attribute) const;
  // The namespace URI of a schema prefix ("" for none), false if undeclared.
  bool PrefixUri(std::string_view prefix, std::string& uri) const;
  // Splits `name` and resolves its prefix; fills node.uri and node.local.
  bool ResolveName(SchemaNode& node);
  // Rebuilds children, roots and the lookup maps from `nodes`.
  bool Index(std::string& error);
};

}  // namespace metashelf::model

struct CSchema::Impl {
  std::int32_t id = 0;
  std::string schemaDoc;
  std::string n2emap;
  metashelf::model::SchemaModel model;
};

#endif  // METASHELF_MODEL_SCHEMA_IMPL_H_

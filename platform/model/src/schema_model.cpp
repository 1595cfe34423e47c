// SchemaModel: resolving node names to namespace URIs and indexing the node
// tree for lookups by GUID, path, alias and (URI, local name).
#include <cstring>

#include "schema_impl.h"

namespace metashelf::model {

int SchemaModel::UriIndex(std::string_view uri) const {
  for (std::size_t i = 0; i < uris.size(); ++i) {
    if (uris[i] == uri) return static_cast<int>(i);
  }
  return -1;
}

int SchemaModel::InternUri(const std::string& uri) {
  const int at = UriIndex(uri);
  if (at >= 0) return at;
  uris.push_back(uri);
  return static_cast<int>(uris.size() - 1);
}

int SchemaModel::FindChild(int parent, int uri, std::string_view local, bool attribute) const {
  const std::vector<int>& list = parent < 0 ? roots : nodes[parent].children;
  for (int child : list) {
    const SchemaNode& n = nodes[child];
    if (n.uri == uri && n.isAttribute == attribute && n.local == local) return child;
  }
  return -1;
}

bool SchemaModel::PrefixUri(std::string_view prefix, std::string& uri) const {
  if (prefix == "xml") {
    uri = kXmlNamespace;
    return true;
  }
  for (const auto& ns : namespaces) {
    if (ns.first == prefix) {
      uri = ns.second;
      return true;
    }
  }
  if (prefix.empty()) {
    uri.clear();
    return true;
  }
  return false;
}

bool SchemaModel::ResolveName(SchemaNode& node) {
  const auto colon = node.name.find(':');
  std::string uri;
  if (colon == std::string::npos) {
    node.local = node.name;
    // Unprefixed attributes are in no namespace; unprefixed elements in the
    // schema's default namespace, if it declares one.
    if (!node.isAttribute && !PrefixUri("", uri)) return false;
  } else {
    node.local = node.name.substr(colon + 1);
    if (!PrefixUri(std::string_view(node.name).substr(0, colon), uri)) return false;
  }
  node.uri = InternUri(uri);
  return true;
}

bool SchemaModel::Index(std::string& error) {
  roots.clear();
  byGuid.clear();
  byPath.clear();
  byAlias.clear();
  byGuid.reserve(nodes.size());
  byPath.reserve(nodes.size());
  for (auto& n : nodes) n.children.clear();
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SchemaNode& n = nodes[i];
    if (!ResolveName(n)) {
      error = "undeclared prefix in " + n.name;
      return false;
    }
    if (!byGuid.emplace(n.guid, static_cast<int>(i)).second) {
      error = "GUID " + std::to_string(n.guid) + " given twice";
      return false;
    }
    if (!byPath.emplace(n.path, static_cast<int>(i)).second) {
      error = "path " + n.path + " given twice";
      return false;
    }
    if (!n.alias.empty()) byAlias.emplace(n.alias, static_cast<int>(i));
  }
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    SchemaNode& n = nodes[i];
    if (n.parentGuid == 0) {
      n.parent = -1;
      roots.push_back(static_cast<int>(i));
      continue;
    }
    const auto p = byGuid.find(n.parentGuid);
    if (p == byGuid.end()) {
      error = "parent of " + n.path + " unknown";
      return false;
    }
    n.parent = p->second;
    nodes[p->second].children.push_back(static_cast<int>(i));
  }
  return true;
}

}  // namespace metashelf::model

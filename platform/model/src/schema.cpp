// CSchema: a registered schema loaded from its node-information document,
// with constant-time lookups of nodes by GUID, path and search alias.
#include <cstdlib>
#include <pugixml.hpp>

#include "data_types.h"
#include "metashelf/base/guard.h"
#include "schema_impl.h"

using metashelf::model::SchemaNode;

namespace {
std::int32_t LoadNodeInfo(const char* nodeInfo, metashelf::model::SchemaModel& target);
}  // namespace

// Made under the guard: Impl's own members allocate as they are built, which
// a nothrow new would not catch.
CSchema::CSchema() : impl_(metashelf::base::Guard<Impl*>(nullptr, [] { return new Impl; })) {}
CSchema::~CSchema() = default;

std::int32_t CSchema::SetSchemaID(std::int32_t id) {
  if (!impl_) return 0;
  impl_->id = id;
  return 1;
}

std::int32_t CSchema::GetSchemaID(std::int32_t& id) const {
  if (!impl_) return 0;
  id = impl_->id;
  return 1;
}

std::int32_t CSchema::SetSchemaDoc(const char* schemaDoc) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    impl_->schemaDoc = schemaDoc != nullptr ? schemaDoc : "";
    return 1;
  });
}

std::int32_t CSchema::SetN2EMAPList(const char* map) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    impl_->n2emap = map != nullptr ? map : "";
    return 1;
  });
}

const std::string& CSchema::SchemaDoc() const {
  static const std::string kEmpty;
  return impl_ ? impl_->schemaDoc : kEmpty;
}

const std::string& CSchema::N2EMAP() const {
  static const std::string kEmpty;
  return impl_ ? impl_->n2emap : kEmpty;
}

std::int32_t CSchema::SetNodeStructList(const char* nodeInfo) {
  if (!impl_) return 0;
  return metashelf::base::Guard<std::int32_t>(
      0, [&] { return LoadNodeInfo(nodeInfo, impl_->model); },
      [&] { impl_->model = metashelf::model::SchemaModel{}; });
}

namespace {

std::int32_t LoadNodeInfo(const char* nodeInfo, metashelf::model::SchemaModel& target) {
  metashelf::model::SchemaModel model;
  pugi::xml_document doc;
  if (nodeInfo == nullptr || !doc.load_string(nodeInfo, pugi::parse_default)) {
    target = metashelf::model::SchemaModel{};
    return 0;
  }
  const pugi::xml_node root = doc.child("nodeInfo");
  for (pugi::xml_node ns : root.children("namespace")) {
    model.namespaces.emplace_back(ns.attribute("prefix").value(), ns.attribute("uri").value());
  }
  for (pugi::xml_node n : root.children("node")) {
    SchemaNode node;
    node.guid = static_cast<std::int32_t>(n.attribute("guid").as_llong());
    node.parentGuid = static_cast<std::int32_t>(n.attribute("parent").as_llong());
    node.path = n.attribute("path").value();
    node.name = n.attribute("name").value();
    node.dataType = n.attribute("type").value();
    node.alias = n.attribute("alias").value();
    node.isAttribute = std::string_view(n.attribute("kind").value()) == "attribute";
    node.repeatable = n.attribute("repeat").as_bool();
    node.tableType = static_cast<short>(
        n.attribute("tableType").as_int(metashelf::model::TableTypeOf(node.dataType)));
    node.integer = metashelf::model::IsIntegerDataType(node.dataType);
    model.nodes.push_back(std::move(node));
  }
  std::string error;
  if (root.empty() || !model.Index(error)) {
    target = metashelf::model::SchemaModel{};
    return 0;
  }
  target = std::move(model);
  return 1;
}

}  // namespace

std::int32_t CSchema::GetNodeInfoByGUID(const std::int32_t& guid, CNodeInfo* info) const {
  if (!impl_ || info == nullptr) return 0;
  const auto& m = impl_->model;
  const auto it = m.byGuid.find(guid);
  if (it == m.byGuid.end()) return 0;
  const SchemaNode& n = m.nodes[it->second];
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    CNodeInfo filled;
    filled.path_ = n.path;
    filled.name_ = n.name;
    filled.dataType_ = n.dataType;
    filled.alias_ = n.alias;
    *info = std::move(filled);
    info->guid_ = n.guid;
    info->parentGuid_ = n.parentGuid;
    info->tableType_ = n.tableType;
    info->isAttribute_ = n.isAttribute;
    info->repeatable_ = n.repeatable;
    return 1;
  });
}

std::int32_t CSchema::GetTableTypeByGUID(std::int32_t guid, short* tableType) const {
  if (!impl_ || tableType == nullptr) return 0;
  const auto& m = impl_->model;
  const auto it = m.byGuid.find(guid);
  if (it == m.byGuid.end()) return 0;
  *tableType = m.nodes[it->second].tableType;
  return 1;
}

namespace {

// A node found by one of the schema's name indexes (path or alias), filled
// in as by its GUID. The lookup's key copy allocates, hence the guard.
std::int32_t NodeInfoByName(const CSchema& schema, const metashelf::model::SchemaModel& model,
                            const std::unordered_map<std::string, int>& index, const char* name,
                            CNodeInfo* info) {
  if (info == nullptr || name == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    const auto it = index.find(std::string(name));
    if (it == index.end()) return 0;
    return schema.GetNodeInfoByGUID(model.nodes[it->second].guid, info);
  });
}

}  // namespace

std::int32_t CSchema::GetNodeInfoByPath(const char* path, CNodeInfo* info) const {
  return impl_ ? NodeInfoByName(*this, impl_->model, impl_->model.byPath, path, info) : 0;
}

std::int32_t CSchema::GetNodeInfoByAlias(const char* alias, CNodeInfo* info) const {
  return impl_ ? NodeInfoByName(*this, impl_->model, impl_->model.byAlias, alias, info) : 0;
}

std::int32_t CSchema::GetNodeCount() const {
  return impl_ ? static_cast<std::int32_t>(impl_->model.nodes.size()) : 0;
}

std::int32_t CSchema::GetNodeInfoAt(std::int32_t index, CNodeInfo* info) const {
  if (!impl_ || index < 0 || index >= GetNodeCount()) return 0;
  return GetNodeInfoByGUID(impl_->model.nodes[index].guid, info);
}

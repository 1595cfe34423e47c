// CSynchronizer: writes the properties of a CMetadataSync into a new record
// of the schema's standard, or into a copy of a stored record.
#include "metashelf/base/guard.h"
#include "record_editor.h"
#include "record_parts.h"
#include "schema_impl.h"
#include "sync_maps.h"

namespace {

using metashelf::model::RecordEditor;
using metashelf::model::SyncMap;

bool MapFor(char family, const CSchema* schema, SyncMap& map, std::string& error) {
  const metashelf::model::SchemaModel* model =
      schema != nullptr && schema->impl() != nullptr ? &schema->impl()->model : nullptr;
  if (family == 1) {
    map = metashelf::model::FgdcSyncMap();
  } else if (family == 2) {
    map = metashelf::model::IsoSyncMap();
  } else {
    if (schema == nullptr || !metashelf::model::ReadNodeElementMap(schema->N2EMAP(), map)) {
      error = "the schema's node-to-element map cannot be read";
      return false;
    }
    if (model == nullptr || model->roots.empty()) {
      error = "the schema has no root element";
      return false;
    }
    for (const auto& ns : model->namespaces) map.namespaces.push_back(ns);
    const auto& root = model->nodes[model->roots.front()];
    map.rootTemplate = "<" + root.name;
    for (const auto& ns : model->namespaces) {
      map.rootTemplate += ns.first.empty() ? " xmlns=\"" : " xmlns:" + ns.first + "=\"";
      map.rootTemplate += ns.second + "\"";
    }
    map.rootTemplate += "></" + root.name + ">";
  }
  return true;
}

bool Apply(const SyncMap& map, const CMetadataSync& sync, RecordEditor& editor) {
  for (const auto& target : map.targets) {
    if (target.property == "keyword") {
      if (sync.Keywords().empty()) continue;
      for (const auto& companion : target.companions) {
        if (!editor.SetIfAbsent(companion.first, companion.second)) return false;
      }
      for (const auto& keyword : sync.Keywords()) {
        if (!editor.AddValue(target.path, keyword, target.span)) return false;
      }
      continue;
    }
    std::string value;
    if (!sync.GetProperty(target.property, value)) continue;
    for (const auto& companion : target.companions) {
      if (!editor.SetIfAbsent(companion.first, companion.second)) return false;
    }
    if (!editor.SetValue(target.path, value)) return false;
  }
  return true;
}

}  // namespace

CSynchronizer::CSynchronizer(CMetadataSync* sync, CSchema* schema, char family)
    : sync_(sync), schema_(schema), family_(family) {}

CSynchronizer::~CSynchronizer() = default;

std::int32_t CSynchronizer::CreateSynchronizer(CBaseMetaData& record) {
  if (sync_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    SyncMap map;
    std::string error;
    if (!MapFor(family_, schema_, map, error)) return 0;
    const metashelf::model::SchemaModel* model =
        schema_ != nullptr && schema_->impl() != nullptr ? &schema_->impl()->model : nullptr;
    RecordEditor editor("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + map.rootTemplate + "\n",
                        model, map.namespaces);
    if (!Apply(map, *sync_, editor)) return 0;
    return record.LoadXml(editor.Text().data(), editor.Text().size());
  });
}

std::int32_t CSynchronizer::UpdateSynchronizer(CBaseMetaData& stored, CBaseMetaData& updated) {
  if (sync_ == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    SyncMap map;
    std::string error;
    if (!MapFor(family_, schema_, map, error)) return 0;
    std::string xml;
    if (!stored.ToXml(xml)) return 0;
    // The stored record's byte-order mark is not part of its text.
    if (xml.rfind("\xEF\xBB\xBF", 0) == 0) xml.erase(0, 3);
    const metashelf::model::SchemaModel* model =
        schema_ != nullptr && schema_->impl() != nullptr ? &schema_->impl()->model : nullptr;
    RecordEditor editor(std::move(xml), model, map.namespaces);
    if (!Apply(map, *sync_, editor)) return 0;
    if (!updated.LoadXml(editor.Text().data(), editor.Text().size())) return 0;
    updated.SetMetaID(stored.GetMetaID());
    return 1;
  });
}

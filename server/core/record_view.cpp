// Records read for display (record_view.h).
#include "core/record_view.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <string_view>

#include "metashelf/base/numbers.h"

namespace metashelf::server {
namespace {

// Where the values of an alias's node go: the first value into a single
// field, every value into a list, or one bound of the box (0 west, 1 east,
// 2 south, 3 north).
struct Target {
  std::string RecordView::*single = nullptr;
  std::vector<std::string> RecordView::*list = nullptr;
  int bound = -1;
};

// A stored bound, blanks around it allowed.
bool Number(const std::string& text, double* v) {
  const auto b = text.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return false;
  const auto e = text.find_last_not_of(" \t\r\n");
  return base::ParseDouble(std::string_view(text).substr(b, e - b + 1), v);
}

}  // namespace

bool LoadRecord(OpenCollection& collection, std::int64_t id, bool withXml, RecordView* out,
                std::string* error) {
  CBaseMetaData record(&collection.schema());
  if (collection.set().GetMetaData(id, &record) != 1) {
    *error = "cannot read record " + std::to_string(id);
    return false;
  }
  RecordView v;
  v.id = id;
  v.collection = collection.name();
  static const std::pair<const char*, Target> kAliases[] = {
      {"title", {&RecordView::title}},
      {"abstract", {&RecordView::abstract}},
      {"keyword", {nullptr, &RecordView::keywords}},
      {"type", {&RecordView::type}},
      {"modified", {&RecordView::modified}},
      {"modifiedtime", {&RecordView::modified}},
      {"pubdate", {&RecordView::date}},
      {"origin", {nullptr, &RecordView::creators}},
      {"onlink", {nullptr, &RecordView::links}},
      {"westbc", {nullptr, nullptr, 0}},
      {"eastbc", {nullptr, nullptr, 1}},
      {"southbc", {nullptr, nullptr, 2}},
      {"northbc", {nullptr, nullptr, 3}}};
  std::map<std::int32_t, Target> fields;
  for (const auto& [alias, target] : kAliases) {
    NodeRef node;
    if (collection.Alias(alias, &node)) fields.emplace(node.guid, target);
  }
  std::int32_t count = 0;
  record.GetLeafNodeListSize(count);
  std::vector<CLeafNode> nodes(static_cast<std::size_t>(std::max<std::int32_t>(count, 0)));
  CSmartArray<CLeafNode*> list;
  for (CLeafNode& n : nodes) list.Add(&n);
  if (count > 0) record.GetLeafNodeList(list, count);
  double box[4] = {0, 0, 0, 0};
  bool boxSet[4] = {false, false, false, false};
  for (const CLeafNode& n : nodes) {
    std::int32_t guid = 0;
    n.GetNodeGUID(guid);
    auto it = fields.find(guid);
    if (it == fields.end()) continue;
    const std::string& value = n.Value();
    const Target& target = it->second;
    if (target.single != nullptr) {
      std::string& field = v.*target.single;
      if (field.empty()) field = value;
    } else if (target.list != nullptr) {
      (v.*target.list).push_back(value);
    } else {
      const int i = target.bound;
      double d = 0;
      if (!boxSet[i] && Number(value, &d)) {
        box[i] = d;
        boxSet[i] = true;
      }
    }
  }
  if (boxSet[0] && boxSet[1] && boxSet[2] && boxSet[3]) {
    v.hasBox = true;
    v.west = box[0];
    v.east = box[1];
    v.south = box[2];
    v.north = box[3];
  }
  if (withXml && record.ToXml(v.xml) != 1) {
    *error = "cannot rebuild record " + std::to_string(id) + ": " + record.LastError();
    return false;
  }
  *out = std::move(v);
  return true;
}

std::string WithoutDeclaration(const std::string& xml) {
  std::size_t start = 0;
  if (xml.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
  if (xml.compare(start, 5, "<?xml") == 0) {
    const std::size_t end = xml.find("?>", start);
    if (end != std::string::npos) {
      start = end + 2;
      while (start < xml.size() && (xml[start] == '\n' || xml[start] == '\r')) ++start;
    }
  }
  return xml.substr(start);
}

}  // namespace metashelf::server

// CSchemaRegister: validates a schema text, draws node GUIDs from the
// catalog's identifier callback in blocks, and writes the schema document,
// the node-information document and the XPath document.
#include <algorithm>
#include <cstring>
#include <limits>
#include <pugixml.hpp>
#include <sstream>
#include <unordered_set>

#include "data_types.h"
#include "metashelf/base/guard.h"
#include "schema_impl.h"

namespace {

using metashelf::model::SchemaModel;
using metashelf::model::SchemaNode;

// Identifiers are asked for in blocks of this many (the last block is
// smaller); each block costs the catalog a few sequence statements.
constexpr int kGuidBlock = 256;

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool IsNcName(std::string_view s) {
  if (s.empty() || !IsNameStart(static_cast<unsigned char>(s[0]))) return false;
  for (char c : s) {
    if (!IsNameChar(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool IsQName(std::string_view s) {
  const auto colon = s.find(':');
  if (colon == std::string_view::npos) return IsNcName(s);
  return IsNcName(s.substr(0, colon)) && IsNcName(s.substr(colon + 1));
}

struct Parsed {
  SchemaModel model;
  std::vector<std::string> maxOccurs;
  std::string name;
};

class TextReader {
 public:
  explicit TextReader(std::string& error) : error_(error) {}

  bool Read(const char* text, Parsed& out) {
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_string(text, pugi::parse_default);
    if (!r)
      return Fail(std::string("malformed schema text: ") + r.description() + " at offset " +
                  std::to_string(r.offset));
    const pugi::xml_node root = doc.document_element();
    if (std::strcmp(root.name(), "schemaText") != 0)
      return Fail("the root element of a schema text is schemaText");
    out.name = root.attribute("name").value();
    for (pugi::xml_node ns : root.children("namespace")) {
      const std::string prefix = ns.attribute("prefix").value();
      const std::string uri = ns.attribute("uri").value();
      if (uri.empty()) return Fail("namespace without uri");
      if (!prefix.empty() && !IsNcName(prefix)) return Fail("bad namespace prefix " + prefix);
      for (const auto& known : out.model.namespaces) {
        if (known.first == prefix) return Fail("namespace prefix " + prefix + " declared twice");
      }
      out.model.namespaces.emplace_back(prefix, uri);
    }
    // Depth-first walk without recursion: (node of the text, parent index).
    std::vector<std::pair<pugi::xml_node, int>> stack;
    for (pugi::xml_node c = root.last_child(); c; c = c.previous_sibling()) {
      if (c.type() == pugi::node_element) stack.emplace_back(c, -1);
    }
    std::unordered_set<std::string> paths;
    std::unordered_set<std::string> aliases;
    while (!stack.empty()) {
      auto [x, parent] = stack.back();
      stack.pop_back();
      const std::string_view kind = x.name();
      if (kind == "namespace" && parent < 0) continue;
      if (kind == "documentation") continue;
      const bool attribute = kind == "attribute";
      if (!attribute && kind != "element") return Fail("unknown entry <" + std::string(kind) + ">");
      if (attribute && parent < 0) return Fail("attribute outside an element");
      for (pugi::xml_attribute a : x.attributes()) {
        const std::string_view an = a.name();
        if (an != "name" && an != "type" && an != "maxOccurs" && an != "minOccurs" && an != "alias")
          return Fail("unknown setting " + std::string(an) + " on " + x.attribute("name").value());
      }
      SchemaNode node;
      node.name = x.attribute("name").value();
      node.isAttribute = attribute;
      if (!IsQName(node.name)) return Fail("bad node name '" + node.name + "'");
      if (attribute && node.name.rfind("xmlns", 0) == 0 &&
          (node.name.size() == 5 || node.name[5] == ':'))
        return Fail("namespace declarations are not nodes: " + node.name);
      bool hasElementChild = false;
      for (pugi::xml_node c : x.children()) {
        if (c.type() != pugi::node_element) continue;
        if (attribute) return Fail("attribute " + node.name + " has children");
        if (std::strcmp(c.name(), "element") == 0) hasElementChild = true;
      }
      const pugi::xml_attribute type = x.attribute("type");
      if (type) {
        node.dataType = type.value();
        if (!metashelf::model::IsKnownDataType(node.dataType))
          return Fail("unknown data type '" + node.dataType + "' of " + node.name);
      } else if (!hasElementChild) {
        node.dataType = "string";
      }
      const std::string maxOccurs = x.attribute("maxOccurs").as_string("1");
      if (maxOccurs != "unbounded") {
        char* end = nullptr;
        const long v = std::strtol(maxOccurs.c_str(), &end, 10);
        if (end == maxOccurs.c_str() || *end != '\0' || v < 1)
          return Fail("bad maxOccurs '" + maxOccurs + "' of " + node.name);
      }
      if (attribute && maxOccurs != "1") return Fail("attribute " + node.name + " repeats");
      node.repeatable = maxOccurs != "1";
      node.alias = x.attribute("alias").value();
      if (!node.alias.empty() && !aliases.insert(node.alias).second)
        return Fail("alias '" + node.alias + "' given twice");
      const std::string& parentPath = parent < 0 ? std::string() : out.model.nodes[parent].path;
      node.path = parentPath + (attribute ? "/@" : "/") + node.name;
      if (!paths.insert(node.path).second) return Fail("duplicate path " + node.path);
      node.parent = parent;
      node.tableType = metashelf::model::TableTypeOf(node.dataType);
      if (!out.model.ResolveName(node)) return Fail("undeclared prefix in " + node.name);
      out.model.nodes.push_back(std::move(node));
      out.maxOccurs.push_back(maxOccurs);
      const int index = static_cast<int>(out.model.nodes.size() - 1);
      if (parent >= 0) out.model.nodes[parent].children.push_back(index);
      for (pugi::xml_node c = x.last_child(); c; c = c.previous_sibling()) {
        if (c.type() == pugi::node_element) stack.emplace_back(c, index);
      }
    }
    if (out.model.nodes.empty()) return Fail("schema text without nodes");
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }
  std::string& error_;
};

// One <namespace prefix=".." uri=".."/> child of `root` per declared
// namespace, in order.
void AppendNamespaces(pugi::xml_node root,
                      const std::vector<std::pair<std::string, std::string>>& namespaces) {
  for (const auto& ns : namespaces) {
    pugi::xml_node e = root.append_child("namespace");
    e.append_attribute("prefix") = ns.first.c_str();
    e.append_attribute("uri") = ns.second.c_str();
  }
}

std::string Save(const pugi::xml_document& doc) {
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

}  // namespace

CSchemaRegister::CSchemaRegister(void* context) : context_(context) {}
CSchemaRegister::~CSchemaRegister() = default;

const std::string& CSchemaRegister::LastError() const {
  return error_;
}

std::int32_t CSchemaRegister::ParseSchema(const char* text, std::string& schemaDoc,
                                          std::string& nodeInfo, std::string& xpathDoc,
                                          GuidCallback callback) {
  schemaDoc.clear();
  nodeInfo.clear();
  xpathDoc.clear();
  error_.clear();
  return metashelf::base::Guard<std::int32_t>(
      -1,
      [&]() -> std::int32_t {
        if (text == nullptr) {
          error_ = "no schema text";
          return -1;
        }
        if (callback == nullptr) {
          error_ = "no identifier source";
          return -1;
        }
        Parsed parsed;
        TextReader reader(error_);
        if (!reader.Read(text, parsed)) return -1;
        auto& nodes = parsed.model.nodes;
        const std::size_t count = nodes.size();
        if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
          error_ = "too many nodes";
          return -1;
        }

        // GUIDs in blocks; a block that comes back short or with values a node
        // cannot carry means the catalog's sequence failed.
        std::vector<std::int64_t> ids;
        ids.reserve(count);
        std::unordered_set<std::int64_t> seen;
        while (ids.size() < count) {
          const int want = static_cast<int>(std::min<std::size_t>(kGuidBlock, count - ids.size()));
          const std::size_t before = ids.size();
          callback(want, ids, context_);
          if (ids.size() != before + static_cast<std::size_t>(want)) {
            error_ = "the identifier source gave " + std::to_string(ids.size() - before) + " of " +
                     std::to_string(want) + " node identifiers";
            return -1;
          }
          for (std::size_t i = before; i < ids.size(); ++i) {
            if (ids[i] < 1 || ids[i] > std::numeric_limits<std::int32_t>::max() ||
                !seen.insert(ids[i]).second) {
              error_ = "the identifier source gave an unusable node identifier " +
                       std::to_string(ids[i]);
              return -1;
            }
          }
        }
        for (std::size_t i = 0; i < count; ++i) {
          nodes[i].guid = static_cast<std::int32_t>(ids[i]);
        }
        for (auto& n : nodes) n.parentGuid = n.parent < 0 ? 0 : nodes[n.parent].guid;

        // Node information: flat, one entry per node, in document order.
        pugi::xml_document info;
        pugi::xml_node infoRoot = info.append_child("nodeInfo");
        infoRoot.append_attribute("name") = parsed.name.c_str();
        AppendNamespaces(infoRoot, parsed.model.namespaces);
        pugi::xml_document xpath;
        pugi::xml_node xpathRoot = xpath.append_child("xpaths");
        for (const auto& n : nodes) {
          pugi::xml_node e = infoRoot.append_child("node");
          e.append_attribute("guid") = n.guid;
          e.append_attribute("parent") = n.parentGuid;
          e.append_attribute("path") = n.path.c_str();
          e.append_attribute("name") = n.name.c_str();
          e.append_attribute("kind") = n.isAttribute ? "attribute" : "element";
          e.append_attribute("type") = n.dataType.c_str();
          e.append_attribute("typeSize") = static_cast<int>(n.dataType.size());
          e.append_attribute("tableType") = n.tableType;
          e.append_attribute("repeat") = n.repeatable ? 1 : 0;
          if (!n.alias.empty()) e.append_attribute("alias") = n.alias.c_str();
          pugi::xml_node p = xpathRoot.append_child("xpath");
          p.append_attribute("guid") = n.guid;
          p.text() = n.path.c_str();
        }

        // The schema document: the schema text normalised (defaults written
        // out) with each node's GUID and path.
        pugi::xml_document schema;
        pugi::xml_node schemaRoot = schema.append_child("schemaText");
        schemaRoot.append_attribute("name") = parsed.name.c_str();
        AppendNamespaces(schemaRoot, parsed.model.namespaces);
        std::vector<pugi::xml_node> made(count);
        for (std::size_t i = 0; i < count; ++i) {
          const SchemaNode& n = nodes[i];
          pugi::xml_node parent = n.parent < 0 ? schemaRoot : made[n.parent];
          pugi::xml_node e = parent.append_child(n.isAttribute ? "attribute" : "element");
          e.append_attribute("name") = n.name.c_str();
          e.append_attribute("guid") = n.guid;
          e.append_attribute("path") = n.path.c_str();
          if (!n.dataType.empty()) e.append_attribute("type") = n.dataType.c_str();
          e.append_attribute("tableType") = n.tableType;
          if (!n.isAttribute) e.append_attribute("maxOccurs") = parsed.maxOccurs[i].c_str();
          if (!n.alias.empty()) e.append_attribute("alias") = n.alias.c_str();
          made[i] = e;
        }
        schemaDoc = Save(schema);
        nodeInfo = Save(info);
        xpathDoc = Save(xpath);
        return static_cast<std::int32_t>(count);
      },
      [&] {
        schemaDoc.clear();
        nodeInfo.clear();
        xpathDoc.clear();
        error_ = "out of memory";
      });
}

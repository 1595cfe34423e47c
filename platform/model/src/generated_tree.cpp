// Writing a generated node tree as a schema text.
#include "generated_tree.h"

#include <map>
#include <pugixml.hpp>
#include <sstream>

namespace metashelf::model {

int GeneratedTree::Add(int parent, GeneratedNode node) {
  nodes.push_back(std::move(node));
  const int index = static_cast<int>(nodes.size() - 1);
  if (parent < 0) {
    roots.push_back(index);
  } else {
    nodes[parent].children.push_back(index);
  }
  return index;
}

std::int32_t WriteSchemaText(const GeneratedTree& tree, const SchemaGeneratorOptions& options,
                             std::string& text) {
  const std::map<std::string, std::string> aliases(options.aliases.begin(), options.aliases.end());
  const std::map<std::string, std::string> types(options.types.begin(), options.types.end());
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("schemaText");
  root.append_attribute("name") = options.name.c_str();
  for (const auto& ns : tree.namespaces) {
    pugi::xml_node e = root.append_child("namespace");
    e.append_attribute("prefix") = ns.first.c_str();
    e.append_attribute("uri") = ns.second.c_str();
  }
  std::int32_t count = 0;
  // (tree node, parent element of the text, parent path)
  std::vector<std::tuple<int, pugi::xml_node, std::string>> stack;
  for (auto it = tree.roots.rbegin(); it != tree.roots.rend(); ++it)
    stack.emplace_back(*it, root, "");
  while (!stack.empty()) {
    auto [index, parent, parentPath] = stack.back();
    stack.pop_back();
    const GeneratedNode& n = tree.nodes[index];
    const std::string path = parentPath + (n.attribute ? "/@" : "/") + n.name;
    pugi::xml_node e = parent.append_child(n.attribute ? "attribute" : "element");
    e.append_attribute("name") = n.name.c_str();
    std::string type = n.type;
    if (auto t = types.find(path); t != types.end()) {
      type = t->second;
    } else if (auto byName = types.find(n.attribute ? "@" + n.name : n.name);
               byName != types.end()) {
      type = byName->second;
    }
    if (!type.empty()) e.append_attribute("type") = type.c_str();
    if (n.repeat && !n.attribute) e.append_attribute("maxOccurs") = "unbounded";
    if (auto a = aliases.find(path); a != aliases.end())
      e.append_attribute("alias") = a->second.c_str();
    ++count;
    // Attributes first, then elements, each in the order found.
    std::vector<int> order;
    for (int c : n.children)
      if (tree.nodes[c].attribute) order.push_back(c);
    for (int c : n.children)
      if (!tree.nodes[c].attribute) order.push_back(c);
    for (auto it = order.rbegin(); it != order.rend(); ++it) stack.emplace_back(*it, e, path);
  }
  std::ostringstream out;
  doc.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  text = out.str();
  return count;
}

}  // namespace metashelf::model

// The node tree both schema generators build, and how it is written out as
// a schema text (aliases and forced types applied by path).
#ifndef METASHELF_MODEL_GENERATED_TREE_H_
#define METASHELF_MODEL_GENERATED_TREE_H_

#include <string>
#include <utility>
#include <vector>

#include "metashelf/schema_generators.h"

namespace metashelf::model {

struct GeneratedNode {
  std::string name;  // qualified with the schema text's prefix
  bool attribute = false;
  bool repeat = false;
  std::string type;  // empty: compound (or string when it has no children)
  std::vector<int> children;
};

struct GeneratedTree {
  std::vector<GeneratedNode> nodes;
  std::vector<int> roots;
  std::vector<std::pair<std::string, std::string>> namespaces;  // prefix, URI

  int Add(int parent, GeneratedNode node);
};

// Writes the tree as a schema text; returns its node count.
std::int32_t WriteSchemaText(const GeneratedTree& tree, const SchemaGeneratorOptions& options,
                             std::string& text);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_GENERATED_TREE_H_

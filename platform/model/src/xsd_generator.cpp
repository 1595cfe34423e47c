// SchemaTextFromXsd: the element tree of a single-file XML Schema, expanded
// from its root element through types, references, groups and attributes.
#include <map>
#include <pugixml.hpp>
#include <set>

#include "data_types.h"
#include "generated_tree.h"
#include "metashelf/base/guard.h"

namespace {

using metashelf::model::GeneratedNode;
using metashelf::model::GeneratedTree;

constexpr const char* kXsdNamespace = "http://www.w3.org/2001/XMLSchema";
// Deeper nesting than this in an XSD is taken as runaway recursion.
constexpr int kMaxDepth = 64;

std::string LocalOf(const std::string& qname) {
  const auto colon = qname.find(':');
  return colon == std::string::npos ? qname : qname.substr(colon + 1);
}

std::string PrefixOf(const std::string& qname) {
  const auto colon = qname.find(':');
  return colon == std::string::npos ? "" : qname.substr(0, colon);
}

class XsdReader {
 public:
  explicit XsdReader(std::string& error) : error_(error) {}

  bool Read(const std::string& xsd, const SchemaGeneratorOptions& options, GeneratedTree& tree) {
    if (!doc_.load_buffer(xsd.data(), xsd.size())) return Fail("the XSD is not well-formed XML");
    schema_ = doc_.document_element();
    for (pugi::xml_attribute a : schema_.attributes()) {
      const std::string name = a.name();
      if (std::string(a.value()) == kXsdNamespace && name.rfind("xmlns", 0) == 0)
        xs_ = name.size() > 6 ? name.substr(6) : "";
    }
    if (LocalOf(schema_.name()) != "schema") return Fail("the root of an XSD is schema");
    const std::string target = schema_.attribute("targetNamespace").value();
    qualifiedLocals_ = std::string(schema_.attribute("elementFormDefault").value()) == "qualified";
    if (!target.empty()) {
      targetPrefix_ = "tns";
      for (const auto& ns : options.namespaces)
        if (ns.second == target) targetPrefix_ = ns.first;
      tree.namespaces.emplace_back(targetPrefix_, target);
    }
    std::set<std::string> referenced;
    std::vector<std::string> globalOrder;
    for (pugi::xml_node c : schema_.children()) {
      const std::string name = c.attribute("name").value();
      if (Is(c, "element")) {
        elements_[name] = c;
        globalOrder.push_back(name);
      } else if (Is(c, "complexType")) {
        complexTypes_[name] = c;
      } else if (Is(c, "simpleType")) {
        simpleTypes_[name] = c;
      } else if (Is(c, "group")) {
        groups_[name] = c;
      } else if (Is(c, "attributeGroup")) {
        attributeGroups_[name] = c;
      } else if (Is(c, "attribute")) {
        attributes_[name] = c;
      }
    }
    for (pugi::xpath_node ref : schema_.select_nodes("//*[@ref]"))
      referenced.insert(LocalOf(ref.node().attribute("ref").value()));
    std::string root = options.rootElement;
    if (root.empty()) {
      for (const auto& name : globalOrder) {
        if (!referenced.count(name)) {
          root = name;
          break;
        }
      }
    }
    const auto found = elements_.find(root);
    if (found == elements_.end()) return Fail("no root element '" + root + "' in the XSD");
    tree_ = &tree;
    Element(found->second, -1, false, 0, true);
    return error_.empty();
  }

 private:
  bool Fail(const std::string& message) {
    error_ = message;
    return false;
  }

  bool Is(pugi::xml_node n, const char* local) const {
    const std::string name = n.name();
    return xs_.empty() ? name == local : name == xs_ + ":" + local;
  }

  bool IsXsdType(const std::string& qname) const { return PrefixOf(qname) == xs_; }

  static std::string Builtin(const std::string& local) {
    if (local == "anyType" || local == "anySimpleType") return "string";
    return metashelf::model::IsKnownDataType(local) ? local : "string";
  }

  std::string SimpleTypeOf(const std::string& qname, int depth) {
    if (depth > kMaxDepth) return "string";
    if (IsXsdType(qname)) return Builtin(LocalOf(qname));
    const auto st = simpleTypes_.find(LocalOf(qname));
    if (st != simpleTypes_.end()) return SimpleTypeNode(st->second, depth + 1);
    const auto ct = complexTypes_.find(LocalOf(qname));
    if (ct != complexTypes_.end()) {
      for (pugi::xml_node c : ct->second.children()) {
        if (!Is(c, "simpleContent")) continue;
        for (pugi::xml_node d : c.children())
          if (d.attribute("base")) return SimpleTypeOf(d.attribute("base").value(), depth + 1);
      }
    }
    return "string";
  }

  std::string SimpleTypeNode(pugi::xml_node st, int depth) {
    for (pugi::xml_node c : st.children()) {
      if (Is(c, "restriction")) {
        if (c.attribute("base")) return SimpleTypeOf(c.attribute("base").value(), depth + 1);
        for (pugi::xml_node inner : c.children())
          if (Is(inner, "simpleType")) return SimpleTypeNode(inner, depth + 1);
      }
    }
    return "string";  // unions and lists
  }

  static bool Repeats(pugi::xml_node particle) {
    const std::string max = particle.attribute("maxOccurs").as_string("1");
    return max != "1" && max != "0";
  }

  int ChildNamed(int parent, const std::string& name, bool attribute) const {
    const auto& list = parent < 0 ? tree_->roots : tree_->nodes[parent].children;
    for (int c : list)
      if (tree_->nodes[c].name == name && tree_->nodes[c].attribute == attribute) return c;
    return -1;
  }

  void Element(pugi::xml_node particle, int parent, bool repeated, int depth, bool global) {
    pugi::xml_node decl = particle;
    if (particle.attribute("ref")) {
      const auto found = elements_.find(LocalOf(particle.attribute("ref").value()));
      if (found == elements_.end()) {
        error_ =
            std::string("reference to an unknown element ") + particle.attribute("ref").value();
        return;
      }
      decl = found->second;
      global = true;
    }
    const std::string local = decl.attribute("name").value();
    if (local.empty()) return;
    const bool qualify = !targetPrefix_.empty() && (global || qualifiedLocals_);
    const std::string name = qualify ? targetPrefix_ + ":" + local : local;
    const bool repeat = repeated || Repeats(particle);
    if (const int existing = ChildNamed(parent, name, false); existing >= 0) {
      tree_->nodes[existing].repeat = tree_->nodes[existing].repeat || repeat;
      return;
    }
    GeneratedNode node;
    node.name = name;
    node.repeat = repeat;
    const int index = tree_->Add(parent, node);
    const std::string key = (global ? "g:" : "l:") + local;
    if (depth > kMaxDepth || open_.count(key)) return;  // recursion: the content stays unknown
    open_.insert(key);
    if (decl.attribute("type")) {
      const std::string type = decl.attribute("type").value();
      const auto ct = complexTypes_.find(LocalOf(type));
      if (!IsXsdType(type) && ct != complexTypes_.end()) {
        ComplexType(ct->second, index, depth + 1);
      } else {
        tree_->nodes[index].type = SimpleTypeOf(type, depth + 1);
      }
    } else {
      for (pugi::xml_node c : decl.children()) {
        if (Is(c, "complexType")) ComplexType(c, index, depth + 1);
        if (Is(c, "simpleType")) tree_->nodes[index].type = SimpleTypeNode(c, depth + 1);
      }
    }
    open_.erase(key);
  }

  void Attribute(pugi::xml_node a, int owner, int depth) {
    pugi::xml_node decl = a;
    if (a.attribute("ref")) {
      const std::string ref = a.attribute("ref").value();
      const auto found = attributes_.find(LocalOf(ref));
      if (found == attributes_.end()) {
        // xml:lang and the like: keep the qualified name as written.
        GeneratedNode node;
        node.name = ref;
        node.attribute = true;
        node.type = "string";
        if (ChildNamed(owner, ref, true) < 0) tree_->Add(owner, node);
        return;
      }
      decl = found->second;
    }
    if (std::string(a.attribute("use").value()) == "prohibited") return;
    GeneratedNode node;
    node.name = decl.attribute("name").value();
    node.attribute = true;
    if (node.name.empty() || ChildNamed(owner, node.name, true) >= 0) return;
    node.type = "string";
    if (decl.attribute("type")) node.type = SimpleTypeOf(decl.attribute("type").value(), depth + 1);
    for (pugi::xml_node c : decl.children())
      if (Is(c, "simpleType")) node.type = SimpleTypeNode(c, depth + 1);
    tree_->Add(owner, node);
  }

  void Attributes(pugi::xml_node container, int owner, int depth) {
    for (pugi::xml_node c : container.children()) {
      if (Is(c, "attribute")) Attribute(c, owner, depth);
      if (Is(c, "attributeGroup") && depth < kMaxDepth) {
        const auto g = attributeGroups_.find(LocalOf(c.attribute("ref").value()));
        if (g != attributeGroups_.end()) Attributes(g->second, owner, depth + 1);
      }
    }
  }

  void Particles(pugi::xml_node container, int owner, bool repeated, int depth) {
    if (depth > kMaxDepth) return;
    for (pugi::xml_node c : container.children()) {
      if (Is(c, "element")) {
        Element(c, owner, repeated, depth + 1, false);
      } else if (Is(c, "sequence") || Is(c, "choice") || Is(c, "all")) {
        Particles(c, owner, repeated || Repeats(c), depth + 1);
      } else if (Is(c, "group")) {
        const auto g = groups_.find(LocalOf(c.attribute("ref").value()));
        if (g != groups_.end()) Particles(g->second, owner, repeated || Repeats(c), depth + 1);
      }
    }
  }

  void ComplexType(pugi::xml_node ct, int owner, int depth) {
    if (depth > kMaxDepth) return;
    if (ct.attribute("mixed").as_bool()) tree_->nodes[owner].type = "string";
    for (pugi::xml_node c : ct.children()) {
      if (Is(c, "sequence") || Is(c, "choice") || Is(c, "all")) {
        Particles(c, owner, Repeats(c), depth + 1);
      } else if (Is(c, "group")) {
        const auto g = groups_.find(LocalOf(c.attribute("ref").value()));
        if (g != groups_.end()) Particles(g->second, owner, Repeats(c), depth + 1);
      } else if (Is(c, "simpleContent") || Is(c, "complexContent")) {
        for (pugi::xml_node d : c.children()) {
          const std::string base = d.attribute("base").value();
          if (Is(c, "simpleContent")) {
            tree_->nodes[owner].type = SimpleTypeOf(base, depth + 1);
          } else if (Is(d, "extension")) {
            const auto b = complexTypes_.find(LocalOf(base));
            if (b != complexTypes_.end()) ComplexType(b->second, owner, depth + 1);
          }
          ComplexType(d, owner, depth + 1);
        }
      }
    }
    Attributes(ct, owner, depth + 1);
  }

  std::string& error_;
  pugi::xml_document doc_;
  pugi::xml_node schema_;
  std::string xs_ = "xs";
  std::string targetPrefix_;
  bool qualifiedLocals_ = false;
  std::map<std::string, pugi::xml_node> elements_, complexTypes_, simpleTypes_, groups_,
      attributeGroups_, attributes_;
  std::set<std::string> open_;
  GeneratedTree* tree_ = nullptr;
};

}  // namespace

std::int32_t SchemaTextFromXsd(const std::string& xsd, const SchemaGeneratorOptions& options,
                               std::string& schemaText, std::string& error) {
  schemaText.clear();
  error.clear();
  return metashelf::base::Guard<std::int32_t>(
      -1,
      [&]() -> std::int32_t {
        GeneratedTree tree;
        XsdReader reader(error);
        if (!reader.Read(xsd, options, tree)) return -1;
        return metashelf::model::WriteSchemaText(tree, options, schemaText);
      },
      [&] { error = "out of memory"; });
}

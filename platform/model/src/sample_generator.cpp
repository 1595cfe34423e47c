// SchemaTextFromSamples: a schema text inferred from sample records, the
// union of their element and attribute paths matched by namespace URI; and
// SchemaTextExtending, a loaded schema grown by the same inference.
#include <algorithm>
#include <cctype>
#include <map>
#include <utility>
#include <pugixml.hpp>

#include "generated_tree.h"
#include "metashelf/base/guard.h"
#include "schema_impl.h"
#include "text_codec.h"
#include "value_forms.h"
#include "xml_text.h"

namespace {

using metashelf::model::GeneratedNode;
using metashelf::model::GeneratedTree;

struct Seen {
  std::string uri;
  std::string local;
  bool attribute = false;
  bool repeat = false;
  bool hasChildren = false;
  bool hasText = false;
  bool anyValue = false;
  bool allInteger = true;
  bool allNumber = true;
  bool allDate = true;
  std::vector<int> children;
};

class Inference {
 public:
  explicit Inference(const SchemaGeneratorOptions& options) {
    for (const auto& ns : options.namespaces) prefixes_[ns.second] = ns.first;
  }

  // Every sample in turn; false at the first that cannot be read, with
  // its number (from 1) before the reason.
  bool AddAll(const std::vector<std::string>& records, std::string& error) {
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (!Add(records[i], error)) {
        error = "sample " + std::to_string(i + 1) + ": " + error;
        return false;
      }
    }
    return true;
  }

  bool Add(const std::string& bytes, std::string& error) {
    metashelf::model::DecodedText text;
    if (!metashelf::model::DecodeRecordBytes(bytes.data(), bytes.size(), text, error)) return false;
    pugi::xml_document doc;
    const auto r = doc.load_buffer(text.text.data(), text.text.size(), pugi::parse_default,
                                   pugi::encoding_utf8);
    if (!r) {
      error = r.description();
      return false;
    }
    bindings_.assign({{"xml", "http://www.w3.org/XML/1998/namespace"}});
    Visit(doc.document_element());
    return true;
  }

  void Write(GeneratedTree& tree) {
    // Namespaces in first-seen order with their prefixes.
    for (const auto& uri : uriOrder_) tree.namespaces.emplace_back(prefixes_[uri], uri);
    std::vector<std::pair<int, int>> stack;  // (seen, parent in tree)
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) stack.emplace_back(*it, -1);
    while (!stack.empty()) {
      auto [index, parent] = stack.back();
      stack.pop_back();
      const int at = tree.Add(parent, MakeNode(seen_[index]));
      for (auto it = seen_[index].children.rbegin(); it != seen_[index].children.rend(); ++it)
        stack.emplace_back(*it, at);
    }
  }

  // Grows `tree` (a schema's nodes; `keys` holds each node's namespace URI
  // and local name) by what the samples hold. A new value node named as
  // value nodes of the schema are takes their type (text when they differ):
  // a deeper form of a known element keeps the element's type. Seen roots
  // that are not roots of the tree are left out and named in `skipped`.
  void Merge(GeneratedTree& tree, std::vector<std::pair<std::string, std::string>>& keys,
             std::vector<std::string>& skipped) {
    std::map<std::string, std::string> known;  // name key -> type
    for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
      if (tree.nodes[i].type.empty()) continue;
      const std::string key = NameKey(keys[i], tree.nodes[i].attribute);
      auto [it, added] = known.emplace(key, tree.nodes[i].type);
      if (!added && it->second != tree.nodes[i].type) it->second = "string";
    }
    for (const auto& uri : uriOrder_) {
      bool known = false;
      for (const auto& ns : tree.namespaces) known = known || ns.second == uri;
      if (!known) tree.namespaces.emplace_back(prefixes_[uri], uri);
    }
    std::vector<std::pair<int, int>> stack;  // (seen, node in tree)
    for (int r : roots_) {
      const int match = Find(tree, keys, tree.roots, seen_[r]);
      if (match < 0) {
        const Seen& root = seen_[r];
        skipped.push_back(root.uri.empty() ? root.local : root.local + " {" + root.uri + "}");
      } else {
        stack.emplace_back(r, match);
      }
    }
    while (!stack.empty()) {
      auto [index, at] = stack.back();
      stack.pop_back();
      const Seen& s = seen_[index];
      GeneratedNode& node = tree.nodes[at];
      node.repeat = node.repeat || s.repeat;
      if (node.type.empty() && node.children.empty() && !s.hasChildren && s.anyValue)
        node.type = MakeNode(s).type;
      for (int c : s.children) {
        int child = Find(tree, keys, tree.nodes[at].children, seen_[c]);
        if (child < 0) {
          GeneratedNode made = MakeNode(seen_[c]);
          keys.emplace_back(seen_[c].uri, seen_[c].local);
          if (!made.type.empty()) {
            auto same = known.find(NameKey(keys.back(), made.attribute));
            if (same != known.end()) made.type = same->second;
          }
          child = tree.Add(at, made);
        }
        stack.emplace_back(c, child);
      }
    }
  }

 private:
  GeneratedNode MakeNode(const Seen& s) {
    GeneratedNode node;
    node.attribute = s.attribute;
    node.repeat = s.repeat;
    node.name = s.uri.empty() ? s.local : prefixes_[s.uri] + ":" + s.local;
    if (!s.hasChildren || s.hasText) {
      if (!s.anyValue || (!s.allNumber && !s.allDate)) {
        node.type = "string";
      } else if (s.allInteger) {
        node.type = "integer";
      } else if (s.allNumber) {
        node.type = "double";
      } else {
        node.type = "date";
      }
    }
    return node;
  }

  static std::string NameKey(const std::pair<std::string, std::string>& key, bool attribute) {
    return (attribute ? "@{" : "{") + key.first + "}" + key.second;
  }

  static int Find(const GeneratedTree& tree,
                  const std::vector<std::pair<std::string, std::string>>& keys,
                  const std::vector<int>& among, const Seen& s) {
    for (int c : among) {
      if (tree.nodes[c].attribute == s.attribute && keys[c].first == s.uri &&
          keys[c].second == s.local)
        return c;
    }
    return -1;
  }

  std::string Resolve(const std::string& prefix, bool attribute) {
    if (attribute && prefix.empty()) return "";
    for (auto it = bindings_.rbegin(); it != bindings_.rend(); ++it)
      if (it->first == prefix) return it->second;
    return "";
  }

  void NoteUri(const std::string& uri, const std::string& prefix) {
    if (uri.empty()) return;
    if (std::find(uriOrder_.begin(), uriOrder_.end(), uri) == uriOrder_.end())
      uriOrder_.push_back(uri);
    auto& p = prefixes_[uri];
    if (p.empty() && !prefix.empty()) {
      bool taken = false;
      for (const auto& [u, q] : prefixes_) taken = taken || (q == prefix && u != uri);
      if (!taken) p = prefix;
    }
    if (p.empty()) p = "ns" + std::to_string(++generated_);
  }

  int Child(int parent, const std::string& uri, const std::string& local, bool attribute,
            int after) {
    std::vector<int>& list = parent < 0 ? roots_ : seen_[parent].children;
    for (int c : list)
      if (seen_[c].uri == uri && seen_[c].local == local && seen_[c].attribute == attribute)
        return c;
    Seen s;
    s.uri = uri;
    s.local = local;
    s.attribute = attribute;
    seen_.push_back(s);
    const int index = static_cast<int>(seen_.size() - 1);
    std::vector<int>& again = parent < 0 ? roots_ : seen_[parent].children;
    auto pos = std::find(again.begin(), again.end(), after);
    again.insert(pos == again.end() ? again.end() : pos + 1, index);
    return index;
  }

  void Note(Seen& s, const std::string& raw) {
    std::size_t a = 0, b = raw.size();
    while (a < b && metashelf::model::IsXmlSpace(raw[a])) ++a;
    while (b > a && metashelf::model::IsXmlSpace(raw[b - 1])) --b;
    if (a == b) return;
    const std::string v = raw.substr(a, b - a);
    s.anyValue = true;
    double d = 0;
    const bool number = metashelf::model::ParseNumber(v, d);
    s.allNumber = s.allNumber && number;
    s.allInteger = s.allInteger && number && metashelf::model::IsExactInteger(d) &&
                   v.find_first_of(".eE") == std::string::npos;
    s.allDate = s.allDate && metashelf::model::IsFullDate(v);
  }

  // Iterative walk of the root element and everything below it.
  void Visit(pugi::xml_node top) {
    struct Item {
      pugi::xml_node element;
      int parent;
      std::size_t mark;
      bool closing;
    };
    std::vector<Item> work{{top, -1, 0, false}};
    // Per open element: how often each child was seen, and the last child.
    std::vector<std::map<int, int>> counts;
    std::vector<int> last;
    counts.emplace_back();
    last.push_back(-1);
    while (!work.empty()) {
      Item item = work.back();
      work.pop_back();
      if (item.closing) {
        bindings_.resize(item.mark);
        counts.pop_back();
        last.pop_back();
        continue;
      }
      const std::size_t mark = bindings_.size();
      for (pugi::xml_attribute a : item.element.attributes()) {
        const std::string name = a.name();
        if (name == "xmlns") bindings_.emplace_back("", a.value());
        if (name.rfind("xmlns:", 0) == 0) bindings_.emplace_back(name.substr(6), a.value());
      }
      const std::string qname = item.element.name();
      const auto colon = qname.find(':');
      const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
      const std::string local = colon == std::string::npos ? qname : qname.substr(colon + 1);
      const std::string uri = Resolve(prefix, false);
      NoteUri(uri, prefix);
      const int me = Child(item.parent, uri, local, false, last.back());
      last.back() = me;
      if (++counts.back()[me] > 1) seen_[me].repeat = true;
      int lastAttr = -1;
      for (pugi::xml_attribute a : item.element.attributes()) {
        const std::string name = a.name();
        if (name == "xmlns" || name.rfind("xmlns:", 0) == 0) continue;
        const auto c = name.find(':');
        const std::string ap = c == std::string::npos ? "" : name.substr(0, c);
        const std::string au = Resolve(ap, true);
        NoteUri(au, ap);
        const int at =
            Child(me, au, c == std::string::npos ? name : name.substr(c + 1), true, lastAttr);
        lastAttr = at;
        Note(seen_[at], a.value());
      }
      std::string text;
      bool children = false;
      for (pugi::xml_node c : item.element.children()) {
        if (c.type() == pugi::node_element) children = true;
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) text += c.value();
      }
      if (children) seen_[me].hasChildren = true;
      bool blank = true;
      for (char ch : text) blank = blank && metashelf::model::IsXmlSpace(ch);
      if (!children) {
        Note(seen_[me], text);
      } else if (!blank) {
        seen_[me].hasText = true;
        seen_[me].allNumber = seen_[me].allDate = false;
        seen_[me].anyValue = true;
      }
      work.push_back({item.element, me, mark, true});
      counts.emplace_back();
      last.push_back(-1);
      std::vector<pugi::xml_node> kids;
      for (pugi::xml_node c : item.element.children())
        if (c.type() == pugi::node_element) kids.push_back(c);
      for (auto it = kids.rbegin(); it != kids.rend(); ++it) work.push_back({*it, me, 0, false});
    }
  }

  std::vector<Seen> seen_;
  std::vector<int> roots_;
  std::vector<std::pair<std::string, std::string>> bindings_;
  std::map<std::string, std::string> prefixes_;
  std::vector<std::string> uriOrder_;
  int generated_ = 0;
};

// Common element names of the nodes that hold a record's title, abstract,
// keywords and bounds, lower case, the most likely first.
struct AliasGuess {
  const char* alias;
  std::vector<const char*> names;
};
const std::vector<AliasGuess>& AliasGuesses() {
  static const std::vector<AliasGuess> kGuesses = {
      {"title", {"title", "restitle"}},
      {"abstract", {"abstract", "idabs", "description"}},
      {"keyword", {"themekey", "keyword", "keywords", "subject"}},
      {"westbc", {"westbc", "westboundlongitude", "westbl", "westbound", "west", "minx"}},
      {"eastbc", {"eastbc", "eastboundlongitude", "eastbl", "eastbound", "east", "maxx"}},
      {"southbc", {"southbc", "southboundlatitude", "southbl", "southbound", "south", "miny"}},
      {"northbc", {"northbc", "northboundlatitude", "northbl", "northbound", "north", "maxy"}},
  };
  return kGuesses;
}

std::string LowerLocal(const std::string& name) {
  const auto colon = name.find(':');
  std::string local = colon == std::string::npos ? name : name.substr(colon + 1);
  for (char& c : local) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return local;
}

// Adds to `options.aliases` the guessed aliases that no given alias names
// yet: for each, the value node whose name (or, for a wrapper such as
// gco:CharacterString, its parent's name) is the earliest common name,
// the shallowest first, then in document order.
void GuessAliases(const GeneratedTree& tree, SchemaGeneratorOptions& options,
                  SchemaGeneratorReport& report) {
  struct Candidate {
    std::string path;
    std::string name;  // lower-case local name that counts
    std::size_t depth;
    bool number;
  };
  static const char* const kWrappers[] = {"characterstring", "decimal", "real",
                                          "integer",         "anchor",  "localisedcharacterstring"};
  std::vector<Candidate> candidates;
  // (node, parent path, parent local name, depth)
  std::vector<std::tuple<int, std::string, std::string, std::size_t>> stack;
  for (auto it = tree.roots.rbegin(); it != tree.roots.rend(); ++it)
    stack.emplace_back(*it, "", "", 1);
  while (!stack.empty()) {
    auto [index, parentPath, parentName, depth] = stack.back();
    stack.pop_back();
    const GeneratedNode& n = tree.nodes[index];
    const std::string path = parentPath + (n.attribute ? "/@" : "/") + n.name;
    const std::string local = LowerLocal(n.name);
    if (!n.type.empty() && !n.attribute) {
      bool wrapper = false;
      for (const char* w : kWrappers) wrapper = wrapper || local == w;
      const bool number = n.type != "string" && n.type != "date";
      candidates.push_back({path, wrapper ? parentName : local, depth, number});
    }
    for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
      stack.emplace_back(*it, path, local, depth + 1);
  }
  for (const AliasGuess& guess : AliasGuesses()) {
    bool given = false;
    for (const auto& a : options.aliases) given = given || a.second == guess.alias;
    if (given) continue;
    const Candidate* best = nullptr;
    std::size_t bestRank = 0;
    for (const Candidate& c : candidates) {
      std::size_t rank = 0;
      while (rank < guess.names.size() && c.name != guess.names[rank]) ++rank;
      if (rank == guess.names.size()) continue;
      bool taken = false;
      for (const auto& a : options.aliases) taken = taken || a.first == c.path;
      if (taken) continue;
      if (best == nullptr || rank < bestRank || (rank == bestRank && c.depth < best->depth)) {
        best = &c;
        bestRank = rank;
      }
    }
    if (best == nullptr) continue;
    options.aliases.emplace_back(best->path, guess.alias);
    report.guessedAliases.emplace_back(best->path, guess.alias);
  }
}

std::int32_t Finish(GeneratedTree& tree, const SchemaGeneratorOptions& given,
                    std::string& schemaText, SchemaGeneratorReport& report) {
  SchemaGeneratorOptions options = given;
  if (options.guessAliases) GuessAliases(tree, options, report);
  return metashelf::model::WriteSchemaText(tree, options, schemaText);
}

// One generation: the outputs start empty, and memory running out is
// reported as such rather than crossing the exported function.
template <typename F>
std::int32_t Generate(std::string& schemaText, std::string& error, SchemaGeneratorReport& report,
                      F&& body) {
  schemaText.clear();
  error.clear();
  report = SchemaGeneratorReport{};
  return metashelf::base::Guard<std::int32_t>(-1, std::forward<F>(body),
                                              [&] { error = "out of memory"; });
}

}  // namespace

std::int32_t SchemaTextFromSamples(const std::vector<std::string>& records,
                                   const SchemaGeneratorOptions& options, std::string& schemaText,
                                   std::string& error) {
  SchemaGeneratorReport report;
  return SchemaTextFromSamples(records, options, schemaText, error, report);
}

std::int32_t SchemaTextFromSamples(const std::vector<std::string>& records,
                                   const SchemaGeneratorOptions& options, std::string& schemaText,
                                   std::string& error, SchemaGeneratorReport& report) {
  return Generate(schemaText, error, report, [&]() -> std::int32_t {
    if (records.empty()) {
      error = "no sample records";
      return -1;
    }
    Inference inference(options);
    if (!inference.AddAll(records, error)) return -1;
    GeneratedTree tree;
    inference.Write(tree);
    return Finish(tree, options, schemaText, report);
  });
}

std::int32_t SchemaTextExtending(const CSchema& base, const std::vector<std::string>& records,
                                 const SchemaGeneratorOptions& options, std::string& schemaText,
                                 std::string& error, SchemaGeneratorReport& report) {
  return Generate(schemaText, error, report, [&]() -> std::int32_t {
    if (base.impl() == nullptr || base.impl()->model.nodes.empty()) {
      error = "the schema has no nodes";
      return -1;
    }
    if (records.empty()) {
      error = "no sample records";
      return -1;
    }
    const metashelf::model::SchemaModel& model = base.impl()->model;
    // The schema's own prefixes win over those of the samples.
    SchemaGeneratorOptions effective = options;
    effective.namespaces.insert(effective.namespaces.begin(), model.namespaces.begin(),
                                model.namespaces.end());
    GeneratedTree tree;
    tree.namespaces = model.namespaces;
    std::vector<std::pair<std::string, std::string>> keys;
    // Model nodes are in document order, parents before children.
    std::vector<int> made(model.nodes.size(), -1);
    for (std::size_t i = 0; i < model.nodes.size(); ++i) {
      const metashelf::model::SchemaNode& n = model.nodes[i];
      GeneratedNode node;
      node.name = n.name;
      node.attribute = n.isAttribute;
      node.repeat = n.repeatable;
      node.type = n.dataType;
      if (n.parent >= static_cast<int>(i)) {
        error = "the schema's nodes are not in document order";
        return -1;
      }
      const int parent = n.parent >= 0 ? made[n.parent] : -1;
      made[i] = tree.Add(parent, node);
      keys.emplace_back(model.uris[n.uri], n.local);
      if (!n.alias.empty()) {
        bool given = false;
        for (const auto& a : options.aliases) given = given || a.first == n.path;
        if (!given) effective.aliases.emplace_back(n.path, n.alias);
      }
    }
    Inference inference(effective);
    if (!inference.AddAll(records, error)) return -1;
    inference.Merge(tree, keys, report.skippedRoots);
    return Finish(tree, effective, schemaText, report);
  });
}

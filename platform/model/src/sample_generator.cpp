// SchemaTextFromSamples: a schema text inferred from sample records, the
// union of their element and attribute paths matched by namespace URI.
#include <algorithm>
#include <map>
#include <pugixml.hpp>

#include "generated_tree.h"
#include "text_codec.h"
#include "xml_values.h"

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
    std::vector<int> made(seen_.size(), -1);
    std::vector<std::pair<int, int>> stack;  // (seen, parent in tree)
    for (auto it = roots_.rbegin(); it != roots_.rend(); ++it) stack.emplace_back(*it, -1);
    while (!stack.empty()) {
      auto [index, parent] = stack.back();
      stack.pop_back();
      const Seen& s = seen_[index];
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
      const int at = tree.Add(parent, node);
      for (auto it = s.children.rbegin(); it != s.children.rend(); ++it)
        stack.emplace_back(*it, at);
    }
  }

 private:
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

}  // namespace

std::int32_t SchemaTextFromSamples(const std::vector<std::string>& records,
                                   const SchemaGeneratorOptions& options, std::string& schemaText,
                                   std::string& error) {
  schemaText.clear();
  error.clear();
  try {
    if (records.empty()) {
      error = "no sample records";
      return -1;
    }
    Inference inference(options);
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (!inference.Add(records[i], error)) {
        error = "sample " + std::to_string(i + 1) + ": " + error;
        return -1;
      }
    }
    GeneratedTree tree;
    inference.Write(tree);
    return metashelf::model::WriteSchemaText(tree, options, schemaText);
  } catch (...) {
    error = "out of memory";
    return -1;
  }
}

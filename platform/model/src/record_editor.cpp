// RecordEditor: an index of a record's elements (offsets, names resolved to
// namespace URIs), read with the same XML lexer as record decomposition, and
// text splices for replaced and added values.
#include "record_editor.h"

#include <cstring>

#include "xml_lexer.h"
#include "xml_text.h"

namespace metashelf::model {
namespace {

// A name without a colon, by the lexer's name rules.
bool IsPlainName(const std::string& name) {
  if (name.empty() || !IsXmlNameStart(static_cast<unsigned char>(name[0]))) return false;
  for (char c : name) {
    if (c == ':' || !IsXmlNameChar(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Escape(const std::string& value) {
  std::string out;
  AppendEscaped(value, ValueContext::kText, false, out);
  return out;
}

}  // namespace

RecordEditor::RecordEditor(std::string xml, const SchemaModel* model, Namespaces namespaces)
    : xml_(std::move(xml)), model_(model), namespaces_(std::move(namespaces)) {}

bool RecordEditor::ParsePath(const std::string& path, std::vector<Step>& steps) {
  steps.clear();
  std::size_t at = 0;
  while (at < path.size()) {
    if (path[at] != '/') break;
    const auto next = path.find('/', at + 1);
    std::string part =
        path.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    Step step;
    if (!part.empty() && part[0] == '@') {
      step.attribute = true;
      part.erase(0, 1);
    }
    const auto colon = part.find(':');
    if (colon != std::string::npos) {
      step.prefix = part.substr(0, colon);
      step.local = part.substr(colon + 1);
      bool found = step.prefix == "xml";
      if (found) step.uri = kXmlNamespace;
      for (const auto& ns : namespaces_) {
        if (ns.first == step.prefix) {
          step.uri = ns.second;
          found = true;
          break;
        }
      }
      if (!found) {
        error_ = "undeclared prefix in " + path;
        return false;
      }
    } else {
      step.local = part;
      if (!step.attribute) {
        for (const auto& ns : namespaces_) {
          if (ns.first.empty()) step.uri = ns.second;
        }
      }
    }
    // Every step must be a name the record may hold: an element added for
    // it must read back under the same rules.
    if (!IsPlainName(step.local) || (colon != std::string::npos && !IsPlainName(step.prefix))) {
      error_ = "bad path " + path;
      return false;
    }
    steps.push_back(std::move(step));
    at = next == std::string::npos ? path.size() : next;
  }
  if (steps.empty() || steps[0].attribute) {
    error_ = "bad path " + path;
    return false;
  }
  for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
    if (steps[i].attribute) {
      error_ = "bad path " + path;
      return false;
    }
  }
  return true;
}

bool RecordEditor::Index() {
  elements_.clear();
  std::vector<int> stack;
  auto lookup = [&](int from, const std::string& prefix, std::string& uri) {
    if (prefix == "xml") {
      uri = kXmlNamespace;
      return true;
    }
    for (int e = from; e >= 0; e = elements_[e].parent) {
      for (auto it = elements_[e].declared.rbegin(); it != elements_[e].declared.rend(); ++it) {
        if (it->first == prefix) {
          uri = it->second;
          return true;
        }
      }
    }
    uri.clear();
    return prefix.empty();
  };
  // A byte-order mark stays where it is, outside the scan.
  const std::size_t from = xml_.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  XmlLexer lexer(xml_, from);
  if (!lexer.ScanProlog()) {
    error_ = "the record is not well-formed: " + lexer.error();
    return false;
  }
  for (;;) {
    switch (lexer.Next()) {
      case XmlLexer::Token::kStartTag: {
        Element e;
        e.begin = lexer.begin();
        e.parent = stack.empty() ? -1 : stack.back();
        e.qname = std::string(lexer.name());
        for (const XmlAttribute& attribute : lexer.attributes()) {
          Element::Attr a;
          a.name = std::string(attribute.name);
          a.valueBegin = attribute.valueBegin;
          a.valueLength = attribute.valueLength;
          a.quote = attribute.quote;
          if (a.name == "xmlns" || a.name.rfind("xmlns:", 0) == 0) {
            std::string uri;
            DecodeValue(std::string_view(xml_).substr(a.valueBegin, a.valueLength),
                        ValueContext::kAttrDouble, uri);
            e.declared.emplace_back(a.name.size() == 5 ? "" : a.name.substr(6), uri);
          }
          e.attrs.push_back(std::move(a));
        }
        e.startTagEnd = lexer.end();
        e.selfClosing = lexer.selfClosing();
        if (e.selfClosing) e.contentEnd = e.startTagEnd - 2;
        if (e.parent >= 0) elements_[e.parent].hasChildElement = true;
        elements_.push_back(std::move(e));
        const int index = static_cast<int>(elements_.size() - 1);
        Element& added = elements_.back();
        const auto colon = added.qname.find(':');
        const std::string prefix = colon == std::string::npos ? "" : added.qname.substr(0, colon);
        added.local = colon == std::string::npos ? added.qname : added.qname.substr(colon + 1);
        std::string uri;
        lookup(index, prefix, uri);
        elements_[index].uri = uri;
        if (!elements_[index].selfClosing) stack.push_back(index);
        break;
      }
      case XmlLexer::Token::kEndTag:
        elements_[stack.back()].contentEnd = lexer.begin();
        stack.pop_back();
        break;
      case XmlLexer::Token::kText:
      case XmlLexer::Token::kCdata:
      case XmlLexer::Token::kComment:
      case XmlLexer::Token::kPi:
        break;
      case XmlLexer::Token::kEnd:
        return true;
      case XmlLexer::Token::kError:
        error_ = "the record is not well-formed: " + lexer.error();
        return false;
    }
  }
}

std::vector<int> RecordEditor::FindAll(const std::vector<Step>& steps, std::size_t depth) const {
  std::vector<int> out;
  if (depth == 0) return out;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    // Walk up from a candidate, matching the steps backwards.
    int e = static_cast<int>(i);
    std::size_t d = depth;
    bool match = true;
    while (d > 0) {
      const Step& st = steps[d - 1];
      if (e < 0 || elements_[e].local != st.local || elements_[e].uri != st.uri) {
        match = false;
        break;
      }
      e = elements_[e].parent;
      --d;
    }
    if (match && e < 0) out.push_back(static_cast<int>(i));
  }
  return out;
}

int RecordEditor::FindChain(const std::vector<Step>& steps, std::size_t depth) const {
  const auto all = FindAll(steps, depth);
  return all.empty() ? -1 : all.front();
}

int RecordEditor::SchemaIndex(const std::vector<Step>& steps, std::size_t depth) const {
  if (model_ == nullptr) return -1;
  int node = -1;
  for (std::size_t i = 0; i < depth; ++i) {
    const int uri =
        model_->UriIndex(steps[i].attribute && steps[i].prefix.empty() ? "" : steps[i].uri);
    if (uri < 0) return -1;
    node = model_->FindChild(node, uri, steps[i].local, steps[i].attribute);
    if (node < 0) return -1;
  }
  return node;
}

std::string RecordEditor::Qualify(int scope, const Step& step, std::string& declarations) const {
  // A prefix already bound to the step's namespace where it is inserted.
  std::vector<std::pair<std::string, std::string>> visible;
  for (int e = scope; e >= 0; e = elements_[e].parent) {
    for (const auto& d : elements_[e].declared) {
      bool shadowed = false;
      for (const auto& v : visible) shadowed = shadowed || v.first == d.first;
      if (!shadowed) visible.push_back(d);
    }
  }
  if (step.attribute) {
    if (step.uri.empty() || step.prefix.empty()) return step.local;
  } else {
    std::string defaultUri;
    for (const auto& v : visible) {
      if (v.first.empty()) defaultUri = v.second;
    }
    if (defaultUri == step.uri) return step.local;
  }
  for (const auto& v : visible) {
    if (!v.first.empty() && v.second == step.uri) return v.first + ":" + step.local;
  }
  if (step.uri.empty()) {
    declarations += " xmlns=\"\"";
    return step.local;
  }
  const std::string prefix = step.prefix.empty() ? "ns" : step.prefix;
  declarations += " xmlns:" + prefix + "=\"";
  AppendEscaped(step.uri, ValueContext::kAttrDouble, false, declarations);
  declarations += '"';
  return prefix + ":" + step.local;
}

std::size_t RecordEditor::InsertionPoint(int parent, const std::vector<Step>& steps,
                                         std::size_t depth) {
  const Element& p = elements_[parent];
  const int mine = SchemaIndex(steps, depth + 1);
  const int parentNode = SchemaIndex(steps, depth);
  if (mine >= 0 && parentNode >= 0) {
    for (std::size_t i = parent + 1; i < elements_.size(); ++i) {
      const Element& c = elements_[i];
      if (c.begin >= p.contentEnd) break;
      if (c.parent != parent) continue;
      const int uri = model_->UriIndex(c.uri);
      const int node = uri < 0 ? -1 : model_->FindChild(parentNode, uri, c.local, false);
      if (node > mine) return c.begin;
    }
  }
  return p.contentEnd;
}

bool RecordEditor::InsertChain(int parent, const std::vector<Step>& steps, std::size_t from,
                               const std::string& value) {
  const bool endsInAttribute = steps.back().attribute;
  const std::size_t lastElement = endsInAttribute ? steps.size() - 1 : steps.size();
  std::string open, close;
  // Namespace declarations made on the new elements apply to those inside.
  std::vector<std::pair<std::string, std::string>> added;
  for (std::size_t i = from; i < lastElement; ++i) {
    std::string declarations;
    std::string q = Qualify(parent, steps[i], declarations);
    bool declaredHere = false;
    for (const auto& a : added) {
      if (a.second == steps[i].uri && !steps[i].uri.empty()) {
        q = a.first.empty() ? steps[i].local : a.first + ":" + steps[i].local;
        declaredHere = true;
      }
    }
    if (declaredHere) declarations.clear();
    if (!declarations.empty()) {
      const auto colon = q.find(':');
      added.emplace_back(colon == std::string::npos ? "" : q.substr(0, colon), steps[i].uri);
    }
    open += "<" + q + declarations;
    if (endsInAttribute && i + 1 == lastElement) {
      std::string attrDecl;
      const std::string an = Qualify(parent, steps.back(), attrDecl);
      open += attrDecl + " " + an + "=\"";
      AppendEscaped(value, ValueContext::kAttrDouble, false, open);
      open += '"';
    }
    open += ">";
    close = "</" + q + ">" + close;
  }
  if (!endsInAttribute) open += Escape(value);
  const std::string text = open + close;
  Element& p = elements_[parent];
  if (p.selfClosing) {
    // "<a .../>" becomes "<a ...>new</a>".
    const std::size_t slash = p.startTagEnd - 2;
    xml_.replace(slash, 2, ">" + text + "</" + p.qname + ">");
  } else {
    xml_.insert(InsertionPoint(parent, steps, from), text);
  }
  return Index();
}

std::string RecordEditor::ElementValue(int element) const {
  const Element& e = elements_[element];
  if (e.selfClosing || e.hasChildElement) return "";
  std::string value;
  const std::string_view raw =
      std::string_view(xml_).substr(e.startTagEnd, e.contentEnd - e.startTagEnd);
  if (raw.substr(0, 9) == "<![CDATA[" && raw.size() >= 12) {
    DecodeValue(raw.substr(9, raw.size() - 12), ValueContext::kCdata, value);
  } else {
    DecodeValue(raw, ValueContext::kText, value);
  }
  return value;
}

bool RecordEditor::ReplaceContent(int element, const std::string& value, bool attribute,
                                  const Step& attrStep) {
  Element& e = elements_[element];
  if (attribute) {
    for (const auto& a : e.attrs) {
      const auto colon = a.name.find(':');
      const std::string local = colon == std::string::npos ? a.name : a.name.substr(colon + 1);
      if (local != attrStep.local) continue;
      std::string uri;
      if (colon != std::string::npos) {
        const std::string prefix = a.name.substr(0, colon);
        for (int x = element; x >= 0 && uri.empty(); x = elements_[x].parent) {
          for (const auto& d : elements_[x].declared) {
            if (d.first == prefix) uri = d.second;
          }
        }
        if (prefix == "xml") uri = kXmlNamespace;
      }
      if (uri != (attrStep.prefix.empty() ? "" : attrStep.uri)) continue;
      std::string escaped;
      AppendEscaped(value, a.quote == '"' ? ValueContext::kAttrDouble : ValueContext::kAttrSingle,
                    false, escaped);
      xml_.replace(a.valueBegin, a.valueLength, escaped);
      return Index();
    }
    std::string declarations;
    const std::string name = Qualify(element, attrStep, declarations);
    std::string text = declarations + " " + name + "=\"";
    AppendEscaped(value, ValueContext::kAttrDouble, false, text);
    text += '"';
    xml_.insert(e.selfClosing ? e.startTagEnd - 2 : e.startTagEnd - 1, text);
    return Index();
  }
  if (e.hasChildElement) {
    error_ = "element " + e.qname + " holds other elements";
    return false;
  }
  if (e.selfClosing) {
    xml_.replace(e.startTagEnd - 2, 2, ">" + Escape(value) + "</" + e.qname + ">");
  } else {
    xml_.replace(e.startTagEnd, e.contentEnd - e.startTagEnd, Escape(value));
  }
  return Index();
}

bool RecordEditor::SetValue(const std::string& path, const std::string& value) {
  std::vector<Step> steps;
  if (!ParsePath(path, steps) || !Index()) {
    if (error_.empty()) error_ = "the record is not well-formed";
    return false;
  }
  const bool attribute = steps.back().attribute;
  const std::size_t elementDepth = attribute ? steps.size() - 1 : steps.size();
  const int found = FindChain(steps, elementDepth);
  if (found >= 0) return ReplaceContent(found, value, attribute, steps.back());
  // Deepest existing ancestor, then the missing chain below it.
  for (std::size_t depth = elementDepth - 1; depth >= 1; --depth) {
    const int ancestor = FindChain(steps, depth);
    if (ancestor >= 0) return InsertChain(ancestor, steps, depth, value);
  }
  error_ = "the record's root is not " + path.substr(0, path.find('/', 1));
  return false;
}

bool RecordEditor::SetIfAbsent(const std::string& path, const std::string& value) {
  std::vector<Step> steps;
  if (!ParsePath(path, steps) || !Index()) return false;
  const bool attribute = steps.back().attribute;
  const std::size_t elementDepth = attribute ? steps.size() - 1 : steps.size();
  const int found = FindChain(steps, elementDepth);
  if (found >= 0 && !attribute) return true;
  if (found >= 0) {
    for (const auto& a : elements_[found].attrs) {
      const auto colon = a.name.find(':');
      if ((colon == std::string::npos ? a.name : a.name.substr(colon + 1)) == steps.back().local)
        return true;
    }
  }
  return SetValue(path, value);
}

bool RecordEditor::AddValue(const std::string& path, const std::string& value, std::size_t span) {
  std::vector<Step> steps;
  if (!ParsePath(path, steps) || !Index()) return false;
  if (steps.back().attribute || span < 1 || steps.size() <= span) {
    error_ = "values are added to elements only";
    return false;
  }
  for (int e : FindAll(steps, steps.size())) {
    if (ElementValue(e) == value) return true;
  }
  const int parent = FindChain(steps, steps.size() - span);
  if (parent < 0) return SetValue(path, value);
  return InsertChain(parent, steps, steps.size() - span, value);
}

}  // namespace metashelf::model

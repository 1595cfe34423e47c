// The record decomposer: one pass of the XML lexer over the UTF-8 text
// (which checks well-formedness), tracking namespace scopes, matching
// elements and attributes to schema nodes by namespace URI and local name,
// and writing the structure document with markers in place of leaf values.
// Iterative throughout, so nesting depth costs heap, never stack.
#include "decompose.h"

#include <cstring>
#include <string_view>
#include <unordered_map>

#include "metashelf/base/utf8.h"
#include "value_forms.h"
#include "value_label.h"
#include "xml_lexer.h"
#include "xml_text.h"

namespace metashelf::model {

std::string NodeTag(std::int32_t guid, std::int32_t position) {
  std::string tag = std::to_string(guid);
  tag += '<';
  tag += std::to_string(position);
  return tag;
}

namespace {

// Text leaves longer than this stay inline: the text value column holds
// 4000 bytes.
constexpr std::size_t kMaxTextValue = 4000;
// Prefix lookups scan the declarations in scope; a record that keeps more
// in scope at once is refused rather than scanned at quadratic cost.
constexpr std::size_t kMaxBindingsInScope = 4096;
// Unknown elements named one by one in an unplaced path; deeper ones are
// counted under "/..." (deep nesting must not cost quadratic memory).
constexpr int kMaxUnknownSteps = 32;

struct Binding {
  std::string_view prefix;
  int uri;  // index into the schema's URIs; -1 when no node uses it
};

struct OpenElement {
  int node;
  std::size_t contentBegin;
  std::size_t bindingMark;
  std::int32_t position = 0;
  std::size_t cdataBegin = 0;
  std::size_t cdataEnd = 0;
  int cdata = 0;
  bool childElement = false;
  bool other = false;  // comment or processing instruction inside
  bool chars = false;
  bool entity = false;    // reference to an entity that is not expanded
  bool nonBlank = false;  // character data other than blanks inside
  // When the schema does not know the element (node < 0): how many
  // unknown elements lead to it (itself included), and its path. Past
  // kMaxUnknownSteps the path stays empty and `pathAt` names the open
  // element whose path, with "/...", stands for it.
  int unknownSteps = 0;
  std::size_t pathAt = 0;
  std::string path;
};

class Decomposer {
 public:
  Decomposer(const SchemaModel* model, const DecodedText& text, RecordParts& parts,
             std::vector<ValidationIssue>& issues, RecordFit& fit, std::string& error)
      : model_(model),
        lexer_(text.text),
        s_(text.text.data()),
        n_(text.text.size()),
        text_(text),
        parts_(parts),
        issues_(issues),
        fit_(fit),
        error_(error) {}

  bool Run() {
    parts_ = RecordParts{};
    issues_.clear();
    fit_ = RecordFit{};
    if (model_ != nullptr) {
      counts_.assign(model_->nodes.size(), 0);
      // Unplaced paths name a namespace the schema knows by its prefix.
      schemaPrefix_.assign(model_->uris.size(), std::string());
      for (const auto& [prefix, uri] : model_->namespaces) {
        const int at = model_->UriIndex(uri);
        if (at > 0) schemaPrefix_[at] = prefix;
      }
      if (model_->uris.size() > 0) schemaPrefix_[0].clear();
    }
    bindings_.push_back(Binding{"xml", model_ != nullptr ? model_->UriIndex(kXmlNamespace) : -1});
    label_.encoding = text_.encoding;
    label_.bom = text_.utf8Bom;
    const char* lf = static_cast<const char*>(std::memchr(s_, '\n', n_));
    label_.crlf = lf != nullptr && lf > s_ && lf[-1] == '\r';

    if (!lexer_.ScanProlog()) {
      error_ = lexer_.error();
      return false;
    }
    prologEnd_ = lexer_.position();
    parts_.structure.reserve(n_ - prologEnd_ + 64);
    parts_.leaves.reserve(n_ / 160);  // about one leaf per 160 bytes in real records
    copied_ = prologEnd_;
    if (!ScanContent()) return false;
    Flush(n_);
    WriteProlog();
    parts_.label = WriteValueLabel(label_);
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what + " at byte " + std::to_string(lexer_.end());
    return false;
  }

  // The prolog as stored: a converted record's declaration names UTF-8.
  void WriteProlog() {
    std::string prolog(s_, prologEnd_);
    if (!text_.encoding.empty() && prolog.rfind("<?xml", 0) == 0) {
      const auto declEnd = prolog.find("?>");
      const auto at = prolog.find("encoding", 0);
      if (at != std::string::npos && at < declEnd) {
        std::size_t q = at + 8;
        while (q < declEnd && (IsXmlSpace(prolog[q]) || prolog[q] == '=')) ++q;
        if (q < declEnd && (prolog[q] == '"' || prolog[q] == '\'')) {
          const auto close = prolog.find(prolog[q], q + 1);
          if (close != std::string::npos && close < declEnd)
            prolog.replace(q + 1, close - q - 1, "UTF-8");
        }
      }
    }
    if (prolog.empty()) {
      label_.noProlog = true;
      prolog = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    }
    parts_.prolog = std::move(prolog);
  }

  void Flush(std::size_t upTo) {
    parts_.structure.append(s_ + copied_, upTo - copied_);
    copied_ = upTo;
  }

  void Issue(int node, std::size_t begin, std::size_t length, const char* why) {
    ValidationIssue issue;
    issue.path = model_->nodes[node].path;
    // Cut for display at a character boundary.
    issue.value.assign(s_ + begin, base::Utf8CutLength(s_ + begin, length, 200));
    issue.reason = why;
    issues_.push_back(std::move(issue));
  }

  // Makes the value at [begin, begin+length) a leaf of `node` when the
  // node's table type can hold it; otherwise it stays inline.
  void TryLeaf(int node, std::int32_t position, std::size_t begin, std::size_t length,
               ValueContext context) {
    const SchemaNode& nd = model_->nodes[node];
    const std::string_view raw(s_ + begin, length);
    std::string value;
    std::string_view leafValue;  // what the leaf holds, when not `value`
    bool useView = false;
    char kind = static_cast<char>(context);
    std::size_t markBegin = begin;
    std::size_t markEnd = begin + length;
    bool keepRaw = false;
    if (nd.tableType == kTableTypeNumber || nd.tableType == kTableTypeDate) {
      while (markBegin < markEnd && IsXmlSpace(s_[markBegin])) ++markBegin;
      while (markEnd > markBegin && IsXmlSpace(s_[markEnd - 1])) --markEnd;
      if (markBegin == markEnd) return;
      const std::string_view core(s_ + markBegin, markEnd - markBegin);
      if (!DecodeValue(core, context, value)) {
        Issue(node, begin, length, "reference to an entity that is not expanded");
        return;
      }
      if (nd.tableType == kTableTypeNumber) {
        double number = 0;
        if (!ParseNumber(value, number)) {
          Issue(node, begin, length, "not a number");
          return;
        }
        if (nd.integer && !IsExactInteger(number)) {
          Issue(node, begin, length, "not a whole number");
          return;
        }
        kind = nd.integer ? 'i' : 'n';
        keepRaw = core != FormatNumber(number, nd.integer);
      } else {
        if (!IsFullDate(value)) {
          Issue(node, begin, length, "not a YYYY-MM-DD date");
          return;
        }
        kind = 'd';
        keepRaw = core != value;
      }
      if (keepRaw) label_.raws.emplace_back(TagKey(nd.guid, position), std::string(core));
    } else {
      // Most values hold nothing that decoding or escaping changes: the raw
      // text is the value.
      const bool plain = !NeedsEscaping(raw, context);
      if (!plain && !DecodeValue(raw, context, value)) {
        Issue(node, begin, length, "reference to an entity that is not expanded");
        return;
      }
      const std::string_view decoded = plain ? raw : std::string_view(value);
      bool blank = true;
      for (char c : decoded) {
        if (!IsXmlSpace(c)) {
          blank = false;
          break;
        }
      }
      if (blank) return;
      if (decoded.size() > kMaxTextValue) {
        Issue(node, begin, length, "text longer than 4000 bytes");
        return;
      }
      if (plain) {
        leafValue = raw;
        useView = true;
      } else {
        std::string escaped;
        escaped.reserve(raw.size());
        AppendEscaped(value, context, label_.crlf, escaped);
        if (escaped != raw) label_.raws.emplace_back(TagKey(nd.guid, position), std::string(raw));
      }
    }
    Flush(markBegin);
    copied_ = markEnd;
    std::string& out = parts_.structure;
    out.push_back(kMarkerOpen);
    out.push_back(kind);
    const std::size_t tagAt = out.size();
    out += std::to_string(nd.guid);
    out.push_back('<');
    out += std::to_string(position);
    parts_.leaves.emplace_back();
    CLeafNode& leaf = parts_.leaves.back();
    leaf.SetNodeGUID(nd.guid);
    leaf.SetNodePosition(position);
    leaf.SetNodeTag(out.data() + tagAt, out.size() - tagAt);
    if (useView) {
      leaf.SetNodeValue(leafValue.data(), leafValue.size());
    } else {
      leaf.SetNodeValue(value.data(), value.size());
    }
    out.push_back(kMarkerClose);
  }

  // Counts one non-blank value under a path the schema cannot place.
  void Unplaced(std::string path) {
    ++fit_.unplacedValues;
    const auto [it, added] = unplacedAt_.emplace(std::move(path), fit_.unplaced.size());
    if (added) {
      fit_.unplaced.emplace_back(it->first, 1);
    } else {
      ++fit_.unplaced[it->second].second;
    }
  }

  // A name of the record as a path step: with the schema's prefix when the
  // schema knows its namespace, as written otherwise.
  std::string StepName(std::string_view qname, bool attribute) const {
    const auto colon = qname.find(':');
    if (colon == std::string_view::npos && attribute) return std::string(qname);
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    const std::string_view local =
        colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    const Binding* bound = LookupPrefix(prefix);
    if (bound == nullptr && prefix.empty()) return std::string(local);
    if (bound == nullptr || bound->uri < 0 ||
        static_cast<std::size_t>(bound->uri) >= schemaPrefix_.size())
      return std::string(qname);
    const std::string& mine = schemaPrefix_[bound->uri];
    return mine.empty() ? std::string(local) : mine + ":" + std::string(local);
  }

  // The path of an open element (known: the schema's path).
  std::string PathOf(const OpenElement& e) const {
    if (e.node >= 0) return model_->nodes[e.node].path;
    if (e.unknownSteps <= kMaxUnknownSteps) return e.path;
    return stack_[e.pathAt].path + "/...";
  }

  static bool HasNonBlank(const char* p, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i)
      if (!IsXmlSpace(p[i])) return true;
    return false;
  }

  const Binding* LookupPrefix(std::string_view prefix) const {
    for (std::size_t i = bindings_.size(); i-- > 0;) {
      if (bindings_[i].prefix == prefix) return &bindings_[i];
    }
    return nullptr;
  }

  // Schema node of a (qualified) name under `parent` (-1: roots).
  int Resolve(int parent, std::string_view qname, bool attribute) const {
    if (model_ == nullptr) return -1;
    const auto colon = qname.find(':');
    std::string_view local = qname;
    int uri = 0;
    if (colon != std::string_view::npos || !attribute) {
      const std::string_view prefix =
          colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
      if (colon != std::string_view::npos) local = qname.substr(colon + 1);
      const Binding* bound = LookupPrefix(prefix);
      if (bound == nullptr) {
        if (!prefix.empty()) return -1;
        uri = 0;
      } else {
        uri = bound->uri;
        if (uri < 0) return -1;
      }
    }
    return model_->FindChild(parent, uri, local, attribute);
  }

  bool StartTag() {
    const std::string_view name = lexer_.name();
    const std::vector<XmlAttribute>& attrs = lexer_.attributes();
    const std::size_t mark = bindings_.size();
    for (const XmlAttribute& a : attrs) {
      if (a.name == "xmlns" || (a.name.size() > 6 && a.name.substr(0, 6) == "xmlns:")) {
        Binding b;
        b.prefix = a.name.size() == 5 ? std::string_view() : a.name.substr(6);
        std::string uri;
        DecodeValue(std::string_view(s_ + a.valueBegin, a.valueLength), ValueContext::kAttrDouble,
                    uri);
        b.uri = model_ != nullptr ? model_->UriIndex(uri) : -1;
        bindings_.push_back(b);
        if (bindings_.size() > kMaxBindingsInScope)
          return Fail("more than 4096 namespace declarations in scope");
      }
    }
    int node = -1;
    if (stack_.empty()) {
      node = Resolve(-1, name, false);
      NoteRoot(name, node);
    } else {
      OpenElement& parent = stack_.back();
      parent.childElement = true;
      if (parent.node >= 0) node = Resolve(parent.node, name, false);
    }
    OpenElement e;
    if (node < 0 && model_ != nullptr) {
      const OpenElement* parent = stack_.empty() ? nullptr : &stack_.back();
      e.unknownSteps = parent != nullptr && parent->node < 0 ? parent->unknownSteps + 1 : 1;
      if (e.unknownSteps <= kMaxUnknownSteps) {
        e.path = parent != nullptr ? PathOf(*parent) : std::string();
        e.path += '/';
        e.path += StepName(name, false);
        e.pathAt = stack_.size();
      } else {
        e.pathAt = parent->pathAt;
      }
    }
    for (const XmlAttribute& a : attrs) {
      if (a.name == "xmlns" || (a.name.size() > 6 && a.name.substr(0, 6) == "xmlns:")) continue;
      const int an = node >= 0 ? Resolve(node, a.name, true) : -1;
      if (an >= 0) {
        const std::int32_t position = counts_[an]++;
        if (!model_->nodes[an].dataType.empty()) {
          TryLeaf(an, position, a.valueBegin, a.valueLength,
                  a.quote == '"' ? ValueContext::kAttrDouble : ValueContext::kAttrSingle);
          continue;
        }
      }
      if (model_ != nullptr && HasNonBlank(s_ + a.valueBegin, a.valueLength)) {
        e.node = node;
        Unplaced(PathOf(e) + "/@" + StepName(a.name, true));
      }
    }
    if (node >= 0) ++counts_[node];
    if (lexer_.selfClosing()) {
      bindings_.resize(mark);
      return true;
    }
    e.node = node;
    e.position = node >= 0 ? counts_[node] - 1 : 0;
    e.contentBegin = lexer_.end();
    e.bindingMark = mark;
    stack_.push_back(e);
    return true;
  }

  void EndTag() {
    const std::size_t contentEnd = lexer_.begin();
    const OpenElement& e = stack_.back();
    bool placed = false;
    if (e.node >= 0 && !model_->nodes[e.node].dataType.empty() && !e.childElement && !e.other) {
      if (e.cdata == 0) {
        placed = true;
        if (e.entity) {
          Issue(e.node, e.contentBegin, contentEnd - e.contentBegin,
                "reference to an entity that is not expanded");
        } else if (contentEnd > e.contentBegin) {
          TryLeaf(e.node, e.position, e.contentBegin, contentEnd - e.contentBegin,
                  ValueContext::kText);
        }
      } else if (e.cdata == 1 && !e.chars) {
        placed = true;
        TryLeaf(e.node, e.position, e.cdataBegin, e.cdataEnd - e.cdataBegin, ValueContext::kCdata);
      }
    }
    if (!placed && e.nonBlank && model_ != nullptr) Unplaced(PathOf(e));
    bindings_.resize(e.bindingMark);
    stack_.pop_back();
  }

  bool ScanContent() {
    for (;;) {
      switch (lexer_.Next()) {
        case XmlLexer::Token::kStartTag:
          if (!StartTag()) return false;
          break;
        case XmlLexer::Token::kEndTag:
          EndTag();
          break;
        case XmlLexer::Token::kText: {
          OpenElement& e = stack_.back();
          e.chars = true;
          if (lexer_.entityReference()) e.entity = true;
          if (!e.nonBlank)
            e.nonBlank = HasNonBlank(s_ + lexer_.begin(), lexer_.end() - lexer_.begin());
          break;
        }
        case XmlLexer::Token::kCdata: {
          OpenElement& e = stack_.back();
          e.cdata++;
          e.cdataBegin = lexer_.contentBegin();
          e.cdataEnd = lexer_.contentEnd();
          if (!e.nonBlank) e.nonBlank = HasNonBlank(s_ + e.cdataBegin, e.cdataEnd - e.cdataBegin);
          break;
        }
        case XmlLexer::Token::kComment:
        case XmlLexer::Token::kPi:
          stack_.back().other = true;
          break;
        case XmlLexer::Token::kEnd:
          return true;
        case XmlLexer::Token::kError:
          error_ = lexer_.error();
          return false;
      }
    }
  }

  // The root element as written, its namespace URI (from its own
  // declarations, the only ones in scope) and whether the schema has it.
  void NoteRoot(std::string_view name, int node) {
    fit_.root = std::string(name);
    fit_.rootKnown = model_ == nullptr || node >= 0;
    const auto colon = name.find(':');
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    for (const XmlAttribute& a : lexer_.attributes()) {
      const bool plain = a.name == "xmlns";
      const bool prefixed = a.name.size() > 6 && a.name.substr(0, 6) == "xmlns:";
      if ((plain && prefix.empty()) || (prefixed && a.name.substr(6) == prefix)) {
        fit_.rootUri.clear();
        DecodeValue(std::string_view(s_ + a.valueBegin, a.valueLength), ValueContext::kAttrDouble,
                    fit_.rootUri);
      }
    }
  }

  const SchemaModel* model_;
  XmlLexer lexer_;
  const char* s_;
  std::size_t n_;
  const DecodedText& text_;
  RecordParts& parts_;
  std::vector<ValidationIssue>& issues_;
  RecordFit& fit_;
  std::string& error_;
  std::size_t copied_ = 0;
  std::size_t prologEnd_ = 0;
  std::vector<std::int32_t> counts_;
  std::vector<Binding> bindings_;
  std::vector<OpenElement> stack_;
  ValueLabel label_;
  std::vector<std::string> schemaPrefix_;  // by URI index
  std::unordered_map<std::string, std::size_t> unplacedAt_;
};

}  // namespace

bool Decompose(const SchemaModel* model, const DecodedText& text, RecordParts& parts,
               std::vector<ValidationIssue>& issues, RecordFit& fit, std::string& error) {
  Decomposer d(model, text, parts, issues, fit, error);
  if (d.Run()) return true;
  parts = RecordParts{};
  issues.clear();
  fit = RecordFit{};
  return false;
}

}  // namespace metashelf::model

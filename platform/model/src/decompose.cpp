// The record scanner: one pass over the UTF-8 text that checks
// well-formedness, tracks namespace scopes, matches elements and attributes
// to schema nodes by namespace URI and local name, and writes the structure
// document with markers in place of leaf values. Iterative throughout, so
// nesting depth costs heap, never stack.
#include "decompose.h"

#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "metashelf/base/utf8.h"
#include "value_label.h"
#include "xml_values.h"

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

struct NameTable {
  bool start[256] = {};
  bool name[256] = {};
  constexpr NameTable() {
    for (int c = 0; c < 256; ++c) {
      start[c] =
          (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
      name[c] = start[c] || (c >= '0' && c <= '9') || c == '-' || c == '.';
    }
  }
};
constexpr NameTable kNames;

inline bool IsNameStart(unsigned char c) {
  return kNames.start[c];
}
inline bool IsNameChar(unsigned char c) {
  return kNames.name[c];
}

struct Binding {
  std::string_view prefix;
  int uri;  // index into the schema's URIs; -1 when no node uses it
};

struct Attr {
  std::string_view name;
  std::size_t valueBegin;
  std::size_t valueLength;
  char quote;
};

struct OpenElement {
  std::string_view name;
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

    if (!ScanProlog()) return false;
    parts_.structure.reserve(n_ - pos_ + 64);
    parts_.leaves.reserve(n_ / 160);  // about one leaf per 160 bytes in real records
    copied_ = pos_;
    if (!ScanContent()) return false;
    Flush(n_);
    WriteProlog();
    parts_.label = WriteValueLabel(label_);
    return true;
  }

 private:
  bool Fail(const std::string& what) {
    error_ = what + " at byte " + std::to_string(pos_);
    return false;
  }

  bool StartsWith(std::size_t at, std::string_view what) const {
    return n_ - at >= what.size() && std::memcmp(s_ + at, what.data(), what.size()) == 0;
  }

  // Position just after the next `what` at or after `from`, or npos.
  std::size_t After(std::size_t from, std::string_view what) const {
    const std::string_view all(s_, n_);
    const auto at = all.find(what, from);
    return at == std::string_view::npos ? at : at + what.size();
  }

  void SkipSpace() {
    while (pos_ < n_ && IsXmlSpace(s_[pos_])) ++pos_;
  }

  bool ScanName(std::string_view& name) {
    const std::size_t begin = pos_;
    if (pos_ >= n_ || !IsNameStart(static_cast<unsigned char>(s_[pos_]))) return false;
    ++pos_;
    while (pos_ < n_ && IsNameChar(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    name = std::string_view(s_ + begin, pos_ - begin);
    return true;
  }

  bool SkipComment() {
    const auto end = After(pos_ + 4, "-->");
    if (end == std::string_view::npos) return Fail("unterminated comment");
    pos_ = end;
    return true;
  }

  bool SkipPi() {
    pos_ += 2;
    std::string_view target;
    if (!ScanName(target)) return Fail("bad processing instruction");
    if (target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm' &&
        (target[2] | 0x20) == 'l')
      return Fail("misplaced XML declaration");
    const auto end = After(pos_, "?>");
    if (end == std::string_view::npos) return Fail("unterminated processing instruction");
    pos_ = end;
    return true;
  }

  // The document type declaration is kept as it stands; nothing it names
  // is fetched and its entities are never expanded.
  bool SkipDoctype() {
    pos_ += 9;
    char quote = 0;
    int depth = 0;
    while (pos_ < n_) {
      const char c = s_[pos_];
      if (quote != 0) {
        if (c == quote) quote = 0;
        ++pos_;
        continue;
      }
      if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '[') {
        ++depth;
      } else if (c == ']') {
        --depth;
      } else if (c == '<' && depth > 0 && StartsWith(pos_, "<!--")) {
        if (!SkipComment()) return false;
        continue;
      } else if (c == '<' && depth > 0 && StartsWith(pos_, "<?")) {
        const auto end = After(pos_ + 2, "?>");
        if (end == std::string_view::npos) return Fail("unterminated processing instruction");
        pos_ = end;
        continue;
      } else if (c == '>' && depth <= 0) {
        ++pos_;
        return true;
      }
      ++pos_;
    }
    return Fail("unterminated document type declaration");
  }

  bool ScanProlog() {
    pos_ = 0;
    if (StartsWith(0, "<?xml") && n_ > 5 && IsXmlSpace(s_[5])) {
      const auto end = After(5, "?>");
      if (end == std::string_view::npos) return Fail("unterminated XML declaration");
      pos_ = end;
    }
    bool doctype = false;
    for (;;) {
      SkipSpace();
      if (pos_ >= n_) return Fail("no root element");
      if (StartsWith(pos_, "<!--")) {
        if (!SkipComment()) return false;
      } else if (StartsWith(pos_, "<?")) {
        if (!SkipPi()) return false;
      } else if (StartsWith(pos_, "<!DOCTYPE")) {
        if (doctype) return Fail("second document type declaration");
        doctype = true;
        if (!SkipDoctype()) return false;
      } else if (s_[pos_] == '<') {
        return true;
      } else {
        return Fail("text before the root element");
      }
    }
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

  // Checks the references in raw character data or an attribute value.
  // 0: only predefined entities and character references; 1: a reference to
  // another entity; -1: malformed.
  int CheckReferences(std::size_t begin, std::size_t end) const {
    int result = 0;
    const char* p = s_ + begin;
    const char* const stop = s_ + end;
    while ((p = static_cast<const char*>(std::memchr(p, '&', stop - p))) != nullptr) {
      const char* q = p + 1;
      if (q < stop && *q == '#') {
        ++q;
        const bool hex = q < stop && *q == 'x';
        if (hex) ++q;
        const char* digits = q;
        while (q < stop && ((*q >= '0' && *q <= '9') ||
                            (hex && ((*q >= 'a' && *q <= 'f') || (*q >= 'A' && *q <= 'F')))))
          ++q;
        if (q == digits || q >= stop || *q != ';') return -1;
        std::string decoded;
        if (!DecodeValue(std::string_view(p, q + 1 - p), ValueContext::kText, decoded)) return -1;
      } else {
        if (q >= stop || !IsNameStart(static_cast<unsigned char>(*q))) return -1;
        const char* nameBegin = q;
        while (q < stop && IsNameChar(static_cast<unsigned char>(*q))) ++q;
        if (q >= stop || *q != ';') return -1;
        const std::string_view name(nameBegin, q - nameBegin);
        if (name != "lt" && name != "gt" && name != "amp" && name != "apos" && name != "quot")
          result = 1;
      }
      p = q + 1;
    }
    return result;
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
    const std::size_t tagBegin = pos_;
    ++pos_;
    std::string_view name;
    if (!ScanName(name)) return Fail("bad element name");
    attrs_.clear();
    bool empty = false;
    for (;;) {
      const std::size_t before = pos_;
      SkipSpace();
      if (pos_ >= n_) return Fail("unterminated start tag");
      if (s_[pos_] == '>') {
        ++pos_;
        break;
      }
      if (s_[pos_] == '/') {
        if (pos_ + 1 >= n_ || s_[pos_ + 1] != '>') return Fail("bad start tag");
        pos_ += 2;
        empty = true;
        break;
      }
      if (before == pos_) return Fail("attributes need blanks between them");
      Attr a;
      if (!ScanName(a.name)) return Fail("bad attribute name");
      SkipSpace();
      if (pos_ >= n_ || s_[pos_] != '=') return Fail("attribute without a value");
      ++pos_;
      SkipSpace();
      if (pos_ >= n_ || (s_[pos_] != '"' && s_[pos_] != '\'')) return Fail("unquoted attribute");
      a.quote = s_[pos_++];
      const char* close = static_cast<const char*>(std::memchr(s_ + pos_, a.quote, n_ - pos_));
      if (close == nullptr) return Fail("unterminated attribute value");
      a.valueBegin = pos_;
      a.valueLength = close - (s_ + pos_);
      if (std::memchr(s_ + pos_, '<', a.valueLength) != nullptr) return Fail("'<' in attribute");
      if (CheckReferences(a.valueBegin, a.valueBegin + a.valueLength) < 0)
        return Fail("malformed reference in attribute");
      pos_ = close - s_ + 1;
      attrs_.push_back(a);
    }
    if (attrs_.size() > 1) {
      if (attrs_.size() <= 32) {
        for (std::size_t i = 1; i < attrs_.size(); ++i)
          for (std::size_t j = 0; j < i; ++j)
            if (attrs_[i].name == attrs_[j].name) return Fail("attribute given twice");
      } else {
        std::unordered_set<std::string_view> names;
        for (const Attr& a : attrs_)
          if (!names.insert(a.name).second) return Fail("attribute given twice");
      }
    }
    const std::size_t mark = bindings_.size();
    for (const Attr& a : attrs_) {
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
    if (stack_.empty() && rootSeen_) return Fail("second root element");
    int node = -1;
    if (stack_.empty()) {
      rootSeen_ = true;
      prologEnd_ = tagBegin;
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
    for (const Attr& a : attrs_) {
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
    if (empty) {
      bindings_.resize(mark);
      return true;
    }
    e.name = name;
    e.node = node;
    e.position = node >= 0 ? counts_[node] - 1 : 0;
    e.contentBegin = pos_;
    e.bindingMark = mark;
    stack_.push_back(e);
    return true;
  }

  bool EndTag() {
    const std::size_t contentEnd = pos_;
    pos_ += 2;
    std::string_view name;
    if (!ScanName(name)) return Fail("bad end tag");
    SkipSpace();
    if (pos_ >= n_ || s_[pos_] != '>') return Fail("bad end tag");
    ++pos_;
    if (stack_.empty() || stack_.back().name != name) return Fail("mismatched end tag");
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
    return true;
  }

  bool ScanContent() {
    while (pos_ < n_) {
      if (stack_.empty() && rootSeen_) return ScanEpilog();
      const char c = s_[pos_];
      if (c != '<') {
        const char* lt = static_cast<const char*>(std::memchr(s_ + pos_, '<', n_ - pos_));
        const std::size_t end = lt == nullptr ? n_ : lt - s_;
        if (stack_.empty()) return Fail("text outside the root element");
        const int refs = CheckReferences(pos_, end);
        if (refs < 0) return Fail("malformed reference");
        OpenElement& e = stack_.back();
        e.chars = true;
        if (refs > 0) e.entity = true;
        if (!e.nonBlank) e.nonBlank = HasNonBlank(s_ + pos_, end - pos_);
        pos_ = end;
        continue;
      }
      if (pos_ + 1 >= n_) return Fail("unterminated markup");
      const char next = s_[pos_ + 1];
      if (next == '/') {
        if (!EndTag()) return false;
      } else if (next == '!') {
        if (stack_.empty()) return Fail("markup outside the root element");
        if (StartsWith(pos_, "<!--")) {
          if (!SkipComment()) return false;
          stack_.back().other = true;
        } else if (StartsWith(pos_, "<![CDATA[")) {
          const std::size_t begin = pos_ + 9;
          const auto end = After(begin, "]]>");
          if (end == std::string_view::npos) return Fail("unterminated CDATA section");
          OpenElement& e = stack_.back();
          e.cdata++;
          e.cdataBegin = begin;
          e.cdataEnd = end - 3;
          if (!e.nonBlank) e.nonBlank = HasNonBlank(s_ + begin, e.cdataEnd - begin);
          pos_ = end;
        } else {
          return Fail("bad markup");
        }
      } else if (next == '?') {
        if (stack_.empty()) return Fail("markup outside the root element");
        if (!SkipPi()) return false;
        stack_.back().other = true;
      } else {
        if (!StartTag()) return false;
      }
    }
    if (!stack_.empty()) return Fail("unclosed element <" + std::string(stack_.back().name) + ">");
    if (!rootSeen_) return Fail("no root element");
    return true;
  }

  // The root element as written, its namespace URI (from its own
  // declarations, the only ones in scope) and whether the schema has it.
  void NoteRoot(std::string_view name, int node) {
    fit_.root = std::string(name);
    fit_.rootKnown = model_ == nullptr || node >= 0;
    const auto colon = name.find(':');
    const std::string_view prefix =
        colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    for (const Attr& a : attrs_) {
      const bool plain = a.name == "xmlns";
      const bool prefixed = a.name.size() > 6 && a.name.substr(0, 6) == "xmlns:";
      if ((plain && prefix.empty()) || (prefixed && a.name.substr(6) == prefix)) {
        fit_.rootUri.clear();
        DecodeValue(std::string_view(s_ + a.valueBegin, a.valueLength), ValueContext::kAttrDouble,
                    fit_.rootUri);
      }
    }
  }

  bool ScanEpilog() {
    for (;;) {
      SkipSpace();
      if (pos_ >= n_) return true;
      if (StartsWith(pos_, "<!--")) {
        if (!SkipComment()) return false;
      } else if (StartsWith(pos_, "<?")) {
        if (!SkipPi()) return false;
      } else {
        return Fail("content after the root element");
      }
    }
  }

  const SchemaModel* model_;
  const char* s_;
  std::size_t n_;
  const DecodedText& text_;
  RecordParts& parts_;
  std::vector<ValidationIssue>& issues_;
  RecordFit& fit_;
  std::string& error_;
  std::size_t pos_ = 0;
  std::size_t copied_ = 0;
  std::size_t prologEnd_ = 0;
  bool rootSeen_ = false;
  std::vector<std::int32_t> counts_;
  std::vector<Binding> bindings_;
  std::vector<Attr> attrs_;
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

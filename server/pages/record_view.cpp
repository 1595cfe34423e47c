// The record page's readable sections, drawn from the stored XML.
#include "record_view.h"

#include <cctype>
#include <pugixml.hpp>
#include <string>
#include <unordered_map>

#include "assets.h"
#include "html.h"

namespace metashelf::pages {
namespace {

constexpr int kMaxDepth = 48;

const std::unordered_map<std::string, std::string>& Labels() {
  static const std::unordered_map<std::string, std::string> kLabels = [] {
    std::unordered_map<std::string, std::string> labels;
    const std::string_view text = EmbeddedText("labels.tsv");
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos) end = text.size();
      const std::string_view line = text.substr(start, end - start);
      const std::size_t tab = line.find('\t');
      if (!line.empty() && line[0] != '#' && tab != std::string_view::npos) {
        labels.emplace(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)));
      }
      start = end + 1;
    }
    return labels;
  }();
  return kLabels;
}

std::string Trim(const char* text) {
  std::string_view s(text);
  const auto space = [](char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return std::string(s);
}

// The element's own text (its text and CDATA children), trimmed.
std::string OwnText(const pugi::xml_node& node) {
  std::string text;
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
      text += child.value();
    }
  }
  return Trim(text.c_str());
}

bool HasElements(const pugi::xml_node& node) {
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_element) return true;
  }
  return false;
}

// The wrapped element of `node` when `node` holds nothing but it and it only
// names what kind of thing the value is: a type element (its local name
// starts with a capital, as CharacterString or CI_Citation do) or one with
// the same label. Its content is then drawn under the outer label.
pugi::xml_node Unwrap(pugi::xml_node node) {
  for (int guard = 0; guard < kMaxDepth; ++guard) {
    pugi::xml_node only;
    int elements = 0;
    for (const pugi::xml_node& child : node.children()) {
      if (child.type() == pugi::node_element) {
        ++elements;
        only = child;
      }
    }
    if (elements != 1 || !OwnText(node).empty()) return node;
    std::string_view local = only.name();
    if (const std::size_t colon = local.rfind(':'); colon != std::string_view::npos) {
      local.remove_prefix(colon + 1);
    }
    const bool typeElement = !local.empty() && std::isupper(static_cast<unsigned char>(local[0]));
    if (!typeElement && LabelFor(only.name()) != LabelFor(node.name())) return node;
    node = only;
  }
  return node;
}

// The value of an element without element children: its text, or the
// value attribute some encodings use instead of text.
std::string LeafValue(const pugi::xml_node& node) {
  std::string text = OwnText(node);
  if (!text.empty()) return text;
  for (const char* name : {"codeListValue", "xlink:href", "value", "uom"}) {
    if (const pugi::xml_attribute a = node.attribute(name)) return Trim(a.value());
  }
  return "";
}

bool IsWebLink(const std::string& text) {
  const auto starts = [&](const char* p) { return text.rfind(p, 0) == 0; };
  return (starts("http://") || starts("https://")) &&
         text.find_first_of(" \t\n\"'<>") == std::string::npos;
}

std::string Value(const std::string& text) {
  if (IsWebLink(text)) {
    return "<a href=\"" + Escape(text) + "\" rel=\"nofollow noopener\">" + Escape(text) + "</a>";
  }
  return Escape(text);
}

struct Drawing {
  std::size_t drawn = 0;
  std::size_t max = 0;
  bool cut = false;
};

void DrawList(const pugi::xml_node& parent, int depth, Drawing* d, std::string* out);

// One element as a term and its description; nothing when it is empty.
void DrawEntry(const pugi::xml_node& element, int depth, Drawing* d, std::string* out) {
  if (d->drawn >= d->max || depth > kMaxDepth) {
    d->cut = true;
    return;
  }
  ++d->drawn;
  const pugi::xml_node node = Unwrap(element);
  if (!HasElements(node)) {
    const std::string value = LeafValue(node);
    if (value.empty()) return;
    *out += "<dt>" + Escape(LabelFor(element.name())) + "</dt><dd>" + Value(value) + "</dd>";
    return;
  }
  std::string inner;
  DrawList(node, depth + 1, d, &inner);
  if (inner.empty()) return;
  *out += "<dt>" + Escape(LabelFor(element.name())) + "</dt><dd><dl>" + inner + "</dl></dd>";
}

void DrawList(const pugi::xml_node& parent, int depth, Drawing* d, std::string* out) {
  for (const pugi::xml_node& child : parent.children()) {
    if (child.type() == pugi::node_element) DrawEntry(child, depth, d, out);
  }
}

}  // namespace

std::string LabelFor(std::string_view elementName) {
  std::string_view name = elementName;
  if (const std::size_t colon = name.rfind(':'); colon != std::string_view::npos) {
    name.remove_prefix(colon + 1);
  }
  const auto& labels = Labels();
  if (const auto it = labels.find(std::string(name)); it != labels.end()) return it->second;
  // Class prefixes such as MD_, CI_, EX_ say nothing to a reader.
  if (name.size() > 3 && name[2] == '_' && std::isupper(static_cast<unsigned char>(name[0])) &&
      std::isupper(static_cast<unsigned char>(name[1]))) {
    name.remove_prefix(3);
  }
  std::string words;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '_' || c == '-' || c == '.') {
      if (!words.empty() && words.back() != ' ') words += ' ';
      continue;
    }
    const bool upper = std::isupper(u) != 0;
    const bool prevLower = i > 0 && std::islower(static_cast<unsigned char>(name[i - 1])) != 0;
    const bool nextLower =
        i + 1 < name.size() && std::islower(static_cast<unsigned char>(name[i + 1])) != 0;
    const bool prevUpper = i > 0 && std::isupper(static_cast<unsigned char>(name[i - 1])) != 0;
    if (upper && !words.empty() && words.back() != ' ' && (prevLower || (prevUpper && nextLower))) {
      words += ' ';
    }
    // Runs of capitals (acronyms) keep their case; other capitals inside a
    // name become lower case words.
    const bool acronym =
        upper && (prevUpper ||
                  (i + 1 < name.size() && std::isupper(static_cast<unsigned char>(name[i + 1]))));
    words += upper && !acronym && !words.empty() ? static_cast<char>(std::tolower(u)) : c;
  }
  if (!words.empty())
    words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
  return words.empty() ? std::string(elementName) : words;
}

std::string RenderRecordSections(std::string_view xml, std::size_t maxNodes) {
  pugi::xml_document doc;
  if (!doc.load_buffer(xml.data(), xml.size(), pugi::parse_default)) {
    return "<p class=\"note\">This record is not well-formed XML; the download below holds it as "
           "stored.</p>\n";
  }
  const pugi::xml_node root = doc.document_element();
  Drawing d;
  d.max = maxNodes;
  std::string out;
  for (const pugi::xml_node& part : root.children()) {
    if (part.type() != pugi::node_element) continue;
    if (d.drawn >= d.max) {
      d.cut = true;
      break;
    }
    ++d.drawn;
    const pugi::xml_node node = Unwrap(part);
    std::string body;
    if (!HasElements(node)) {
      const std::string value = LeafValue(node);
      if (!value.empty()) body = "<p>" + Value(value) + "</p>\n";
    } else {
      std::string inner;
      DrawList(node, 1, &d, &inner);
      if (!inner.empty()) body = "<dl>" + inner + "</dl>\n";
    }
    if (body.empty()) continue;
    out += "<section class=\"part\">\n<h3>" + Escape(LabelFor(part.name())) + "</h3>\n" + body +
           "</section>\n";
  }
  if (d.cut) {
    out += "<p class=\"note\">The record goes on; the XML download holds all of it.</p>\n";
  }
  if (out.empty()) out = "<p class=\"note\">This record holds no values.</p>\n";
  return out;
}

}  // namespace metashelf::pages

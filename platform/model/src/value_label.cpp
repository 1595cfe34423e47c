// Writing and reading the value label document.
#include "value_label.h"

#include <cstdlib>
#include <cstring>
#include <pugixml.hpp>

#include "xml_text.h"

namespace metashelf::model {

std::string WriteValueLabel(const ValueLabel& label) {
  if (label.Empty()) return "";
  std::string out = "<label";
  if (!label.encoding.empty()) {
    out += " encoding=\"";
    AppendEscaped(label.encoding, ValueContext::kAttrDouble, false, out);
    out += '"';
  }
  if (label.bom) out += " bom=\"1\"";
  if (label.crlf) out += " eol=\"crlf\"";
  if (label.noProlog) out += " prolog=\"none\"";
  out += '>';
  for (const auto& [key, raw] : label.raws) {
    out += "<raw tag=\"";
    out += std::to_string(static_cast<std::int32_t>(key >> 32));
    out += "&lt;";
    out += std::to_string(static_cast<std::int32_t>(key & 0xFFFFFFFFu));
    out += "\">";
    // Written as character data: a character reference keeps each carriage
    // return, and the blanks at the edges stay exactly as they are.
    AppendEscaped(raw, ValueContext::kText, false, out);
    out += "</raw>";
  }
  out += "</label>";
  return out;
}

bool ReadValueLabel(const std::string& text, ValueLabel& label) {
  label = ValueLabel{};
  std::size_t first = 0;
  while (first < text.size() && IsXmlSpace(text[first])) ++first;
  if (first == text.size()) return true;
  pugi::xml_document doc;
  if (!doc.load_buffer(text.data(), text.size(), pugi::parse_escapes | pugi::parse_ws_pcdata,
                       pugi::encoding_utf8))
    return false;
  const pugi::xml_node root = doc.child("label");
  if (!root) return false;
  label.encoding = root.attribute("encoding").value();
  label.bom = root.attribute("bom").as_bool();
  label.crlf = std::strcmp(root.attribute("eol").value(), "crlf") == 0;
  label.noProlog = std::strcmp(root.attribute("prolog").value(), "none") == 0;
  for (pugi::xml_node raw : root.children("raw")) {
    const char* tag = raw.attribute("tag").value();
    char* end = nullptr;
    const long long guid = std::strtoll(tag, &end, 10);
    if (end == tag || *end != '<') return false;
    const char* posText = end + 1;
    const long long position = std::strtoll(posText, &end, 10);
    if (end == posText || *end != '\0') return false;
    label.raws.emplace_back(
        TagKey(static_cast<std::int32_t>(guid), static_cast<std::int32_t>(position)),
        raw.text().get());
  }
  return true;
}

}  // namespace metashelf::model

// Rebuild: the structure document with its markers filled from the leaf
// nodes and the value label.
#include "rebuild.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "value_forms.h"
#include "value_label.h"
#include "xml_text.h"

namespace metashelf::model {
namespace {

bool ParseTag(const char* p, const char* end, std::int32_t& guid, std::int32_t& position) {
  // Tags are "guid<position", both signed decimal 32-bit numbers.
  auto number = [&](std::int32_t& out) {
    bool negative = false;
    if (p < end && *p == '-') {
      negative = true;
      ++p;
    }
    const char* digits = p;
    long long v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
      v = v * 10 + (*p - '0');
      if (v > 2147483648LL) return false;
      ++p;
    }
    if (p == digits) return false;
    v = negative ? -v : v;
    if (v > 2147483647LL) return false;
    out = static_cast<std::int32_t>(v);
    return true;
  };
  if (!number(guid)) return false;
  if (p >= end || *p != '<') return false;
  ++p;
  if (!number(position)) return false;
  return p == end;
}

// Whether the original form `raw` still stands for `value`.
bool RawMatches(const std::string& raw, const std::string& value, char kind) {
  if (kind == 'n' || kind == 'i') {
    std::string decoded;
    double a = 0, b = 0;
    return DecodeValue(raw, ValueContext::kText, decoded) && ParseNumber(decoded, a) &&
           ParseNumber(value, b) && a == b;
  }
  std::string decoded;
  const ValueContext context = kind == 'd' ? ValueContext::kText : static_cast<ValueContext>(kind);
  return DecodeValue(raw, context, decoded) && decoded == value;
}

bool Fill(const RecordParts& parts, std::string* xml, std::string& error) {
  ValueLabel label;
  if (!ReadValueLabel(parts.label, label)) {
    error = "the value label cannot be read";
    return false;
  }
  // Leaves usually come in marker order (as decomposition makes them); the
  // map is built only when one does not.
  std::unordered_map<std::uint64_t, const std::string*> values;
  bool mapped = false;
  std::size_t next = 0;
  auto keyOf = [](const CLeafNode& leaf) {
    std::int32_t guid = 0, position = 0;
    leaf.GetNodeGUID(guid);
    leaf.GetNodePosition(position);
    return TagKey(guid, position);
  };
  auto lookup = [&](std::uint64_t key) -> const std::string* {
    if (!mapped && next < parts.leaves.size() && keyOf(parts.leaves[next]) == key)
      return &parts.leaves[next++].Value();
    if (!mapped) {
      values.reserve(parts.leaves.size());
      for (const CLeafNode& leaf : parts.leaves) values[keyOf(leaf)] = &leaf.Value();
      mapped = true;
    }
    const auto found = values.find(key);
    return found == values.end() ? nullptr : found->second;
  };
  std::unordered_map<std::uint64_t, const std::string*> raws;
  raws.reserve(label.raws.size());
  for (const auto& [key, raw] : label.raws) raws[key] = &raw;

  const std::string& s = parts.structure;
  if (xml != nullptr) {
    xml->clear();
    xml->reserve(s.size() + parts.prolog.size() + 16 * parts.leaves.size() + 4);
    if (label.bom) *xml += "\xEF\xBB\xBF";
    if (!label.noProlog) *xml += parts.prolog;
  }
  std::size_t at = 0;
  std::string number;
  while (at < s.size()) {
    const char* open =
        static_cast<const char*>(std::memchr(s.data() + at, kMarkerOpen, s.size() - at));
    const std::size_t markerAt = open == nullptr ? s.size() : open - s.data();
    if (xml != nullptr) xml->append(s, at, markerAt - at);
    if (open == nullptr) break;
    const char* close =
        static_cast<const char*>(std::memchr(open + 1, kMarkerClose, s.size() - markerAt - 1));
    if (close == nullptr || close - open < 2) {
      error = "broken marker in the structure document";
      return false;
    }
    const char kind = open[1];
    std::int32_t guid = 0, position = 0;
    if (!ParseTag(open + 2, close, guid, position) ||
        !(IsValueContext(kind) || kind == 'n' || kind == 'i' || kind == 'd')) {
      error = "broken marker in the structure document";
      return false;
    }
    const std::uint64_t key = TagKey(guid, position);
    const std::string* found = lookup(key);
    if (found == nullptr) {
      error = "no leaf node for tag " + std::string(open + 2, close);
      return false;
    }
    const std::string& value = *found;
    if (xml != nullptr) {
      const auto raw = raws.empty() ? raws.end() : raws.find(key);
      if (raw != raws.end() && RawMatches(*raw->second, value, kind)) {
        *xml += *raw->second;
      } else if (kind == 'n' || kind == 'i') {
        // The value of a number read back from storage may be written
        // differently from the original ("13.490195000" as 13.490195).
        double v = 0;
        std::string trimmed = value;
        while (!trimmed.empty() && IsXmlSpace(trimmed.back())) trimmed.pop_back();
        std::size_t lead = 0;
        while (lead < trimmed.size() && IsXmlSpace(trimmed[lead])) ++lead;
        if (ParseNumber(std::string_view(trimmed).substr(lead), v)) {
          *xml += FormatNumber(v, kind == 'i');
        } else {
          *xml += value;  // an empty stored number reads back empty
        }
      } else if (kind == 'd') {
        *xml += value;
      } else {
        AppendEscaped(value, static_cast<ValueContext>(kind), label.crlf, *xml);
      }
    }
    at = close - s.data() + 1;
  }
  return true;
}

}  // namespace

bool Rebuild(const RecordParts& parts, std::string& xml, std::string& error) {
  return Fill(parts, &xml, error);
}

bool CheckParts(const RecordParts& parts, std::string& error) {
  return Fill(parts, nullptr, error);
}

}  // namespace metashelf::model

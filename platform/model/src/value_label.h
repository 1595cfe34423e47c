// The value label: a small XML document kept beside the structure document
// that says what the rebuild needs beyond the leaf values:
//
//   <label encoding="ISO-8859-1" bom="1" eol="crlf" prolog="none">
//     <raw tag="1052&lt;3">1.50</raw>
//   </label>
//
// encoding  the encoding the record arrived in when it was not UTF-8
//           (informational; the record is stored and rebuilt as UTF-8);
// bom       the record began with a UTF-8 byte-order mark, written back;
// eol       line ends of the record are CR LF: line feeds inside leaf
//           values are written back as CR LF;
// prolog    the record had nothing before its root element (the prolog
//           document then holds a declaration that the rebuild leaves out);
// raw       the original form of one leaf value where the default writing
//           of the value would differ (a number "1.50" stored as 1.5,
//           "&#x41;" for "A", an unescaped ">"). Used only while the leaf
//           value still reads as the same value.
//
// A record that needs none of these has an empty value label.
#ifndef METASHELF_MODEL_VALUE_LABEL_H_
#define METASHELF_MODEL_VALUE_LABEL_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace metashelf::model {

inline std::uint64_t TagKey(std::int32_t guid, std::int32_t position) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(guid)) << 32) |
         static_cast<std::uint32_t>(position);
}

struct ValueLabel {
  std::string encoding;
  bool bom = false;
  bool crlf = false;
  bool noProlog = false;
  std::vector<std::pair<std::uint64_t, std::string>> raws;  // tag key, raw form

  bool Empty() const { return encoding.empty() && !bom && !crlf && !noProlog && raws.empty(); }
};

// "" for an empty label.
std::string WriteValueLabel(const ValueLabel& label);
// An empty text gives an empty label. False for a text that is not a label.
bool ReadValueLabel(const std::string& text, ValueLabel& label);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_VALUE_LABEL_H_

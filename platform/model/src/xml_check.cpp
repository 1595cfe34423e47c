// UTF-8 and well-formedness of rebuilt records: the bytes first, then the
// record reader itself (so that exactly what it accepts passes).
#include "xml_check.h"

#include <vector>

#include "decompose.h"

namespace metashelf::model {

bool WellFormedUtf8Xml(std::string_view xml, std::string* reason) {
  std::size_t where = 0;
  if (!IsXmlUtf8(xml.data(), xml.size(), where)) {
    *reason = "byte " + std::to_string(where) + " is not UTF-8 text";
    return false;
  }
  // The reader that accepted the record on its way in, against no schema:
  // what it stored comes back through it, a damaged rebuild does not.
  DecodedText text;
  RecordParts parts;
  std::vector<ValidationIssue> issues;
  std::string error;
  if (!DecodeRecordBytes(xml.data(), xml.size(), text, error) ||
      !Decompose(nullptr, text, parts, issues, error)) {
    *reason = "not well-formed XML: " + error;
    return false;
  }
  return true;
}

}  // namespace metashelf::model

// The parts a record is stored as: the structure document, the prolog, the
// value label and the leaf nodes; and the markers that stand for leaf
// values inside the structure document.
//
// A marker is  \x01 <kind> <guid> '<' <position> \x02 . The two control
// characters cannot occur in XML 1.0 or 1.1 text, so a marker is never
// confused with record content. <kind> says how the value is written back:
// 't' character data, 'c' the content of a CDATA section, 'a' / 'q' an
// attribute value between double / single quotes, 'n' a number, 'i' a whole
// number of an integer-typed node, 'd' a YYYY-MM-DD date.
#ifndef METASHELF_MODEL_RECORD_PARTS_H_
#define METASHELF_MODEL_RECORD_PARTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/model.h"

namespace metashelf::model {

constexpr char kMarkerOpen = '\x01';
constexpr char kMarkerClose = '\x02';

struct RecordParts {
  std::string structure;
  std::string prolog;
  std::string label;
  std::vector<CLeafNode> leaves;
};

// The node tag of a leaf: "guid<position".
std::string NodeTag(std::int32_t guid, std::int32_t position);

}  // namespace metashelf::model

struct CBaseMetaData::Impl {
  metashelf::model::RecordParts parts;
  std::int64_t metaId = 0;
  std::vector<ValidationIssue> issues;
  RecordFit fit;
  std::string error;
  bool consistent = false;  // the parts rebuild a record
};

#endif  // METASHELF_MODEL_RECORD_PARTS_H_

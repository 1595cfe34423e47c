// A record taken apart into the rows the set stores: its three documents
// and one routed value per leaf node. Taking a record apart checks every
// value first, so a record that cannot be stored whole is refused before
// any row of it is written.
#ifndef METASHELF_SRC_DATASET_RECORD_ROWS_H_
#define METASHELF_SRC_DATASET_RECORD_ROWS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "metashelf/model.h"

class COraMetaSetOper;

namespace metashelf {
namespace dataset {

struct NodeRow {
  std::int32_t guid = -1;
  std::int32_t position = -1;
  short tableType = -1;  // 1 text, 2 number, 3 date
  std::string value;     // text and date values
  bool isNull = false;   // a number node with an empty value
  double number = 0;     // number values
};

struct RecordRows {
  std::string structInfo;
  std::string prolog;
  std::string label;
  std::vector<NodeRow> nodes;  // only nodes the schema routes to a table
};

// Takes `record` apart along `schema`. False when the structure or prolog
// document is empty, or a value cannot be held by its table: a text over
// 4000 bytes, a number node's value that is not a number (blanks around it
// aside), a date node's value that is not an empty text or a real
// YYYY-MM-DD date. Nodes that the schema does not know, or whose table
// type is none of 1-3, are left out. Memory running out throws (std::bad_alloc):
// it is called under the guard of the set's write, which answers 0.
bool ExtractRecord(const CBaseMetaData& record, const CSchema* schema, RecordRows* rows);

// Writes the rows of one record under `metaID`: the structure row with its
// documents (the value label only when it is not empty), then each node in
// list order. Stops at the first statement that fails and returns false.
bool WriteRecordRows(COraMetaSetOper& oper, std::int32_t mdsID, std::int64_t metaID,
                     const RecordRows& rows);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_RECORD_ROWS_H_

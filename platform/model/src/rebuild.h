// Rebuilding a record's XML text from its stored parts.
#ifndef METASHELF_MODEL_REBUILD_H_
#define METASHELF_MODEL_REBUILD_H_

#include <string>

#include "record_parts.h"

namespace metashelf::model {

// Writes the record: the byte-order mark if the label keeps one, the prolog
// (unless the label says the record had none), then the structure document
// with each marker replaced by its leaf's value, written in its original
// form when the label keeps one that still reads as the same value, else in
// the default form of its place. Fails with `error` set when a marker has no
// leaf or the label cannot be read.
bool Rebuild(const RecordParts& parts, std::string& xml, std::string& error);

// Checks that the parts fit together (every marker has its leaf and the
// label can be read) without writing anything.
bool CheckParts(const RecordParts& parts, std::string& error);

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_REBUILD_H_

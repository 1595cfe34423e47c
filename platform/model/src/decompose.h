// Decomposition of a record's UTF-8 text into its stored parts.
#ifndef METASHELF_MODEL_DECOMPOSE_H_
#define METASHELF_MODEL_DECOMPOSE_H_

#include <string>
#include <vector>

#include "metashelf/model.h"
#include "record_parts.h"
#include "schema_impl.h"
#include "text_codec.h"

namespace metashelf::model {

// Checks that `text` is a well-formed XML record and splits it: the prolog
// (everything before the root element, the declaration's encoding rewritten
// to UTF-8 when the record was converted), the structure document (the rest,
// with every value the schema knows and its node's table type can hold
// replaced by a marker) and the leaf nodes; the value label keeps what the
// rebuild needs beyond that. Values of known nodes that stay inline are
// listed in `issues`. Entities other than the predefined ones are never
// expanded, and nothing outside the text is ever read. A null `model`
// decomposes against an empty schema. `fit` names the root element and
// counts the non-blank values that no schema node can hold, by path.
// Returns false with `error` set for text that is not well-formed XML.
bool Decompose(const SchemaModel* model, const DecodedText& text, RecordParts& parts,
               std::vector<ValidationIssue>& issues, RecordFit& fit, std::string& error);
inline bool Decompose(const SchemaModel* model, const DecodedText& text, RecordParts& parts,
                      std::vector<ValidationIssue>& issues, std::string& error) {
  RecordFit fit;
  return Decompose(model, text, parts, issues, fit, error);
}

}  // namespace metashelf::model

#endif  // METASHELF_MODEL_DECOMPOSE_H_

// The attachment row of one record, for the write path: deleting a record
// removes its attachment in the same unit of work.
#ifndef METASHELF_SRC_DATASET_ATTACHMENT_ROWS_H_
#define METASHELF_SRC_DATASET_ATTACHMENT_ROWS_H_

#include <cstdint>

struct MdsContext;

namespace metashelf {
namespace dataset {

// Deletes `metaID`'s row of META_ADDITIONAL_<id>. True when the statement
// succeeded (no row to delete is fine).
bool DeleteAttachment(const MdsContext& ctx, std::int64_t metaID);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_ATTACHMENT_ROWS_H_

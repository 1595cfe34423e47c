// Whether a set holds a record: a set reads, replaces, deletes and attaches
// to its own records only, never to one registered under another
// collection (whose tables would then hold rows of a record they do not
// list, or lose rows of one they do).
#ifndef METASHELF_SRC_DATASET_RECORD_OWNERSHIP_H_
#define METASHELF_SRC_DATASET_RECORD_OWNERSHIP_H_

#include <cstdint>

struct MdsContext;

namespace metashelf {
namespace dataset {

// True when the catalog registers `metaID` under the set's collection.
// False when it does not, or when the lookup fails.
bool SetHoldsRecord(const MdsContext& ctx, std::int64_t metaID);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_RECORD_OWNERSHIP_H_

// When an import builds a collection's value indexes after its rows instead
// of keeping them up to date row by row. Whether that pays at all, and from
// how many records, is the backend's policy (MsGetValueIndexPolicy). The
// build covers the rows already there as well: on SQLite, into a collection
// of 10,000, 3,000 records take 3.3 s instead of 3.9, 1,000 take 2.2 s
// instead of 1.4. So it is chosen for imports of at least half as many
// records as the collection holds.
#ifndef METASHELF_TOOLS_INDEX_PLAN_H_
#define METASHELF_TOOLS_INDEX_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "metashelf/value_indexes.h"

namespace metashelf::cli {

enum class ValueIndexMode { kAuto, kAfter, kInPlace };

// The names of --value-indexes: "auto", "after", "in-place".
bool ParseValueIndexMode(std::string_view text, ValueIndexMode* mode);

// True when an import of `incoming` records into a collection of `existing`
// records builds the value indexes after its rows: always for kAfter, never
// for kInPlace; for kAuto when the backend's `policy` says it pays from
// some size on, `incoming` reaches it and is at least half of `existing`.
bool BuildValueIndexesAfter(ValueIndexMode mode, const MsValueIndexPolicy& policy,
                            std::size_t incoming, std::int64_t existing);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_INDEX_PLAN_H_

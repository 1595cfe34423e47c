// When an import builds a collection's value indexes after its rows instead
// of keeping them up to date row by row. On SQLite an index built once over
// the rows costs far less than inserting into it row by row (10,000
// records into an empty collection: 8 s instead of 14), but the build
// covers the rows already there as well: into a collection of 10,000,
// 3,000 records take 3.3 s instead of 3.9, 1,000 take 2.2 s instead of
// 1.4. So it is chosen for imports of at least half as many records as the
// collection holds. On PostgreSQL it gains nothing measurable, so the
// indexes stay in place there unless asked.
#ifndef METASHELF_TOOLS_INDEX_PLAN_H_
#define METASHELF_TOOLS_INDEX_PLAN_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace metashelf::cli {

enum class ValueIndexMode { kAuto, kAfter, kInPlace };

// The names of --value-indexes: "auto", "after", "in-place".
bool ParseValueIndexMode(std::string_view text, ValueIndexMode* mode);

// Imports smaller than this keep the indexes in place: the gain is a
// fraction of a second and not worth two schema changes.
constexpr std::size_t kMinRecordsForIndexesAfter = 1000;

// True when an import of `incoming` records into a collection of `existing`
// records on `backend` ("sqlite", "postgresql") builds the value indexes
// after its rows: always for kAfter, never for kInPlace; for kAuto on
// SQLite when `incoming` is at least kMinRecordsForIndexesAfter and at
// least half of `existing`.
bool BuildValueIndexesAfter(ValueIndexMode mode, std::string_view backend, std::size_t incoming,
                            std::int64_t existing);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_INDEX_PLAN_H_

// The id query: runs a SELECT whose first column yields record ids and
// appends the ids to a caller's array, reading rowsets of 100 through one
// text column. Shared by SearchMetaData and COraMetaSetOper::QueryMetaIDs.
#ifndef METASHELF_SRC_SEARCH_ID_QUERY_H_
#define METASHELF_SRC_SEARCH_ID_QUERY_H_

#include <cstdint>

#include "metashelf/driver.h"
#include "metashelf/smart_array.h"

namespace metashelf {
namespace search {

// Rows per rowset, and bytes per row of the id text buffer: any 64-bit id
// (up to 20 characters with its sign) with room to spare and its NUL.
constexpr std::uint32_t kRowsetSize = 100;
constexpr std::int32_t kIdTextSize = 22;

// Runs `sql` on `hdbc` (prepare, rowset size 100, execute, column 1 bound
// as text) and appends one id per row, in delivery order. Returns 1 when
// the statement ran and every row was read (also for no rows). Returns 0
// when a buffer cannot be allocated, `sql` is null, or any driver call
// fails, fetches included; `ids` then holds what it held before.
std::int32_t RunIdQuery(gis_SQLHDBC_STRU* hdbc, const char* sql, CSmartArray<std::int64_t>& ids);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_ID_QUERY_H_

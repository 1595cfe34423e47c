// The parameter and column bindings of the catalog's statements, with the
// type codes and lengths the catalog uses, the one-row one-column queries
// (counts, ids, names) most of its lookups are, and the one-id procedure
// call that stamps a row's modification time.
#ifndef METASHELF_SRC_CATALOG_CATALOG_BINDING_H_
#define METASHELF_SRC_CATALOG_CATALOG_BINDING_H_

#include <cstdint>
#include <functional>
#include <string>

#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace catalog {

// Input parameters: integers 3/3 length 4; texts 5/5 with length strlen + 1.
// The indicator is set to 0 before the call.
std::int16_t BindInt(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                     std::int16_t* indicator);
std::int16_t BindText(gis_SQLHSTMT stmt, std::uint16_t number, const char* text,
                      std::int16_t* indicator);

// Result columns: integers type 3 length 4; texts type 5 with the buffer's
// size; dates type 156 with the given length.
std::int16_t BindIntCol(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                        std::int16_t* indicator);
std::int16_t BindTextCol(gis_SQLHSTMT stmt, std::uint16_t number, char* buffer, std::int32_t size,
                         std::int16_t* indicator);
std::int16_t BindDateCol(gis_SQLHSTMT stmt, std::uint16_t number, void* buffer, std::int32_t length,
                         std::int16_t* indicator);

// Runs the query `sql` on `stmt` for one row of one column: prepare, bind
// column 1 (an integer, or text into `buffer` of `size` bytes), execute,
// fetch. 1 when the row came; 0 otherwise, with the diagnostic drained. A
// prepare that does not return exactly 0 runs nothing.
std::int32_t FetchOneInt(const db::Statement& stmt, const std::string& sql, std::int32_t* value);
std::int32_t FetchOneText(const db::Statement& stmt, const std::string& sql, char* buffer,
                          std::int32_t size);

// Runs the query `sql` on `stmt` and hands the integer of each row's one
// column to `add`, in the rows' order. 1 when the rows ran out (a complete
// list); 0 otherwise, with the diagnostic drained. A failed prepare or
// execution is drained at once: fetching from it would only replace its
// reason with the driver's complaint that no rows are open.
std::int32_t FetchIntRows(const db::Statement& stmt, const std::string& sql,
                          const std::function<void(std::int32_t)>& add);

// Runs "BEGIN <owner>.<call>END; " on a statement of its own, with `id`
// bound as the call's one integer parameter, e.g. call
// "KRPG_MD.schema_UpdateTime(:1);". 1 when the execution succeeded; 0
// otherwise, with the diagnostic drained. The prepare's own result is not
// looked at: a call that did not prepare fails at execution and is drained
// there.
std::int32_t RunIdProcedure(const MtdbContext& ctx, const char* call, std::int32_t id);

}  // namespace catalog
}  // namespace metashelf

#endif  // METASHELF_SRC_CATALOG_CATALOG_BINDING_H_

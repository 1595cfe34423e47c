// The registration lookup behind SetHoldsRecord: one count over the
// catalog's record registry.
#include "dataset/record_ownership.h"

#include <cinttypes>

#include "dataset/mds_context.h"
#include "dataset/sql_text.h"
#include "db/statement.h"

namespace metashelf {
namespace dataset {

bool SetHoldsRecord(const MdsContext& ctx, std::int64_t metaID) {
  db::Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return false;
  const std::string sql =
      Format("SELECT COUNT(*) FROM %s.KRDB_META_INFO WHERE META_ID=%" PRId64 " AND COL_ID=%d",
             ctx.owner, metaID, ctx.mdsID);
  std::int32_t count = 0;
  std::int16_t indicator = 0;
  if (!db::Succeeded(gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_INT, &count, 4, &indicator)) ||
      !db::Succeeded(gis_SQLExecute(stmt.get())) || !db::Succeeded(gis_SQLFetch(stmt.get()))) {
    stmt.DrainError();
    return false;
  }
  return indicator != -1 && count == 1;
}

}  // namespace dataset
}  // namespace metashelf

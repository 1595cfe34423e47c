// Schema node identifiers from the catalog sequence KRSQ_SCHEMANODEID. A
// block of n identifiers is reserved by one draw (f), then the increment is
// set to n - 1 and one draw taken (f + n - 1), then back to 1 with one more
// draw (f + n): the block f .. f + n - 1 is handed out and the next block
// starts at f + n + 1.
#include <string>
#include <vector>

#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadatabase.h"

using metashelf::db::Statement;

void COraMetaDataBase::OraGenGuid(int count, std::vector<std::int64_t>& ids) {
  // An empty request must not move the sequence backwards (increment -1).
  if (count < 1) return;
  std::int32_t first = 0;
  // Without a first value the block would start at 0 and repeat issued
  // identifiers; nothing is appended, so the parser sees a short block.
  if (GenerateNodeID(&first) != 1) return;
  for (int i = 0; i < count; ++i) ids.push_back(static_cast<std::int64_t>(first) + i);
  SetNextSeqValue(count - 1);
  SetNextSeqValue(1);
}

std::int32_t COraMetaDataBase::GenerateNodeID(std::int32_t* id) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (id == nullptr) return 0;
    *id = 0;
    const std::string sql =
        "SELECT " + std::string(ctx_->owner) + ".KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL";
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    std::int16_t indicator = 0;
    if (gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS ||
        gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_INT, id, 4, &indicator) != GIS_SQL_SUCCESS ||
        gis_SQLExecute(stmt.get()) != GIS_SQL_SUCCESS ||
        gis_SQLFetch(stmt.get()) != GIS_SQL_SUCCESS) {
      stmt.DrainError();
      return 0;
    }
    return *id >= 0 ? 1 : 0;
  });
}

void COraMetaDataBase::SetNextSeqValue(std::int32_t increment) {
  bool changed = false;
  {
    const std::string sql = "ALTER SEQUENCE " + std::string(ctx_->owner) +
                            ".KRSQ_SCHEMANODEID INCREMENT BY " + std::to_string(increment);
    Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return;
    changed = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS &&
              gis_SQLExecute(stmt.get()) == GIS_SQL_SUCCESS;
    if (!changed) stmt.DrainError();
  }
  // The new increment takes effect with the next draw, which is spent here.
  std::int32_t discarded = 0;
  if (changed) GenerateNodeID(&discarded);
}

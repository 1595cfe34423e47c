// Schema node identifiers from the catalog sequence KRSQ_SCHEMANODEID. A
// block of n identifiers is reserved by one draw (f), then the increment is
// set to n - 1 and one draw taken (f + n - 1), then back to 1 with one more
// draw (f + n): the block f .. f + n - 1 is handed out and the next block
// starts at f + n + 1.
//
// Another host drawing between the first two draws takes a value inside
// f .. f + n - 1 and moves the second draw (d) past f + n - 1. The block is
// then f and the n - 1 values up to d, which the second draw reserved at
// once (the increment is the session's own where the database keeps it so).
// A block whose increment could not be changed is not reserved at all:
// nothing is handed out, and the parser that asked sees a short block.
#include <string>
#include <vector>

#include "catalog/catalog_access.h"
#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/ora_metadatabase.h"

using metashelf::db::Statement;

namespace {

// ALTER SEQUENCE ... INCREMENT BY `increment`; true when the database took
// it. The new increment takes effect with the next draw.
bool ChangeIncrement(COraMetaDataBase& catalog, std::int32_t increment) {
  MtdbContext& ctx = CatalogAccess::Context(catalog);
  bool changed = false;
  {
    const std::string sql = "ALTER SEQUENCE " + std::string(ctx.owner) +
                            ".KRSQ_SCHEMANODEID INCREMENT BY " + std::to_string(increment);
    Statement stmt(ctx.hdbc);
    if (!stmt.ok()) return false;
    changed = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS &&
              gis_SQLExecute(stmt.get()) == GIS_SQL_SUCCESS;
    if (!changed) stmt.DrainError();
  }
  return changed;
}

}  // namespace

void COraMetaDataBase::OraGenGuid(int count, std::vector<std::int64_t>& ids) {
  // An empty request must not move the sequence backwards (increment -1).
  if (count < 1) return;
  std::int32_t first = 0;
  // Without a first value the block would start at 0 and repeat issued
  // identifiers; nothing is appended, so the parser sees a short block.
  if (GenerateNodeID(&first) != 1) return;
  std::int32_t last = 0;
  const bool moved = ChangeIncrement(*this, count - 1) && GenerateNodeID(&last) == 1;
  SetNextSeqValue(1);
  // A block of one asks for an increment of 0, which the database refuses:
  // its one value is the first draw.
  if (count == 1) {
    ids.push_back(first);
    return;
  }
  // The first draw and the count - 1 values the second draw moved past are
  // this host's: f .. f + n - 1 when nobody drew in between.
  const std::int64_t rest = static_cast<std::int64_t>(last) - (count - 1) + 1;
  if (!moved || rest <= first) return;
  ids.push_back(first);
  for (std::int64_t id = rest; id <= last; ++id) ids.push_back(id);
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
  // The draw that puts the new increment into effect is spent here.
  std::int32_t discarded = 0;
  if (ChangeIncrement(*this, increment)) GenerateNodeID(&discarded);
}

// FindMtdbByMds: the catalog id of the schema a collection follows, asked
// on the host database object's own connection without a catalog handle.
#include <cstdio>
#include <cstring>

#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/host_database.h"
#include "metashelf/metashelf.h"

using metashelf::db::Succeeded;

extern "C" std::int32_t FindMtdbByMds(CBas_GDataBase* database, std::int32_t colID) {
  if (database == nullptr) return 0;
  Cora_IConnection* connection = database->db_GetConnection();
  if (connection == nullptr) return 0;
  gis_SQLHDBC_STRU* hdbc = connection->GetHandle(0, -1, 0, 0);

  // The owner is taken whole or not at all: a cut name would name another
  // user's tables.
  const char* name = database->db_GetOwner();
  if (name == nullptr) return 0;
  char owner[kOwnerSize];
  const std::size_t length = strnlen(name, sizeof owner);
  if (length >= sizeof owner) return 0;
  std::memcpy(owner, name, length);
  owner[length] = '\0';

  char sql[256];
  std::snprintf(sql, sizeof sql,
                "select mtdb_id from %s.krdb_meta_schema a,%s.krdb_meta_set b where "
                "a.schema_id=b.schema_id and col_id=%d",
                owner, owner, static_cast<int>(colID));

  std::int32_t mtdbID = 0;
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  std::int16_t indicator = 0;
  std::int16_t rc = gis_SQLPrepare(stmt.get(), sql, GIS_SQL_NTS);
  if (rc == GIS_SQL_SUCCESS)
    rc = gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_INT, &mtdbID, 4, &indicator);
  if (rc == GIS_SQL_SUCCESS) rc = gis_SQLExecute(stmt.get());
  if (rc == GIS_SQL_SUCCESS) rc = gis_SQLFetch(stmt.get());
  if (!Succeeded(rc)) stmt.DrainError();
  return mtdbID;
}

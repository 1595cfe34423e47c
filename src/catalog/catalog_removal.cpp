// Removal of a whole catalog: its schemas, then the catalog itself through
// the host's database object, refused while any schema has a collection.
// The whole removal is one unit of work: a schema that cannot be removed
// leaves the catalog as it was.
#include "catalog/mtdb_context.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/host_database.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/smart_array.h"

std::int32_t COraMetaDataBase::mtdb_Remove(CBas_GDataBase* database, std::int32_t mtdbID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (database == nullptr) return 0;
    // Without the named catalog open the handle could still point at another
    // one, whose schemas must never be touched.
    if (mtdb_Open(database, mtdbID, 1) != 1) return 0;

    CSmartArray<std::int32_t> schemas;
    if (schema_GetIDList(schemas) != 1) {
      // An empty list is only believed when the catalog really has no schema.
      std::int32_t count = -1;
      if (schema_GetNum(&count) != 1 || count != 0) return 0;
    }

    CSmartArray<std::int32_t> collections;
    for (std::int32_t i = 0; i < schemas.GetSize(); ++i) {
      // A list that could not be read may hide collections: nothing is deleted.
      if (mds_GetIDList(collections, schemas[i]) != 1) return 0;
      if (collections.GetSize() > 0) return 0;
    }

    metashelf::db::Unit unit(ctx_->hdbc);
    if (!unit.ok()) return 0;
    for (std::int32_t i = 0; i < schemas.GetSize(); ++i) {
      if (schema_Del(schemas[i]) != 1) return 0;
    }
    if (database->db_DeleteMtdb(mtdbID) != 1) return 0;
    return unit.Commit() ? 1 : 0;
  });
}

// The door from the catalog's own files into the handle.
#include "catalog/catalog_access.h"

#include "metashelf/ora_metadatabase.h"

MtdbContext& CatalogAccess::Context(COraMetaDataBase& catalog) {
  return *catalog.ctx_;
}

std::int32_t CatalogAccess::LobLength(COraMetaDataBase& catalog, std::int32_t* length,
                                      const char* table, const char* column, const char* keyColumn,
                                      std::int32_t key) {
  return catalog.GetLobLength(length, table, column, keyColumn, key);
}

std::int32_t CatalogAccess::StampSchema(COraMetaDataBase& catalog, std::int32_t schemaID) {
  return catalog.schema_UpdateTime(schemaID);
}

std::int32_t CatalogAccess::StampCollection(COraMetaDataBase& catalog, std::int32_t colID) {
  return catalog.mds_UpdateTime(colID);
}

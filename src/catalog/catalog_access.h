// The catalog's own files (and the search indexes, which find the host's
// database object through the catalog) reach the handle's context and its
// private helpers through this one door, so the public class keeps a single
// opaque member.
#ifndef METASHELF_SRC_CATALOG_CATALOG_ACCESS_H_
#define METASHELF_SRC_CATALOG_CATALOG_ACCESS_H_

#include <cstdint>
#include <string>

#include "catalog/mtdb_context.h"

class COraMetaDataBase;

struct CatalogAccess {
  static MtdbContext& Context(COraMetaDataBase& catalog);
  static std::int32_t LobLength(COraMetaDataBase& catalog, std::int32_t* length, const char* table,
                                const char* column, const char* keyColumn, std::int32_t key);
  // The private modification-time stamps, for the registries' update helpers.
  static std::int32_t StampSchema(COraMetaDataBase& catalog, std::int32_t schemaID);
  static std::int32_t StampCollection(COraMetaDataBase& catalog, std::int32_t colID);
};

namespace metashelf {
namespace catalog {

// owner + "." : the prefix of every catalog object name.
inline std::string Prefix(const MtdbContext& ctx) {
  return std::string(ctx.owner) + ".";
}

}  // namespace catalog
}  // namespace metashelf

#endif  // METASHELF_SRC_CATALOG_CATALOG_ACCESS_H_

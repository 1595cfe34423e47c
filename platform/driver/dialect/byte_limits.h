// The VARCHAR2(n) columns of the tables the library and the host make,
// which a table made before the byte check existed lacks: a collection's
// tables (named prefix + the collection's number) and the catalog's own
// tables (one of each per owner). New tables are made with the check; the
// host adds it to older ones when it opens a database that may be written.
#ifndef METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_
#define METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_

#include <cstring>

namespace metashelf {
namespace driver {
namespace dialect {

struct ByteLimitedColumn {
  const char* table;   // upper case: the table's name, or with `numbered` its prefix
  bool numbered;       // tables named `table` + a collection's number
  const char* column;  // upper case
  int bytes;
};

constexpr ByteLimitedColumn kByteLimitedColumns[] = {
    {"META_NDTEXT_", true, "NODEVALUE", 4000},  // a record's text values
    {"MS_DATE_", true, "LO", 10},               // a record's dates in the search index
    {"MS_DATE_", true, "HI", 10},
    // The catalog's tables. OWNER holds any owner name the host accepts
    // (under 32 characters, all ASCII).
    {"KRDB_META_SCHEMA", false, "SCHEMA_NAME", 128},
    {"KRDB_META_SCHEMA", false, "OWNER", 31},
    {"KRDB_META_SCHEMA", false, "REMARK", 512},
    {"KRDB_META_SET", false, "COL_NAME", 128},
    {"KRDB_META_SET", false, "OWNER", 31},
    {"KRDB_META_SET", false, "REMARK", 512},
    {"KRDB_META_INFO", false, "OWNER", 31},
    {"KRDB_META_INFO", false, "REMARK", 512},
};

// The byte limit of a catalog table's column, 0 when it has none.
inline int CatalogByteLimit(const char* table, const char* column) {
  for (const ByteLimitedColumn& c : kByteLimitedColumns) {
    if (!c.numbered && std::strcmp(c.table, table) == 0 && std::strcmp(c.column, column) == 0) {
      return c.bytes;
    }
  }
  return 0;
}

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_

// The VARCHAR2(n) columns of the tables the library makes, which a table
// made before the byte check existed lacks (tables of the kind are named
// prefix + a number). The host adds the check to such tables when it opens
// a database that may be written.
#ifndef METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_
#define METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_

namespace metashelf {
namespace driver {
namespace dialect {

struct ByteLimitedColumn {
  const char* tablePrefix;  // upper case, before the collection's number
  const char* column;       // upper case
  int bytes;
};

constexpr ByteLimitedColumn kByteLimitedColumns[] = {
    {"META_NDTEXT_", "NODEVALUE", 4000},  // a record's text values
    {"MS_DATE_", "LO", 10},               // a record's dates in the search index
    {"MS_DATE_", "HI", 10},
};

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_BYTE_LIMITS_H_

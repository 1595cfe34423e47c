// The statement exchanges shared by documents and attachments: writing a
// whole value into a BLOB column through a locator, reading a LOB's length,
// and reading a whole LOB in one fetch. Each works on a statement the
// caller allocated and frees.
#ifndef METASHELF_SRC_DATASET_LOB_IO_H_
#define METASHELF_SRC_DATASET_LOB_IO_H_

#include <cstdint>
#include <string>

#include "metashelf/driver.h"

namespace metashelf {
namespace dataset {

// Prepares `selectForUpdate` (one BLOB column), binds column 1 as a
// locator, executes, fetches the row and puts all `length` bytes of `data`
// in one call. Prepare and bind must return 0, execute and fetch 0 or 1
// (100, no row, fails), the put 0. True when the bytes were written.
bool PutBlob(gis_SQLHSTMT stmt, const std::string& selectForUpdate, const char* data,
             std::int32_t length);

// Prepares `lengthQuery` (one integer column), binds it to `*length`,
// executes and fetches; each call must return exactly 0.
bool ReadLobLength(gis_SQLHSTMT stmt, const std::string& lengthQuery, std::int32_t* length);

// Prepares `select` (one LOB column), binds it as long binary into
// `buffer` of `length` bytes, executes and fetches; each must return
// exactly 0.
bool ReadLob(gis_SQLHSTMT stmt, const std::string& select, char* buffer, std::int32_t length);

}  // namespace dataset
}  // namespace metashelf

#endif  // METASHELF_SRC_DATASET_LOB_IO_H_

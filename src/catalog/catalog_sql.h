// Small pieces shared by the catalog's statements: quoted literals, decimal
// id texts, the parameter and column bindings with the type codes the
// catalog uses, and text copies cut to a caller's buffer.
#ifndef METASHELF_SRC_CATALOG_CATALOG_SQL_H_
#define METASHELF_SRC_CATALOG_CATALOG_SQL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/driver.h"

class COraMetaDataBase;

namespace metashelf {
namespace catalog {

// `text` between single quotes with every quote inside doubled, so that no
// name can end the literal early and change the statement.
std::string Quoted(const char* text);

// owner + "." : the prefix of every catalog object name.
inline std::string Prefix(const MtdbContext& ctx) {
  return std::string(ctx.owner) + ".";
}

// A record id as the procedures take it: decimal text in a cleared buffer
// that holds any 64-bit value with its sign and NUL.
struct IdText {
  explicit IdText(std::int64_t id);
  char text[21];
};

// Input parameters: integers 3/3 length 4; texts 5/5 with length strlen + 1.
// The indicator is set to 0 before the call.
std::int16_t BindInt(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                     std::int16_t* indicator);
std::int16_t BindText(gis_SQLHSTMT stmt, std::uint16_t number, const char* text,
                      std::int16_t* indicator);

// Result columns: integers type 3 length 4; texts type 5 with the buffer's
// size; dates type 156 with the given length.
std::int16_t BindIntCol(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                        std::int16_t* indicator);
std::int16_t BindTextCol(gis_SQLHSTMT stmt, std::uint16_t number, char* buffer, std::int32_t size,
                         std::int16_t* indicator);
std::int16_t BindDateCol(gis_SQLHSTMT stmt, std::uint16_t number, void* buffer, std::int32_t length,
                         std::int16_t* indicator);

// Runs the query `sql` on `stmt` for one row of one column: prepare, bind
// column 1 (an integer, or text into `buffer` of `size` bytes), execute,
// fetch. 1 when the row came; 0 otherwise, with the diagnostic drained. A
// prepare that does not return exactly 0 runs nothing.
std::int32_t FetchOneInt(const db::Statement& stmt, const std::string& sql, std::int32_t* value);
std::int32_t FetchOneText(const db::Statement& stmt, const std::string& sql, char* buffer,
                          std::int32_t size);

// Copies `src` into `dst` (of `size` bytes) with its NUL, cut to size - 1
// bytes at a UTF-8 character boundary. Does nothing when size < 1.
void CopyCut(char* dst, std::size_t size, const char* src);

}  // namespace catalog
}  // namespace metashelf

// The catalog's own files reach the handle's context and its private
// helpers through this one door.
struct CatalogAccess {
  static MtdbContext& Context(COraMetaDataBase& catalog);
  static std::int32_t LobLength(COraMetaDataBase& catalog, std::int32_t* length, const char* table,
                                const char* column, const char* keyColumn, std::int32_t key);
};

#endif  // METASHELF_SRC_CATALOG_CATALOG_SQL_H_

// The statement driver: an ODBC-shaped call interface with Oracle OCI type
// codes, over whichever backend a connection was opened on (SQLite,
// PostgreSQL, or the scripted backend of the tests).
//
// Result codes: 0 success, 1 success with information, 100 no (more) rows,
// 99 more data expected (gis_SQLParamData), negative values failures. No call
// throws; every bad argument gives an error code.
#ifndef METASHELF_DRIVER_H_
#define METASHELF_DRIVER_H_

#include <cstdint>

#include "metashelf/export.h"

namespace metashelf {
namespace driver {
class Connection;
class StatementHandle;
}  // namespace driver
}  // namespace metashelf

// The connection handle record. A host database object owns it; statements
// are allocated on it. A null handle stands for "no connection".
struct gis_SQLHDBC_STRU {
  metashelf::driver::Connection* connection;
};

typedef metashelf::driver::StatementHandle* gis_SQLHSTMT;

enum : std::int16_t {
  GIS_SQL_SUCCESS = 0,
  GIS_SQL_SUCCESS_WITH_INFO = 1,
  GIS_SQL_NEED_DATA = 99,
  GIS_SQL_NO_DATA = 100,
  GIS_SQL_ERROR = -1,
  GIS_SQL_INVALID_HANDLE = -2,
};

// Length argument meaning "the text is NUL-terminated".
enum : std::int32_t { GIS_SQL_NTS = -3 };

// OCI external type codes used for parameters and columns.
enum : std::int16_t {
  GIS_TYPE_INT = 3,       // std::int32_t, 4 bytes
  GIS_TYPE_FLOAT = 4,     // double, 8 bytes
  GIS_TYPE_STRING = 5,    // NUL-terminated text, cut to the buffer with its NUL
  GIS_TYPE_LONGRAW = 24,  // long binary: bytes into the buffer
  GIS_TYPE_BLOB = 113,    // BLOB locator / whole document parameter
  GIS_TYPE_DATE = 156,    // OCIDate
};

// Statement options and fetch orientation.
enum : std::uint16_t {
  GIS_SQL_ROWSET_SIZE = 9,
  GIS_SQL_FETCH_NEXT = 1,
  GIS_SQL_CLOSE = 0,
  GIS_SQL_DROP = 1,
};

extern "C" {

// Allocates a statement on `hdbc` into `*stmt`. Fails (negative, `*stmt`
// set to null when `stmt` is not null) on a null handle or a handle whose
// connection is closed.
METASHELF_API std::int16_t gis_SQLAllocStmt(gis_SQLHDBC_STRU* hdbc, gis_SQLHSTMT* stmt);

METASHELF_API std::int16_t gis_SQLPrepare(gis_SQLHSTMT stmt, const char* text, std::int32_t length);
METASHELF_API std::int16_t gis_SQLExecute(gis_SQLHSTMT stmt);
METASHELF_API std::int16_t gis_SQLExecDirect(gis_SQLHSTMT stmt, const char* text, std::int32_t length);

// Binds placeholder `number` (from 1). `io` is 1 (input). `indicator` may be
// null; a value of -1 in it binds NULL.
METASHELF_API std::int16_t gis_SQLBindParameter(gis_SQLHSTMT stmt, std::uint16_t number,
                                                std::int16_t io, std::int16_t valueType,
                                                std::int16_t dbType, std::uint32_t columnSize,
                                                std::int16_t digits, void* buffer,
                                                std::int32_t bufferLength,
                                                std::int16_t* indicator);

// Binds result column `number` (from 1). For rowset fetches the buffer is an
// array of rowset-size elements of `bufferLength` bytes each.
METASHELF_API std::int16_t gis_SQLBindCol(gis_SQLHSTMT stmt, std::uint16_t number,
                                          std::int16_t type, void* buffer,
                                          std::int32_t bufferLength, std::int16_t* indicator);

METASHELF_API std::int16_t gis_SQLFetch(gis_SQLHSTMT stmt);
METASHELF_API std::int16_t gis_SQLSetStmtOption(gis_SQLHSTMT stmt, std::uint16_t option,
                                                std::uint32_t value);
METASHELF_API std::int16_t gis_SQLExtendedFetch(gis_SQLHSTMT stmt, std::uint16_t orientation,
                                                std::int32_t offset, std::uint32_t* rowCount,
                                                std::uint16_t* rowStatus);
METASHELF_API std::int16_t gis_SQLParamData(gis_SQLHSTMT stmt, void** token);
METASHELF_API std::int16_t gis_SQLPutData(gis_SQLHSTMT stmt, const void* data, std::int32_t length);

// Option 0 closes the cursor and keeps the handle; option 1 releases the
// handle (it must not be used again).
METASHELF_API std::int16_t gis_SQLFreeStmt(gis_SQLHSTMT stmt, std::uint16_t option);

// Copies the last failure of `stmt`: a five-character state (6 bytes with
// the NUL), the backend's native code and up to `messageMax` bytes of message.
METASHELF_API std::int16_t gis_SQLError(void* henv, void* hdbc, gis_SQLHSTMT stmt,
                                        char* state, std::int32_t* nativeError,
                                        char* message, std::int16_t messageMax,
                                        std::int16_t* messageLength);
}

#endif  // METASHELF_DRIVER_H_

// The statement driver: an ODBC-shaped call interface with Oracle OCI type
// codes, over whichever backend a connection was opened on (SQLite,
// PostgreSQL, or the scripted backend of the tests).
//
// Result codes: 0 success, 1 success with information, 100 no (more) rows,
// 99 more data expected (gis_SQLParamData), negative values failures. No call
// throws; every bad argument gives an error code.
//
// What holds for every call:
// - -2 (GIS_SQL_INVALID_HANDLE) for a null statement or connection handle;
//   every other failure is -1 (or the code a test's fault injector chose),
//   and its diagnostic is kept for gis_SQLError on the statement.
// - Buffers passed in stay the caller's. Bound buffers and indicators are
//   remembered, not copied: parameters are read when the statement runs,
//   columns written by each fetch, so they must live until then.
// - Statements use Oracle's dialect and are adapted to the backend; a
//   statement's failure changes nothing but what the statement itself did
//   (inside a unit, see gis_SQLBeginUnit, the unit decides what stays).
// - Text is bytes (UTF-8 expected); the driver never converts encodings.
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
  GIS_SQL_ROWS_TO_BATCH_END = 10,
  GIS_SQL_FETCH_NEXT = 1,
  GIS_SQL_CLOSE = 0,
  GIS_SQL_DROP = 1,
};

extern "C" {

// Allocates a statement on `hdbc` into `*stmt`. Fails (negative, `*stmt`
// set to null when `stmt` is not null) on a null handle or a handle whose
// connection is closed.
METASHELF_API std::int16_t gis_SQLAllocStmt(gis_SQLHDBC_STRU* hdbc, gis_SQLHSTMT* stmt);

// Prepares one statement of `length` bytes of `text` (GIS_SQL_NTS: up to
// its NUL), with placeholders :1, :2, ... It replaces the statement the
// handle held before and closes its open cursor. 0 when prepared; -1 for a
// null text, a negative length other than GIS_SQL_NTS, or text the backend
// refuses. The text is copied.
METASHELF_API std::int16_t gis_SQLPrepare(gis_SQLHSTMT stmt, const char* text, std::int32_t length);
// Runs the prepared statement with the parameter values the bound buffers
// hold now. A query opens a cursor for gis_SQLFetch/gis_SQLExtendedFetch;
// anything else has done its work when the call returns 0 or 1 (on
// PostgreSQL inside a unit, only when the unit ends well: see
// gis_SQLBeginUnit). -1 when nothing is prepared, a placeholder is unbound
// or the database refuses the statement; what the statement changed is
// then undone.
METASHELF_API std::int16_t gis_SQLExecute(gis_SQLHSTMT stmt);
// Prepares and runs `text` in one call, as gis_SQLPrepare then
// gis_SQLExecute, with the columns and parameters still bound.
METASHELF_API std::int16_t gis_SQLExecDirect(gis_SQLHSTMT stmt, const char* text,
                                             std::int32_t length);

// Binds placeholder `number` (from 1). `io` is 1 (input). `indicator` may be
// null; a value of -1 in it binds NULL.
// `valueType` says how `buffer` is read (its `bufferLength` bytes):
// GIS_TYPE_INT a 2-, 4- or 8-byte integer; GIS_TYPE_FLOAT a 4- or 8-byte
// float; GIS_TYPE_STRING text that must end with a NUL inside
// `bufferLength` (0: up to the NUL), an empty text being NULL as in
// Oracle; GIS_TYPE_LONGRAW / GIS_TYPE_BLOB exactly `bufferLength` bytes
// (may be empty with a null buffer); GIS_TYPE_DATE an OCIDate. `dbType`,
// `columnSize` and `digits` are accepted and not needed. -1 for an unknown
// type, `io` other than 1, a number the statement has no placeholder for,
// a negative length, or a null buffer with a length.
METASHELF_API std::int16_t gis_SQLBindParameter(gis_SQLHSTMT stmt, std::uint16_t number,
                                                std::int16_t io, std::int16_t valueType,
                                                std::int16_t dbType, std::uint32_t columnSize,
                                                std::int16_t digits, void* buffer,
                                                std::int32_t bufferLength, std::int16_t* indicator);

// Binds result column `number` (from 1). For rowset fetches the buffer is an
// array of rowset-size elements of `bufferLength` bytes each.
// Each fetch writes the value converted to `type` (GIS_TYPE_INT 4 bytes,
// truncated toward zero; GIS_TYPE_FLOAT an 8-byte double; GIS_TYPE_STRING
// text with its NUL; GIS_TYPE_LONGRAW the bytes; GIS_TYPE_DATE an OCIDate;
// GIS_TYPE_BLOB writes nothing and makes the row a locator for
// gis_SQLParamData/gis_SQLPutData) and sets the indicator: -1 for NULL
// (the buffer is then left as it was), 0 for a whole value, the full
// length (-2 when over 32767) when text or bytes were cut to the buffer;
// a cut value makes the fetch return 1. A value that cannot be converted
// (text that is not a number into GIS_TYPE_INT) fails the fetch. -1 for an
// unknown type, a null buffer or one too small for its type, or a number
// beyond the result's columns.
METASHELF_API std::int16_t gis_SQLBindCol(gis_SQLHSTMT stmt, std::uint16_t number,
                                          std::int16_t type, void* buffer,
                                          std::int32_t bufferLength, std::int16_t* indicator);

// Moves to the next row of the open cursor and writes it into the bound
// columns: 0 (1 when a value was cut), 100 when no row is left (nothing is
// written), -1 without an open cursor or on a failure of the database or
// of a conversion.
METASHELF_API std::int16_t gis_SQLFetch(gis_SQLHSTMT stmt);
// GIS_SQL_ROWSET_SIZE: the rows each gis_SQLExtendedFetch delivers, 1 to
// 1000000 (default 1). GIS_SQL_ROWS_TO_BATCH_END, 1 or 0 (default 0): with
// 1, the rows the statement inserts one at a time inside a batch may wait
// for the batch's end, to go with each other as inserts of many rows (on
// PostgreSQL). They go before the batch is kept, and before any statement
// whose text names their table; a batch undone drops them. The statement's
// table must then be read or changed only through statements that name it
// (no view, trigger, foreign key or function of another table's reads it)
// until the batch ends. Its failures are reported by the call that sends
// the rows, the batch's end at the latest, and fail the batch. -1 for
// another option or value.
METASHELF_API std::int16_t gis_SQLSetStmtOption(gis_SQLHSTMT stmt, std::uint16_t option,
                                                std::uint32_t value);
// Fetches up to rowset-size rows at once into element 0, 1, ... of the
// bound column arrays; `orientation` must be GIS_SQL_FETCH_NEXT and
// `offset` is ignored. `*rowCount` (when not null) gets the rows delivered;
// `rowStatus` (when not null, rowset-size entries) gets 0 for each
// delivered row and 3 for each unused entry. Returns 0 or 1 as gis_SQLFetch
// when at least one row came, 100 when none was left, -1 on failure (rows
// of the block may then be written).
METASHELF_API std::int16_t gis_SQLExtendedFetch(gis_SQLHSTMT stmt, std::uint16_t orientation,
                                                std::int32_t offset, std::uint32_t* rowCount,
                                                std::uint16_t* rowStatus);
// Writing a BLOB through a locator: run "SELECT <blob column> FROM ... FOR
// UPDATE" with the column bound as GIS_TYPE_BLOB and fetch the row; then
// gis_SQLParamData returns 99 (GIS_SQL_NEED_DATA, `*token` set when
// `token` is not null), each gis_SQLPutData appends `length` bytes of
// `data` to the column's new value (which replaces the old one), and a
// second gis_SQLParamData returns 0 to end the write. -1 from
// gis_SQLParamData without a fetched locked row, from gis_SQLPutData
// outside a write, for a negative length or a null `data` with a length,
// or when the row is gone; bytes put before a failure may be stored.
METASHELF_API std::int16_t gis_SQLParamData(gis_SQLHSTMT stmt, void** token);
METASHELF_API std::int16_t gis_SQLPutData(gis_SQLHSTMT stmt, const void* data, std::int32_t length);

// Option 0 closes the cursor and keeps the handle; option 1 releases the
// handle (it must not be used again).
METASHELF_API std::int16_t gis_SQLFreeStmt(gis_SQLHSTMT stmt, std::uint16_t option);

// Units of work. A unit makes the statements run on a connection between
// gis_SQLBeginUnit and gis_SQLEndUnit one all-or-nothing step:
//
//   gis_SQLBeginUnit(hdbc);
//   ... statements on hdbc ...
//   gis_SQLEndUnit(hdbc, ok ? 1 : 0);  // 1 keeps the work, 0 undoes it
//
// When no transaction is open, the unit begins one and ends it (commit or
// rollback). Inside a transaction (the host's, or an outer unit's) it takes
// a savepoint and ends by releasing it or rolling back to it; it never
// commits or rolls back work it did not begin. Units nest and end in the
// reverse order of their beginning.
//
// Ending with `commit` 1 keeps the work when it can; when it cannot (the
// commit or release fails, or a statement of the unit failed in a way that
// the backend reports only now) the unit's work is undone and the call
// fails. A backend may therefore defer running or checking a unit's
// statements until the unit ends (PostgreSQL pipelines them); a caller
// treats only a successful end as success. Ending with `commit` 0 always
// undoes the unit's work.
//
// On PostgreSQL a row change inside a unit whose result gives no rows
// (INSERT, UPDATE, DELETE, a procedure call, a BLOB piece) is sent in
// libpq's pipeline mode without waiting: gis_SQLExecute, gis_SQLExecDirect
// and gis_SQLPutData return 0 once it is sent. So is a BLOB write through a
// locator: a "SELECT ... FOR UPDATE" whose bound columns are all locators
// sends nothing, its first gis_SQLFetch returns 0 (the locator's indicator
// 0) without waiting, and each gis_SQLPutData sends one statement that
// finds that row, locks it and writes the piece; no row there fails it like
// any other queued statement (a second fetch, or a block fetch, runs the
// select and waits, as outside a unit). Its result is read with the
// next statement that gives rows (which waits as ever, and reads everything
// sent before it first), when many are waiting, and at the unit's end,
// whose COMMIT or RELEASE travels with them. A failure read late fails the
// call that read it with the failed statement's diagnostic, then every
// statement of the unit until the unit (or an inner unit that held the
// failure) is rolled back; the end then fails and undoes the unit. A
// connection lost meanwhile fails with state 08S01. Repeated runs of one
// single-row "INSERT ... VALUES (...)" in a unit (a record's values) are
// held and sent as one INSERT of up to 64 rows when anything else goes out
// but another table's such insert; a refusal of any of those rows fails
// that statement, with the refusal's state, native code and message, and
// so the unit, exactly as the row's own statement would have. Write units
// that begin a transaction plan each statement for the tables as they are
// then (no plan cached from when a table was small). Outside a unit, a
// statement inside an open transaction runs in a savepoint of its own sent
// with it, so that its failure undoes only itself and the transaction goes
// on, as on Oracle; statements that begin or end a transaction or
// savepoint run as they are.
//
// Neither call replaces the diagnostic of an earlier failure unless it
// fails itself: after an undone unit, the last failure on the connection
// (CHostDataBase::LastStatementError) still gives the database's reason.
// Results: 0 success, negative failure (-2 for a null or closed handle;
// gis_SQLEndUnit also fails when no unit is open).
METASHELF_API std::int16_t gis_SQLBeginUnit(gis_SQLHDBC_STRU* hdbc);
METASHELF_API std::int16_t gis_SQLEndUnit(gis_SQLHDBC_STRU* hdbc, std::int16_t commit);

// A batch: a unit (ended by gis_SQLEndUnit like any other) that is kept or
// undone only as a whole, for a host that, when any operation in it fails,
// undoes the whole batch and does its work again in smaller pieces (the
// tool writes records 256 at a time and a failed batch again one record at
// a time). The units begun inside it, the library's own included, take no
// savepoint and run no statement: they are counted only, and cost nothing
// (on SQLite a savepoint makes each page a record changes be copied once
// more). A unit inside it that is ended with `commit` 0, or whose end
// fails, cannot be undone alone: it fails the batch. From then on every
// unit begun inside the batch fails (state 25000), and the batch's end
// undoes all its work; ended with `commit` 1 it then fails, with state
// 25000, keeping the diagnostic of the failure that led to it readable
// before (gis_SQLError with a null statement right after the failing
// call). Inside a batch, then, a library call that fails leaves its work in
// place until the batch is undone: a host must not keep a batch in which a
// call failed, and cannot (the end refuses). Statements run outside any
// unit inside a batch are the batch's work like any other. Results as for
// gis_SQLBeginUnit.
METASHELF_API std::int16_t gis_SQLBeginBatch(gis_SQLHDBC_STRU* hdbc);

// The failures counted on the connection so far (0 for none, or for a null
// or closed handle): read before a call, it tells whether the call added
// one, whose diagnostic gis_SQLError with a null statement then gives (the
// same message may come twice, so the text alone cannot tell).
METASHELF_API std::uint64_t gis_SQLFailureCount(gis_SQLHDBC_STRU* hdbc);

// A number for what a caller learnt of the database's tables on this
// connection (whether a table exists, say): while it stays the same and is
// not 0, what was learnt under it still holds for this connection. It is 0
// outside a unit of work and on backends that do not keep it (nothing may
// then be kept), and it changes whenever a unit that runs statements of its
// own begins or ends, whenever a unit is undone, and whenever the connection
// runs a statement other than a query, a row change or a procedure call
// (CREATE, DROP, ALTER ...). Inside a batch, whose units run nothing, it
// stays the same from one record to the next. What other connections do
// becomes visible at this connection's next transaction, as their commits
// would anyway for work already under way.
METASHELF_API std::uint64_t gis_SQLShapeSerial(gis_SQLHDBC_STRU* hdbc);

// Copies the last failure of `stmt`: a five-character state (6 bytes with
// the NUL), the backend's native code and up to `messageMax` bytes of message.
// With a null `stmt`, the last failure on the connection `hdbc` (a
// gis_SQLHDBC_STRU*), whichever statement or unit it came from.
METASHELF_API std::int16_t gis_SQLError(void* henv, void* hdbc, gis_SQLHSTMT stmt, char* state,
                                        std::int32_t* nativeError, char* message,
                                        std::int16_t messageMax, std::int16_t* messageLength);
}

#endif  // METASHELF_DRIVER_H_

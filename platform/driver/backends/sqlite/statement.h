// A driver statement on a SQLite connection: prepare (adapt + compile, from
// the connection's cache), bind, execute, fetch one row or a rowset, BLOB
// writes through the row identity kept by SELECT ... FOR UPDATE, and the
// package procedures that provisioning stored as SQL bodies.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_STATEMENT_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_STATEMENT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "backends/sqlite/connection.h"
#include "dialect/dialect.h"
#include "internal/bound_statement.h"

namespace metashelf {
namespace driver {
namespace sqlite {

class SqliteStatement : public BoundStatement {
 public:
  explicit SqliteStatement(SqliteConnection* connection) : connection_(connection) {}
  ~SqliteStatement() override;

  std::int16_t Prepare(const char* text, std::size_t length) override;
  std::int16_t Execute() override;
  std::int16_t ExecDirect(const char* text, std::size_t length) override;
  std::int16_t Fetch() override;
  std::int16_t ExtendedFetch(std::uint16_t orientation, std::int32_t offset,
                             std::uint32_t* rowCount, std::uint16_t* rowStatus) override;
  std::int16_t ParamData(void** token) override;
  std::int16_t PutData(const void* data, std::int32_t length) override;
  std::int16_t CloseCursor() override;

 private:
  // bind.cpp
  bool BindValue(sqlite3_stmt* stmt, int slot, const Value& v);
  bool BindAll(sqlite3_stmt* stmt, const dialect::Adapted& adapted,
               const std::vector<Value>& callerValues);
  // fetch.cpp
  int PreparedParams() const override;
  int PreparedColumns() const override;
  int VisibleColumns() const;
  // Moves to the next row: 1 a row, 0 none left, -1 failure (recorded).
  int Step();
  // Writes the current row into the bound columns at rowset element
  // `element`, as StoreRow does, and keeps a row selected for update as the
  // target of the next BLOB write.
  std::int16_t Deliver(std::uint32_t element);
  // Steps to the next row (unless the execute already did) and delivers it
  // into `element`; GIS_SQL_NO_DATA when no row is left.
  std::int16_t DeliverNext(std::uint32_t element);
  // statement.cpp
  std::int16_t RunProcedure();
  std::int16_t FailSqlite(int rc);
  void ResetCursor();

  SqliteConnection* connection_;
  Form* form_ = nullptr;
  std::vector<dialect::Literal> literals_;
  bool executed_ = false;
  bool rowPending_ = false;  // the execute already stepped onto the first row
  bool done_ = false;
  // BLOB writes: the identity of the row last fetched by a FOR UPDATE select.
  bool haveLockedRow_ = false;
  std::int64_t lockedRowid_ = 0;
  bool putting_ = false;
  std::string putColumn_;
  std::string putData_;
};

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_SQLITE_STATEMENT_H_

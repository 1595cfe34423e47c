// A driver statement on a SQLite connection: prepare (adapt + compile, from
// the connection's cache), bind, execute, fetch one row or a rowset, BLOB
// writes through the row identity kept by SELECT ... FOR UPDATE, and the
// package procedures that provisioning stored as SQL bodies.
#ifndef METASHELF_DRIVER_BACKENDS_SQLITE_STATEMENT_H_
#define METASHELF_DRIVER_BACKENDS_SQLITE_STATEMENT_H_

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "backends/sqlite/connection.h"
#include "dialect/dialect.h"
#include "internal/backend.h"
#include "internal/value.h"

namespace metashelf {
namespace driver {
namespace sqlite {

class SqliteStatement : public Statement {
 public:
  explicit SqliteStatement(SqliteConnection* connection) : connection_(connection) {}
  ~SqliteStatement() override;

  std::int16_t Prepare(const char* text, std::size_t length) override;
  std::int16_t Execute() override;
  std::int16_t ExecDirect(const char* text, std::size_t length) override;
  std::int16_t BindParameter(const ParamBinding& binding) override;
  std::int16_t BindCol(const ColBinding& binding) override;
  std::int16_t Fetch() override;
  std::int16_t SetStmtOption(std::uint16_t option, std::uint32_t value) override;
  std::int16_t ExtendedFetch(std::uint16_t orientation, std::int32_t offset,
                             std::uint32_t* rowCount, std::uint16_t* rowStatus) override;
  std::int16_t ParamData(void** token) override;
  std::int16_t PutData(const void* data, std::int32_t length) override;
  std::int16_t CloseCursor() override;

 private:
  // bind.cpp
  // The value of caller parameter `number` from its binding; false with the
  // failure recorded when it is unbound or unreadable.
  bool CallerValue(int number, Value* out);
  bool BindValue(sqlite3_stmt* stmt, int slot, const Value& v);
  bool BindAll(sqlite3_stmt* stmt, const dialect::Adapted& adapted,
               const std::vector<Value>& callerValues);
  // fetch.cpp
  int VisibleColumns() const;
  // Moves to the next row: 1 a row, 0 none left, -1 failure (recorded).
  int Step();
  // Writes the current row into the bound columns at rowset element `row`;
  // returns 0, 1 (something was cut) or a failure code.
  std::int16_t Deliver(std::size_t row);
  // statement.cpp
  std::int16_t RunProcedure();
  std::int16_t FailSqlite(int rc);
  void ResetCursor();

  SqliteConnection* connection_;
  Form* form_ = nullptr;
  std::vector<dialect::Literal> literals_;
  std::map<int, ParamBinding> params_;
  std::map<int, ColBinding> columns_;
  std::uint32_t rowsetSize_ = 1;
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

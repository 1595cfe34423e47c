// The statement pattern every database operation follows: allocate a
// statement on the connection, run it, drain the diagnostic on failure,
// free the statement on every path.
#ifndef METASHELF_SRC_DB_STATEMENT_H_
#define METASHELF_SRC_DB_STATEMENT_H_

#include <cstdint>

#include "metashelf/driver.h"

namespace metashelf {
namespace db {

// 0 and 1 count as success unless an operation asks for exactly 0.
inline bool Succeeded(std::int16_t rc) {
  return rc == GIS_SQL_SUCCESS || rc == GIS_SQL_SUCCESS_WITH_INFO;
}

// Asks the driver once for `stmt`'s diagnostic and discards it.
void DrainError(gis_SQLHSTMT stmt);

// Owns one statement handle for the length of an operation and releases it
// (gis_SQLFreeStmt option 1) when it goes out of scope.
class Statement {
 public:
  // Allocates on `hdbc`; ok() tells whether that returned exactly 0.
  explicit Statement(gis_SQLHDBC_STRU* hdbc);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool ok() const { return handle_ != nullptr; }
  gis_SQLHSTMT get() const { return handle_; }
  void DrainError() const { db::DrainError(handle_); }

 private:
  gis_SQLHSTMT handle_ = nullptr;
};

}  // namespace db
}  // namespace metashelf

#endif  // METASHELF_SRC_DB_STATEMENT_H_

// Small helpers for tests that talk to the driver directly: an owning
// statement handle, running a text, reading every row as text, and reading
// the diagnostic of a failed call.
#ifndef METASHELF_TESTS_DRIVER_DRIVER_HELPERS_H_
#define METASHELF_TESTS_DRIVER_DRIVER_HELPERS_H_

#include <cstring>
#include <string>
#include <vector>

#include "metashelf/driver.h"

namespace metashelf {
namespace testing {

class Stmt {
 public:
  explicit Stmt(gis_SQLHDBC_STRU* hdbc) { rc_ = gis_SQLAllocStmt(hdbc, &h_); }
  ~Stmt() {
    if (h_) gis_SQLFreeStmt(h_, GIS_SQL_DROP);
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  gis_SQLHSTMT get() const { return h_; }
  std::int16_t alloc_result() const { return rc_; }

  // "STATE: message" of the last failure.
  std::string Error() const {
    char state[6] = {0};
    char message[256] = {0};
    std::int32_t native = 0;
    std::int16_t length = 0;
    gis_SQLError(nullptr, nullptr, h_, state, &native, message, sizeof message, &length);
    return std::string(state) + ": " + message;
  }

 private:
  gis_SQLHSTMT h_ = nullptr;
  std::int16_t rc_ = 0;
};

// Runs `sql` directly; returns the driver's code.
inline std::int16_t RunSql(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                           std::string* error = nullptr) {
  Stmt s(hdbc);
  const std::int16_t rc = gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS);
  if (rc != 0 && error) *error = s.Error();
  return rc;
}

// Every row of `sql`, its first `columns` columns as text ("NULL" for NULL).
// On failure returns a single row holding "ERROR " + the diagnostic.
inline std::vector<std::vector<std::string>> Rows(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                                                  int columns) {
  Stmt s(hdbc);
  std::vector<std::vector<std::string>> rows;
  if (gis_SQLPrepare(s.get(), sql.c_str(), GIS_SQL_NTS) != 0 || gis_SQLExecute(s.get()) != 0) {
    return {{"ERROR " + s.Error()}};
  }
  std::vector<std::vector<char>> buffers(static_cast<std::size_t>(columns),
                                         std::vector<char>(4096));
  std::vector<std::int16_t> indicators(static_cast<std::size_t>(columns));
  for (int c = 0; c < columns; ++c) {
    gis_SQLBindCol(s.get(), static_cast<std::uint16_t>(c + 1), GIS_TYPE_STRING,
                   buffers[static_cast<std::size_t>(c)].data(), 4096,
                   &indicators[static_cast<std::size_t>(c)]);
  }
  while (true) {
    const std::int16_t rc = gis_SQLFetch(s.get());
    if (rc == GIS_SQL_NO_DATA) break;
    if (rc != 0 && rc != 1) return {{"ERROR " + s.Error()}};
    std::vector<std::string> row;
    for (int c = 0; c < columns; ++c) {
      row.push_back(indicators[static_cast<std::size_t>(c)] == -1
                        ? "NULL"
                        : std::string(buffers[static_cast<std::size_t>(c)].data()));
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_DRIVER_DRIVER_HELPERS_H_

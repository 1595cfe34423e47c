// Statement ownership and the error drain.
#include "db/statement.h"

namespace metashelf {
namespace db {

void DrainError(gis_SQLHSTMT stmt) {
  char state[6] = {};
  std::int32_t native = 0;
  char message[256] = {};
  std::int16_t length = 0;
  gis_SQLError(nullptr, nullptr, stmt, state, &native, message, 256, &length);
}

Statement::Statement(gis_SQLHDBC_STRU* hdbc) {
  gis_SQLHSTMT handle = nullptr;
  if (gis_SQLAllocStmt(hdbc, &handle) == GIS_SQL_SUCCESS) {
    handle_ = handle;
  } else if (handle != nullptr) {
    gis_SQLFreeStmt(handle, GIS_SQL_DROP);
  }
}

Statement::~Statement() {
  if (handle_ != nullptr) gis_SQLFreeStmt(handle_, GIS_SQL_DROP);
}

}  // namespace db
}  // namespace metashelf

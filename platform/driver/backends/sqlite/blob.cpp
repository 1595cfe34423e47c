// BLOB writes through a locator: after a SELECT ... FOR UPDATE fetched a row
// with its BLOB column bound as type 113, gis_SQLParamData starts the write
// and gis_SQLPutData puts the data into that row's column (pieces are
// appended; each put stores everything given so far).
#include <sqlite3.h>

#include "backends/sqlite/statement.h"

namespace metashelf {
namespace driver {
namespace sqlite {

std::int16_t SqliteStatement::ParamData(void** token) {
  if (putting_) {
    putting_ = false;  // the write is complete
    return GIS_SQL_SUCCESS;
  }
  if (!haveLockedRow_) {
    return Fail("HY010", 22920, "ORA-22920: row containing the LOB value is not locked");
  }
  putting_ = true;
  putData_.clear();
  if (token) *token = this;
  return GIS_SQL_NEED_DATA;
}

std::int16_t SqliteStatement::PutData(const void* data, std::int32_t length) {
  if (!putting_) return Fail("HY010", 0, "no data was asked for (call gis_SQLParamData first)");
  for (char c : putColumn_) {
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
      return Fail("HY000", 0, "the locator's column is not a plain column: " + putColumn_);
    }
  }
  if (length > 0) putData_.append(static_cast<const char*>(data), static_cast<std::size_t>(length));
  const std::string sql =
      "UPDATE " + form_->adapted.lockTable + " SET " + putColumn_ + "=?1 WHERE _ROWID_=?2";
  std::string error;
  sqlite3_stmt* s = connection_->Internal(sql, &error);
  if (s == nullptr) return FailSqlite(SQLITE_ERROR);
  if (putData_.empty()) {
    sqlite3_bind_zeroblob(s, 1, 0);
  } else {
    sqlite3_bind_blob64(s, 1, putData_.data(), putData_.size(), SQLITE_STATIC);
  }
  sqlite3_bind_int64(s, 2, lockedRowid_);
  const int rc = sqlite3_step(s);
  const int changed = sqlite3_changes(connection_->db());
  if (rc != SQLITE_DONE) {
    const std::int16_t failed = FailSqlite(rc);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    return failed;
  }
  sqlite3_reset(s);
  sqlite3_clear_bindings(s);
  if (changed != 1) return Fail("HY000", 22920, "ORA-22920: the locked row is gone");
  return GIS_SQL_SUCCESS;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

// The catalog handle: its context, opening on a host database object,
// closing, catalog creation, and the two statement helpers (LOB length,
// database time) that other parts of the system share.
#include <cstring>
#include <string>

#include "catalog/mtdb_context.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/host_database.h"
#include "metashelf/ora_metadatabase.h"

namespace {

// Runs the one-row query `sql` into its one column of `type` (`size` bytes
// at `value`). 1 when the row came; 0 otherwise, with the diagnostic
// drained. The prepare's own result is not looked at: a query that did not
// prepare fails at execution and is drained there.
std::int32_t FetchOneValue(gis_SQLHDBC_STRU* hdbc, const std::string& sql, std::int16_t type,
                           void* value, std::int32_t size) {
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  std::int16_t indicator = 0;
  gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
  gis_SQLBindCol(stmt.get(), 1, type, value, size, &indicator);
  if (metashelf::db::Succeeded(gis_SQLExecute(stmt.get())) &&
      metashelf::db::Succeeded(gis_SQLFetch(stmt.get()))) {
    return 1;
  }
  stmt.DrainError();
  return 0;
}

}  // namespace

COraMetaDataBase::COraMetaDataBase() : ctx_(new MtdbContext()) {
  std::memset(ctx_, 0, sizeof *ctx_);
}

COraMetaDataBase::~COraMetaDataBase() {
  delete ctx_;
}

std::int32_t COraMetaDataBase::mtdb_Create(CBas_GDataBase* database, const char* name) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (database == nullptr) return 0;
    return database->db_CreateMtdb(name);
  });
}

std::int32_t COraMetaDataBase::mtdb_Open(CBas_GDataBase* database, std::int32_t mtdbID,
                                         std::int32_t /*unused*/) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    ctx_->database = database;
    if (database == nullptr) return -1;

    unsigned char record[kMtdbInfoRecordSize];
    std::memset(record, 0, sizeof record);
    if (database->db_GetMtdbInfo(mtdbID, record) < 1) return -1;

    // The owner must fit with its NUL; a longer name is refused rather than
    // cut, since a cut name would qualify another user's objects.
    const char* owner = reinterpret_cast<const char*>(record + kMtdbInfoOwnerOffset);
    const std::size_t room = kMtdbInfoRecordSize - kMtdbInfoOwnerOffset;
    const std::size_t length = strnlen(owner, room);
    if (length >= static_cast<std::size_t>(kOwnerSize)) return 0;
    std::memcpy(ctx_->owner, owner, length);
    ctx_->owner[length] = '\0';

    auto* connection = dynamic_cast<Cora_IDataBase*>(database);
    ctx_->hdbc = connection != nullptr ? connection->HDBC() : nullptr;
    if (ctx_->hdbc == nullptr) return 0;

    ctx_->mtdbID = mtdbID;
    ctx_->opened = 1;
    return 1;
  });
}

std::int32_t COraMetaDataBase::mtdb_Close() {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::memset(ctx_, 0, sizeof *ctx_);
    return 1;
  });
}

int COraMetaDataBase::mtdb_HasOpened() {
  return ctx_->opened;
}

void COraMetaDataBase::GetOraBaseInfo(gis_SQLHDBC_STRU*& hdbc, char* owner) {
  hdbc = ctx_->hdbc;
  if (owner != nullptr) std::memcpy(owner, ctx_->owner, std::strlen(ctx_->owner) + 1);
}

std::int32_t COraMetaDataBase::GetLobLength(std::int32_t* length, const char* table,
                                            const char* column, const char* keyColumn,
                                            std::int32_t key) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::string sql = "SELECT DBMS_LOB.GETLENGTH(";
    sql += column;
    sql += ") FROM ";
    sql += ctx_->owner;
    sql += ".";
    sql += table;
    sql += " WHERE ";
    sql += keyColumn;
    sql += "=";
    sql += std::to_string(key);

    return FetchOneValue(ctx_->hdbc, sql, GIS_TYPE_INT, length, 4);
  });
}

std::int32_t COraMetaDataBase::GetSysDateTime(OCIDate& date, std::int32_t colID) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    std::string sql = "SELECT SYSDATE FROM ";
    sql += ctx_->owner;
    sql += ".";
    sql += "KRDB_META_SET ";
    sql += "WHERE COL_ID=";
    sql += std::to_string(colID);

    return FetchOneValue(ctx_->hdbc, sql, GIS_TYPE_DATE, &date, 8);
  });
}

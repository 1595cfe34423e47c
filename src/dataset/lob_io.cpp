// BLOB writes through locators and whole-LOB reads.
#include "dataset/lob_io.h"

#include "db/statement.h"

namespace metashelf {
namespace dataset {

bool PutBlob(gis_SQLHSTMT stmt, const std::string& selectForUpdate, const char* data,
             std::int32_t length) {
  if (length < 0 || (data == nullptr && length > 0)) return false;
  if (gis_SQLPrepare(stmt, selectForUpdate.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) return false;
  std::int16_t indicator = 0;
  if (gis_SQLBindCol(stmt, 1, GIS_TYPE_BLOB, nullptr, 0, &indicator) != GIS_SQL_SUCCESS) {
    return false;
  }
  if (!db::Succeeded(gis_SQLExecute(stmt))) return false;
  if (!db::Succeeded(gis_SQLFetch(stmt))) return false;
  void* token = nullptr;
  gis_SQLParamData(stmt, &token);
  static const char kNothing[1] = {0};
  return gis_SQLPutData(stmt, data != nullptr ? data : kNothing, length) == GIS_SQL_SUCCESS;
}

bool ReadLobLength(gis_SQLHSTMT stmt, const std::string& lengthQuery, std::int32_t* length) {
  if (gis_SQLPrepare(stmt, lengthQuery.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) return false;
  std::int16_t indicator = 0;
  if (gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, length, 4, &indicator) != GIS_SQL_SUCCESS) {
    return false;
  }
  if (gis_SQLExecute(stmt) != GIS_SQL_SUCCESS) return false;
  return gis_SQLFetch(stmt) == GIS_SQL_SUCCESS;
}

bool ReadLob(gis_SQLHSTMT stmt, const std::string& select, char* buffer, std::int32_t length) {
  if (gis_SQLPrepare(stmt, select.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) return false;
  std::int16_t indicator = 0;
  if (gis_SQLBindCol(stmt, 1, GIS_TYPE_LONGRAW, buffer, length, &indicator) != GIS_SQL_SUCCESS) {
    return false;
  }
  if (gis_SQLExecute(stmt) != GIS_SQL_SUCCESS) return false;
  return gis_SQLFetch(stmt) == GIS_SQL_SUCCESS;
}

}  // namespace dataset
}  // namespace metashelf

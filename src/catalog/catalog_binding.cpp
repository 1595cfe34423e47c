// Bindings and one-row queries of the catalog's statements.
#include "catalog/catalog_binding.h"

#include <cstring>

#include "catalog/catalog_access.h"

namespace metashelf {
namespace catalog {

std::int16_t BindInt(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                     std::int16_t* indicator) {
  *indicator = 0;
  return gis_SQLBindParameter(stmt, number, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0, 0, value, 4,
                              indicator);
}

std::int16_t BindText(gis_SQLHSTMT stmt, std::uint16_t number, const char* text,
                      std::int16_t* indicator) {
  *indicator = 0;
  const auto length = static_cast<std::int32_t>(std::strlen(text) + 1);
  return gis_SQLBindParameter(stmt, number, 1, GIS_TYPE_STRING, GIS_TYPE_STRING, 0, 0,
                              const_cast<char*>(text), length, indicator);
}

std::int16_t BindIntCol(gis_SQLHSTMT stmt, std::uint16_t number, std::int32_t* value,
                        std::int16_t* indicator) {
  *indicator = 0;
  return gis_SQLBindCol(stmt, number, GIS_TYPE_INT, value, 4, indicator);
}

std::int16_t BindTextCol(gis_SQLHSTMT stmt, std::uint16_t number, char* buffer, std::int32_t size,
                         std::int16_t* indicator) {
  *indicator = 0;
  return gis_SQLBindCol(stmt, number, GIS_TYPE_STRING, buffer, size, indicator);
}

std::int16_t BindDateCol(gis_SQLHSTMT stmt, std::uint16_t number, void* buffer, std::int32_t length,
                         std::int16_t* indicator) {
  *indicator = 0;
  return gis_SQLBindCol(stmt, number, GIS_TYPE_DATE, buffer, length, indicator);
}

namespace {

template <typename Bind>
std::int32_t FetchOne(const db::Statement& stmt, const std::string& sql, Bind bind) {
  const std::int16_t prepared = gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
  // A prepare that says anything but plain success runs nothing; only a
  // failure has a diagnostic to drain.
  if (prepared != GIS_SQL_SUCCESS) {
    if (prepared < 0) stmt.DrainError();
    return 0;
  }
  std::int16_t indicator = 0;
  bind(&indicator);
  std::int16_t rc = gis_SQLExecute(stmt.get());
  // A row that was never delivered is no answer.
  if (db::Succeeded(rc)) rc = gis_SQLFetch(stmt.get());
  if (db::Succeeded(rc)) return 1;
  stmt.DrainError();
  return 0;
}

}  // namespace

std::int32_t FetchOneInt(const db::Statement& stmt, const std::string& sql, std::int32_t* value) {
  return FetchOne(stmt, sql,
                  [&](std::int16_t* indicator) { BindIntCol(stmt.get(), 1, value, indicator); });
}

std::int32_t FetchOneText(const db::Statement& stmt, const std::string& sql, char* buffer,
                          std::int32_t size) {
  return FetchOne(stmt, sql, [&](std::int16_t* indicator) {
    BindTextCol(stmt.get(), 1, buffer, size, indicator);
  });
}

std::int32_t FetchIntRows(const db::Statement& stmt, const std::string& sql,
                          const std::function<void(std::int32_t)>& add) {
  if (!db::Succeeded(gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLExecute(stmt.get()))) {
    stmt.DrainError();
    return 0;
  }
  std::int32_t id = 0;
  std::int16_t indicator = 0;
  BindIntCol(stmt.get(), 1, &id, &indicator);
  std::int16_t rc;
  while (db::Succeeded(rc = gis_SQLFetch(stmt.get()))) add(id);
  if (rc == GIS_SQL_NO_DATA) return 1;
  stmt.DrainError();
  return 0;
}

std::int32_t RunIdProcedure(const MtdbContext& ctx, const char* call, std::int32_t id) {
  const std::string sql = "BEGIN " + Prefix(ctx) + call + "END; ";
  db::Statement stmt(ctx.hdbc);
  if (!stmt.ok()) return 0;
  gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
  std::int16_t indicator = 0;
  BindInt(stmt.get(), 1, &id, &indicator);
  if (db::Succeeded(gis_SQLExecute(stmt.get()))) return 1;
  stmt.DrainError();
  return 0;
}

}  // namespace catalog
}  // namespace metashelf

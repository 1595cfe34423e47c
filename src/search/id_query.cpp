// Running an id query in rowsets and collecting the ids it yields.
#include "search/id_query.h"

#include <memory>
#include <new>

#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "search/id_text.h"

namespace metashelf {
namespace search {

namespace {

std::int32_t Run(gis_SQLHDBC_STRU* hdbc, const char* sql, CSmartArray<std::int64_t>& ids) {
  std::unique_ptr<std::int16_t[]> indicators(new (std::nothrow) std::int16_t[kRowsetSize]());
  std::unique_ptr<char[]> texts(new (std::nothrow) char[kRowsetSize * kIdTextSize]);
  if (!indicators || !texts) return 0;
  auto clearRows = [&texts] {
    for (std::uint32_t row = 0; row < kRowsetSize; ++row) texts[row * kIdTextSize] = '\0';
  };
  clearRows();

  // Declared after the buffers: the statement is released before them.
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  if (!db::Succeeded(gis_SQLPrepare(stmt.get(), sql, GIS_SQL_NTS))) return 0;
  if (!db::Succeeded(gis_SQLSetStmtOption(stmt.get(), GIS_SQL_ROWSET_SIZE, kRowsetSize))) return 0;
  if (!db::Succeeded(gis_SQLExecute(stmt.get()))) return 0;
  if (!db::Succeeded(gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, texts.get(), kIdTextSize,
                                    indicators.get()))) {
    return 0;
  }

  // A failure part-way takes back what this run appended, so the caller
  // never mistakes a partial list for a search result.
  const std::int32_t before = ids.GetSize();
  auto fail = [&ids, before] {
    ids.SetSize(before);
    return 0;
  };
  std::uint32_t delivered = 0;
  std::int16_t rc = gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &delivered, nullptr);
  while (rc != GIS_SQL_NO_DATA) {
    if (!db::Succeeded(rc) || delivered > kRowsetSize) return fail();
    for (std::uint32_t row = 0; row < delivered; ++row) {
      if (ids.Add(ParseIdText(texts.get() + row * kIdTextSize, kIdTextSize)) < 0) return fail();
    }
    delivered = 0;
    clearRows();
    rc = gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &delivered, nullptr);
  }
  return 1;
}

}  // namespace

std::int32_t RunIdQuery(gis_SQLHDBC_STRU* hdbc, const char* sql, CSmartArray<std::int64_t>& ids) {
  if (sql == nullptr) return 0;
  // Memory running out in the array's stream ends the run like any failure.
  const std::int32_t before = ids.GetSize();
  return base::Guard<std::int32_t>(
      0, [&] { return Run(hdbc, sql, ids); }, [&] { ids.SetSize(before); });
}

}  // namespace search
}  // namespace metashelf

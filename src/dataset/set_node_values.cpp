// GetNodeDataByGuid: every stored value of one schema node across a
// collection, with the record ids, in record id order, read in rowsets of
// 100 into the caller's NodeDataStrcT array. MsNodeValuesOf: the same for
// the records a caller names (a search's hits), without reading the rest
// unless they are a large share of the collection.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/base/utf8.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/search.h"

namespace {

constexpr std::uint32_t kRows = 100;
constexpr std::int32_t kTextRowSize = 4000;  // NODEVALUE is VARCHAR2(4000)
constexpr std::int32_t kDateRowSize = 16;

const char* const kStatements[] = {
    "SELECT METAID,NODEVALUE FROM %s.META_NDTEXT_%ld WHERE NODEGUID=%ld ORDER BY METAID",
    "SELECT METAID,NODEVALUE FROM %s.META_NDNUMBER_%ld WHERE NODEGUID=%ld ORDER BY METAID",
    ("SELECT METAID,TO_CHAR(NODEVALUE,'YYYY-MM-DD') FROM %s.META_NDDATETIME_%ld WHERE "
     "NODEGUID=%ld ORDER BY METAID"),
};

// Copies at most room-1 bytes of `row` (a NUL-terminated text of at most
// rowSize bytes) into `field`, never ending inside a UTF-8 character.
void CopyText(char* field, std::size_t room, const char* row, std::size_t rowSize) {
  const std::size_t length = strnlen(row, rowSize);
  const std::size_t kept = metashelf::base::Utf8CutLength(row, length, room - 1);
  std::memcpy(field, row, kept);
  field[kept] = '\0';
}

// Runs `sql` (a record id and a value of kind `kind`) and hands each rowset
// of at most kRows elements, in order, to `take`; reading stops when `take`
// returns false (true then) or a statement or fetch fails (false).
bool ReadNodeRowsets(gis_SQLHDBC_STRU* hdbc, const char* sql, char kind,
                     const std::function<bool(const NodeDataStrcT*, std::uint32_t)>& take) {
  // The id buffer and the value buffer start at zero, and the values have
  // indicators of their own: a NULL number (an empty value on a number
  // node) is reported as a quiet NaN, never as 0.0 or as the value of an
  // earlier row.
  const std::int32_t valueSize =
      kind == 1 ? kTextRowSize
                : (kind == 2 ? static_cast<std::int32_t>(sizeof(double)) : kDateRowSize);
  std::unique_ptr<std::int32_t[]> metaIDs(new (std::nothrow) std::int32_t[kRows]());
  std::unique_ptr<char[]> valueBuffer(new (std::nothrow) char[kRows * valueSize]());
  std::unique_ptr<std::int16_t[]> indicators(new (std::nothrow) std::int16_t[kRows]());
  std::unique_ptr<std::int16_t[]> valueIndicators(new (std::nothrow) std::int16_t[kRows]());
  std::vector<NodeDataStrcT> rowset(kRows);
  if (!metaIDs || !valueBuffer || !indicators || !valueIndicators) return false;
  char* const texts = valueBuffer.get();
  double* const numbers = reinterpret_cast<double*>(valueBuffer.get());
  auto clearValues = [&] {
    if (kind == 2) {
      for (std::uint32_t row = 0; row < kRows; ++row) numbers[row] = 0.0;
    } else {
      for (std::uint32_t row = 0; row < kRows; ++row) texts[row * valueSize] = '\0';
    }
  };

  // Declared after the buffers: the statement is released before them.
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  using metashelf::db::Succeeded;
  if (!Succeeded(gis_SQLPrepare(stmt.get(), sql, GIS_SQL_NTS))) return false;
  if (!Succeeded(gis_SQLSetStmtOption(stmt.get(), GIS_SQL_ROWSET_SIZE, kRows))) return false;
  if (!Succeeded(gis_SQLExecute(stmt.get()))) return false;
  if (!Succeeded(gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_INT, metaIDs.get(), 4, indicators.get()))) {
    return false;
  }
  const std::int16_t valueType = kind == 2 ? GIS_TYPE_FLOAT : GIS_TYPE_STRING;
  if (!Succeeded(gis_SQLBindCol(stmt.get(), 2, valueType, valueBuffer.get(), valueSize,
                                valueIndicators.get()))) {
    return false;
  }

  std::uint32_t delivered = 0;
  std::int16_t rc = gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &delivered, nullptr);
  while (rc != GIS_SQL_NO_DATA) {
    if (!Succeeded(rc) || delivered > kRows) return false;
    for (std::uint32_t row = 0; row < delivered; ++row) {
      NodeDataStrcT& element = rowset[row];
      element.metaID = metaIDs[row];
      element.textValue[0] = '\0';
      element.numberValue = 0.0;
      element.dateValue[0] = '\0';
      if (kind == 1) {
        CopyText(element.textValue, sizeof element.textValue, texts + row * valueSize, valueSize);
      } else if (kind == 2) {
        element.numberValue =
            valueIndicators[row] == -1 ? std::numeric_limits<double>::quiet_NaN() : numbers[row];
      } else {
        CopyText(element.dateValue, sizeof element.dateValue, texts + row * valueSize, valueSize);
      }
    }
    if (!take(rowset.data(), delivered)) return true;
    clearValues();
    for (std::uint32_t row = 0; row < kRows; ++row) valueIndicators[row] = 0;
    delivered = 0;
    rc = gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &delivered, nullptr);
  }
  return true;
}

// Record ids named in one statement of MsNodeValuesOf.
constexpr std::size_t kIdsPerStatement = 500;
// Ids naming at least a share 1/kWholeReadShare of a collection's records
// are served by one read of the node's every value, kept for those ids:
// past that share, naming them costs more than reading the rest.
constexpr std::size_t kWholeReadShare = 4;

}  // namespace

std::int32_t COraMetaDataSet::GetNodeDataByGuid(std::int32_t nodeGUID, char kind,
                                                NodeDataStrcT* values, std::int32_t capacity) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (values == nullptr || kind < 1 || kind > 3) return 0;
    if (ctx_ == nullptr || ctx_->hdbc == nullptr) return 0;
    const std::int64_t room = capacity < 0 ? 0 : capacity;
    char sql[1024];
    std::snprintf(sql, sizeof sql, kStatements[kind - 1], ctx_->owner,
                  static_cast<long>(ctx_->mdsID), static_cast<long>(nodeGUID));
    // A failing fetch ends the call with 0; elements already filled stay.
    // A rowset that does not fit whole is not copied; the rest is not read.
    std::int64_t filled = 0;
    const bool read =
        ReadNodeRowsets(ctx_->hdbc, sql, kind, [&](const NodeDataStrcT* rows, std::uint32_t n) {
          if (filled + n > room) return false;
          std::copy(rows, rows + n, values + filled);
          filled += n;
          return true;
        });
    return read ? 1 : 0;
  });
}

std::int32_t MsNodeValuesOf(CMetaDataSet_abs* set, std::int32_t nodeGUID, char kind,
                            const std::vector<std::int64_t>& ids,
                            std::vector<NodeDataStrcT>* values) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (values == nullptr || kind < 1 || kind > 3) return 0;
    COraMetaDataSet* opened = DataSetAccess::Opened(set);
    if (opened == nullptr) return 0;
    MdsContext* ctx = DataSetAccess::Context(*opened);
    if (ctx == nullptr || ctx->hdbc == nullptr) return 0;
    std::vector<std::int64_t> sorted(ids);
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    const std::size_t first = values->size();
    std::int32_t count = 0;
    if (sorted.size() > kIdsPerStatement && opened->GetNum(&count) == 1 &&
        sorted.size() * kWholeReadShare >= static_cast<std::size_t>(std::max(count, 0))) {
      char sql[1024];
      std::snprintf(sql, sizeof sql, kStatements[kind - 1], ctx->owner,
                    static_cast<long>(ctx->mdsID), static_cast<long>(nodeGUID));
      const bool read =
          ReadNodeRowsets(ctx->hdbc, sql, kind, [&](const NodeDataStrcT* rows, std::uint32_t n) {
            for (std::uint32_t i = 0; i < n; ++i) {
              if (std::binary_search(sorted.begin(), sorted.end(), rows[i].metaID)) {
                values->push_back(rows[i]);
              }
            }
            return true;
          });
      if (!read) values->resize(first);
      return read ? 1 : 0;
    }
    // The statement of GetNodeDataByGuid with the ids before its ORDER BY.
    std::string text(kStatements[kind - 1]);
    const std::size_t order = text.rfind(" ORDER BY");
    const std::string head = text.substr(0, order) + " AND METAID IN (";
    const std::string tail = ")" + text.substr(order);
    for (std::size_t at = 0; at < sorted.size(); at += kIdsPerStatement) {
      const std::size_t end = std::min(sorted.size(), at + kIdsPerStatement);
      std::string named;
      for (std::size_t i = at; i < end; ++i) {
        if (sorted[i] <= 0) continue;  // no record has it
        named += (named.empty() ? "" : ",") + std::to_string(sorted[i]);
      }
      if (named.empty()) continue;
      const std::string format = head + named + tail;
      std::vector<char> sql(format.size() + 256);
      std::snprintf(sql.data(), sql.size(), format.c_str(), ctx->owner,
                    static_cast<long>(ctx->mdsID), static_cast<long>(nodeGUID));
      if (!ReadNodeRowsets(ctx->hdbc, sql.data(), kind,
                           [&](const NodeDataStrcT* rows, std::uint32_t n) {
                             values->insert(values->end(), rows, rows + n);
                             return true;
                           })) {
        values->resize(first);
        return 0;
      }
    }
    return 1;
  });
}

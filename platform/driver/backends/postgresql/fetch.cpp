// Delivering result rows into the caller's bound columns: one row per
// gis_SQLFetch, a rowset of column-wise arrays per gis_SQLExtendedFetch.
#include <cstring>

#include "backends/postgresql/statement.h"
#include "internal/value.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

enum : std::uint16_t { kRowSuccess = 0, kRowNoRow = 3 };

bool FixedSize(std::int16_t type, std::int32_t* size) {
  switch (type) {
    case GIS_TYPE_INT:
      *size = 4;
      return true;
    case GIS_TYPE_FLOAT:
    case GIS_TYPE_DATE:
      *size = 8;
      return true;
    default:
      return false;
  }
}

}  // namespace

std::int16_t PgStatement::BindCol(const ColBinding& b) {
  std::int32_t size = 0;
  switch (b.type) {
    case GIS_TYPE_INT:
    case GIS_TYPE_FLOAT:
    case GIS_TYPE_DATE:
      FixedSize(b.type, &size);
      if (b.buffer == nullptr) return Fail("HY009", 0, "null column buffer");
      if (b.bufferLength != 0 && b.bufferLength < size) {
        return Fail("HY090", 0, "column buffer too small for its type");
      }
      break;
    case GIS_TYPE_STRING:
    case GIS_TYPE_LONGRAW:
      if (b.buffer == nullptr) return Fail("HY009", 0, "null column buffer");
      if (b.type == GIS_TYPE_STRING && b.bufferLength < 1) {
        return Fail("HY090", 0, "text column buffer needs room for its NUL");
      }
      break;
    case GIS_TYPE_BLOB:
      break;  // a locator: no buffer is written
    default:
      return Fail("HY003", 0, "unknown column type code " + std::to_string(b.type));
  }
  if (compiled_ && cacheable_ && b.number > columns_) {
    return Fail("07009", 0, "column " + std::to_string(b.number) + " is not in the result");
  }
  cols_[b.number] = b;
  return GIS_SQL_SUCCESS;
}

std::int16_t PgStatement::StoreRow(int row, std::uint32_t element) {
  const int visible = adapted_->forUpdate ? adapted_->visibleColumns : PQnfields(result_.get());
  std::int16_t rc = GIS_SQL_SUCCESS;
  for (const auto& [number, col] : cols_) {
    if (number > visible) {
      return Fail("07009", 1007, "column " + std::to_string(number) + " is not in the result");
    }
    std::int16_t* indicator = col.indicator == nullptr ? nullptr : col.indicator + element;
    if (col.type == GIS_TYPE_BLOB) {
      // A locator: nothing is written; the row's identity is kept (blob.cpp).
      if (indicator != nullptr) *indicator = PQgetisnull(result_.get(), row, number - 1) ? -1 : 0;
      continue;
    }
    const Value value = DecodeCell(result_.get(), row, number - 1, format_);
    if (value.kind == Value::Kind::kNull) {
      if (indicator != nullptr) *indicator = -1;
      continue;
    }
    std::int32_t fixed = 0;
    const std::int32_t stride =
        col.bufferLength > 0 || !FixedSize(col.type, &fixed) ? col.bufferLength : fixed;
    void* buffer = static_cast<char*>(col.buffer) + static_cast<std::size_t>(stride) * element;
    std::string error;
    if (!StoreValue(value, col.type, buffer, stride, &error)) {
      return Fail("22018", 1722, "column " + std::to_string(number) + ": " + error);
    }
    const std::size_t full = value.bytes.size();
    bool cut = false;
    if (col.type == GIS_TYPE_STRING &&
        (value.kind == Value::Kind::kText || value.kind == Value::Kind::kBytes)) {
      cut = full + 1 > static_cast<std::size_t>(stride);
    } else if (col.type == GIS_TYPE_LONGRAW) {
      cut = full > static_cast<std::size_t>(stride);
    }
    if (indicator != nullptr) {
      *indicator = cut ? static_cast<std::int16_t>(full > 32767 ? -2 : full) : 0;
    }
    if (cut) rc = GIS_SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

std::int16_t PgStatement::Fetch() {
  if (!result_) return Fail("24000", 1002, "no open cursor");
  locatorReady_ = false;
  if (next_ >= PQntuples(result_.get())) return GIS_SQL_NO_DATA;
  const int row = next_++;
  const std::int16_t rc = StoreRow(row, 0);
  if (rc < 0) return rc;
  if (adapted_->forUpdate) TakeLocator(row);
  if (rc == GIS_SQL_SUCCESS_WITH_INFO) Fail("01004", 0, "string data, right truncated", rc);
  return rc;
}

std::int16_t PgStatement::SetStmtOption(std::uint16_t option, std::uint32_t value) {
  if (option != GIS_SQL_ROWSET_SIZE) {
    return Fail("HYC00", 0, "statement option " + std::to_string(option) + " is not supported");
  }
  if (value < 1) return Fail("HY024", 0, "the rowset size must be at least 1");
  rowsetSize_ = value;
  return GIS_SQL_SUCCESS;
}

std::int16_t PgStatement::ExtendedFetch(std::uint16_t orientation, std::int32_t /*offset*/,
                                        std::uint32_t* rowCount, std::uint16_t* rowStatus) {
  if (orientation != GIS_SQL_FETCH_NEXT) {
    return Fail("HYC00", 0, "only forward block fetches are supported");
  }
  if (!result_) return Fail("24000", 1002, "no open cursor");
  locatorReady_ = false;
  if (rowCount != nullptr) *rowCount = 0;
  const int total = PQntuples(result_.get());
  std::uint32_t delivered = 0;
  std::int16_t rc = GIS_SQL_SUCCESS;
  while (delivered < rowsetSize_ && next_ < total) {
    const std::int16_t one = StoreRow(next_, delivered);
    if (one < 0) return one;
    if (one == GIS_SQL_SUCCESS_WITH_INFO) rc = one;
    if (rowStatus != nullptr) rowStatus[delivered] = kRowSuccess;
    ++next_;
    ++delivered;
  }
  if (rowStatus != nullptr) {
    for (std::uint32_t i = delivered; i < rowsetSize_; ++i) rowStatus[i] = kRowNoRow;
  }
  if (rowCount != nullptr) *rowCount = delivered;
  if (delivered == 0) return GIS_SQL_NO_DATA;
  if (rc == GIS_SQL_SUCCESS_WITH_INFO) Fail("01004", 0, "string data, right truncated", rc);
  return rc;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

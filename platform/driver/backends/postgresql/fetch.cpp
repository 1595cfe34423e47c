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

// How many bytes a value needs in a text or binary buffer, to tell a cut.
std::size_t NeededBytes(const Value& v, std::int16_t type) {
  if (type == GIS_TYPE_STRING && (v.kind == Value::Kind::kText || v.kind == Value::Kind::kBytes)) {
    return v.bytes.size() + 1;
  }
  if (type == GIS_TYPE_LONGRAW) return v.bytes.size();
  return 0;
}

}  // namespace

std::int16_t PgStatement::StoreRow(int row, std::uint32_t element) {
  const int visible = adapted_->forUpdate ? adapted_->visibleColumns : PQnfields(result_.get());
  std::int16_t rc = GIS_SQL_SUCCESS;
  for (const auto& [number, col] : cols_) {
    if (number > visible) {
      return Fail("07009", 1007, "column " + std::to_string(number) + " is not in the result");
    }
    const Value value = DecodeCell(result_.get(), row, number - 1, format_);
    const std::size_t stride = static_cast<std::size_t>(col.bufferLength);
    void* buffer =
        col.buffer == nullptr ? nullptr : static_cast<char*>(col.buffer) + stride * element;
    std::int16_t* indicator = col.indicator == nullptr ? nullptr : col.indicator + element;
    if (value.kind == Value::Kind::kNull) {
      if (indicator != nullptr) *indicator = -1;
      continue;
    }
    std::string error;
    if (!StoreValue(value, col.type, buffer, col.bufferLength, &error)) {
      return Fail("22018", 1722, "column " + std::to_string(number) + ": " + error);
    }
    const std::size_t needed = NeededBytes(value, col.type);
    const bool cut = needed > stride && col.type != GIS_TYPE_BLOB;
    if (indicator != nullptr) {
      *indicator = cut ? static_cast<std::int16_t>(needed > 32767 ? 32767 : needed) : 0;
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
  if (rc == GIS_SQL_SUCCESS_WITH_INFO) Fail("01004", 0, "a value was cut to its buffer", rc);
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
  if (rc == GIS_SQL_SUCCESS_WITH_INFO) Fail("01004", 0, "a value was cut to its buffer", rc);
  return rc;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

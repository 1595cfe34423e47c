// Columns: binding checks, moving through rows, and writing each row into
// the caller's buffers (one row, or column-wise rowset arrays whose element
// stride is the bound buffer length).
#include <sqlite3.h>

#include "backends/sqlite/statement.h"

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

bool FixedSize(std::int16_t type, std::int32_t* size) {
  switch (type) {
    case GIS_TYPE_INT:
      *size = 4;
      return true;
    case GIS_TYPE_FLOAT:
      *size = 8;
      return true;
    case GIS_TYPE_DATE:
      *size = 8;
      return true;
    default:
      return false;
  }
}

Value ColumnValue(sqlite3_stmt* s, int index) {
  switch (sqlite3_column_type(s, index)) {
    case SQLITE_INTEGER:
      return Value::Int(sqlite3_column_int64(s, index));
    case SQLITE_FLOAT:
      return Value::Double(sqlite3_column_double(s, index));
    case SQLITE_TEXT: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
      return Value::Text(
          std::string(p ? p : "", static_cast<std::size_t>(sqlite3_column_bytes(s, index))));
    }
    case SQLITE_BLOB: {
      const auto* p = static_cast<const char*>(sqlite3_column_blob(s, index));
      const int n = sqlite3_column_bytes(s, index);
      return Value::Bytes(p ? std::string(p, static_cast<std::size_t>(n)) : std::string());
    }
    default:
      return Value::Null();
  }
}

}  // namespace

int SqliteStatement::VisibleColumns() const {
  if (form_ == nullptr || form_->stmt == nullptr) return 0;
  if (form_->adapted.forUpdate) return form_->adapted.visibleColumns;
  return sqlite3_column_count(form_->stmt);
}

std::int16_t SqliteStatement::BindCol(const ColBinding& b) {
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
      return Fail("HY003", 0, "unknown column type " + std::to_string(b.type));
  }
  if (form_ != nullptr && form_->stmt != nullptr && b.number > VisibleColumns()) {
    return Fail("07009", 0, "column " + std::to_string(b.number) + " is not in the result");
  }
  columns_[b.number] = b;
  return GIS_SQL_SUCCESS;
}

int SqliteStatement::Step() {
  const int rc = sqlite3_step(form_->stmt);
  if (rc == SQLITE_ROW) return 1;
  if (rc == SQLITE_DONE) {
    done_ = true;
    return 0;
  }
  FailSqlite(rc);
  sqlite3_reset(form_->stmt);
  done_ = true;
  return -1;
}

std::int16_t SqliteStatement::Deliver(std::size_t row) {
  std::int16_t result = GIS_SQL_SUCCESS;
  const int visible = VisibleColumns();
  for (const auto& entry : columns_) {
    const ColBinding& b = entry.second;
    if (b.number > visible) {
      return Fail("07009", 0, "column " + std::to_string(b.number) + " is not in the result");
    }
    const int index = b.number - 1;
    std::int16_t* indicator = b.indicator ? b.indicator + row : nullptr;
    if (b.type == GIS_TYPE_BLOB) {
      // A locator: for a row selected for update, remember its identity.
      if (form_->adapted.forUpdate) {
        haveLockedRow_ = true;
        lockedRowid_ = sqlite3_column_int64(form_->stmt, visible);
        putColumn_ = form_->adapted.lockColumns[static_cast<std::size_t>(index)];
      }
      if (indicator) *indicator = sqlite3_column_type(form_->stmt, index) == SQLITE_NULL ? -1 : 0;
      continue;
    }
    const Value v = ColumnValue(form_->stmt, index);
    if (v.kind == Value::Kind::kNull) {
      if (indicator) *indicator = -1;
      continue;
    }
    std::int32_t fixed = 0;
    const std::int32_t stride =
        b.bufferLength > 0 || !FixedSize(b.type, &fixed) ? b.bufferLength : fixed;
    void* target = static_cast<char*>(b.buffer) + row * static_cast<std::size_t>(stride);
    std::string error;
    if (!StoreValue(v, b.type, target, stride, &error)) {
      return Fail("22018", 0, "column " + std::to_string(b.number) + ": " + error);
    }
    std::size_t full = v.bytes.size();
    bool cut = false;
    if (b.type == GIS_TYPE_STRING &&
        (v.kind == Value::Kind::kText || v.kind == Value::Kind::kBytes)) {
      cut = full + 1 > static_cast<std::size_t>(stride);
    } else if (b.type == GIS_TYPE_LONGRAW) {
      cut = full > static_cast<std::size_t>(stride);
    }
    if (indicator) *indicator = cut ? static_cast<std::int16_t>(full > 32767 ? -2 : full) : 0;
    if (cut) {
      Fail("01004", 0, "string data, right truncated");
      result = GIS_SQL_SUCCESS_WITH_INFO;
    }
  }
  return result;
}

std::int16_t SqliteStatement::Fetch() {
  if (!executed_ || form_ == nullptr || form_->stmt == nullptr) {
    return Fail("24000", 0, "no open cursor");
  }
  if (sqlite3_column_count(form_->stmt) == 0)
    return Fail("24000", 0, "the statement has no result");
  haveLockedRow_ = false;
  putting_ = false;
  if (rowPending_) {
    rowPending_ = false;
  } else {
    if (done_) return GIS_SQL_NO_DATA;
    const int r = Step();
    if (r < 0) return GIS_SQL_ERROR;
    if (r == 0) return GIS_SQL_NO_DATA;
  }
  return Deliver(0);
}

std::int16_t SqliteStatement::ExtendedFetch(std::uint16_t orientation, std::int32_t /*offset*/,
                                            std::uint32_t* rowCount, std::uint16_t* rowStatus) {
  if (orientation != GIS_SQL_FETCH_NEXT) return Fail("HY106", 0, "only forward fetches");
  if (!executed_ || form_ == nullptr || form_->stmt == nullptr) {
    return Fail("24000", 0, "no open cursor");
  }
  if (sqlite3_column_count(form_->stmt) == 0)
    return Fail("24000", 0, "the statement has no result");
  if (rowCount) *rowCount = 0;
  std::uint32_t delivered = 0;
  std::int16_t result = GIS_SQL_SUCCESS;
  while (delivered < rowsetSize_) {
    if (rowPending_) {
      rowPending_ = false;
    } else {
      if (done_) break;
      const int r = Step();
      if (r < 0) return GIS_SQL_ERROR;
      if (r == 0) break;
    }
    const std::int16_t rc = Deliver(delivered);
    if (rc < 0) return rc;
    if (rc == GIS_SQL_SUCCESS_WITH_INFO) result = rc;
    if (rowStatus) rowStatus[delivered] = 0;
    ++delivered;
    if (rowCount) *rowCount = delivered;
  }
  if (rowStatus) {
    for (std::uint32_t i = delivered; i < rowsetSize_; ++i) rowStatus[i] = 3;  // no row
  }
  if (delivered == 0) return GIS_SQL_NO_DATA;
  return result;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

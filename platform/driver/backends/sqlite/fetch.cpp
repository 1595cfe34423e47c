// Columns: moving through the result rows and reading their cells for the
// shared fill loop, and keeping the identity of a row selected for update.
#include <sqlite3.h>

#include "backends/sqlite/statement.h"

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

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

// The row the statement stands on.
class CurrentRow : public BoundStatement::Row {
 public:
  CurrentRow(sqlite3_stmt* stmt, int visible) : stmt_(stmt), visible_(visible) {}
  int Visible() const override { return visible_; }
  Value Cell(int index) const override { return ColumnValue(stmt_, index); }
  bool IsNull(int index) const override { return sqlite3_column_type(stmt_, index) == SQLITE_NULL; }
  bool TextCell(int index, std::string_view* text) const override {
    if (sqlite3_column_type(stmt_, index) != SQLITE_TEXT) return false;
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index));
    if (p == nullptr) return false;
    *text = std::string_view(p, static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index)));
    return true;
  }

 private:
  sqlite3_stmt* stmt_;
  int visible_;
};

}  // namespace

int SqliteStatement::PreparedParams() const {
  return form_ == nullptr ? -1 : form_->adapted.callerParams;
}

int SqliteStatement::PreparedColumns() const {
  return form_ == nullptr || form_->stmt == nullptr ? -1 : VisibleColumns();
}

int SqliteStatement::VisibleColumns() const {
  if (form_ == nullptr || form_->stmt == nullptr) return 0;
  if (form_->adapted.forUpdate) return form_->adapted.visibleColumns;
  return sqlite3_column_count(form_->stmt);
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

std::int16_t SqliteStatement::Deliver(std::uint32_t element) {
  const int visible = VisibleColumns();
  const std::int16_t rc = StoreRow(CurrentRow(form_->stmt, visible), element);
  if (rc < 0 || !form_->adapted.forUpdate) return rc;
  // The last column bound as a locator is the one a BLOB write goes to; the
  // row is found again by the rowid the select carried after the visible
  // columns.
  for (const auto& [number, col] : columns_) {
    if (col.type != GIS_TYPE_BLOB) continue;
    if (static_cast<std::size_t>(number) > form_->adapted.lockColumns.size()) break;
    haveLockedRow_ = true;
    lockedRowid_ = sqlite3_column_int64(form_->stmt, visible);
    putColumn_ = form_->adapted.lockColumns[static_cast<std::size_t>(number - 1)];
  }
  return rc;
}

std::int16_t SqliteStatement::DeliverNext(std::uint32_t element) {
  if (rowPending_) {
    rowPending_ = false;
  } else {
    if (done_) return GIS_SQL_NO_DATA;
    const int r = Step();
    if (r < 0) return GIS_SQL_ERROR;
    if (r == 0) return GIS_SQL_NO_DATA;
  }
  return Deliver(element);
}

std::int16_t SqliteStatement::Fetch() {
  if (!executed_ || form_ == nullptr || form_->stmt == nullptr) {
    return Fail("24000", 0, "no open cursor");
  }
  if (sqlite3_column_count(form_->stmt) == 0)
    return Fail("24000", 0, "the statement has no result");
  haveLockedRow_ = false;
  putting_ = false;
  return DeliverNext(0);
}

std::int16_t SqliteStatement::ExtendedFetch(std::uint16_t orientation, std::int32_t /*offset*/,
                                            std::uint32_t* rowCount, std::uint16_t* rowStatus) {
  if (orientation != GIS_SQL_FETCH_NEXT) return Fail("HY106", 0, "only forward fetches");
  if (!executed_ || form_ == nullptr || form_->stmt == nullptr) {
    return Fail("24000", 0, "no open cursor");
  }
  if (sqlite3_column_count(form_->stmt) == 0)
    return Fail("24000", 0, "the statement has no result");
  return FillRowset(rowCount, rowStatus,
                    [this](std::uint32_t element) { return DeliverNext(element); });
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

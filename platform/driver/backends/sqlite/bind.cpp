// Parameters: binding the caller's values and the lifted literals to
// SQLite.
#include <sqlite3.h>

#include "backends/sqlite/statement.h"
#include "dialect/date_format.h"

namespace metashelf {
namespace driver {
namespace sqlite {

bool SqliteStatement::BindValue(sqlite3_stmt* stmt, int slot, const Value& v) {
  int rc = SQLITE_OK;
  switch (v.kind) {
    case Value::Kind::kNull:
      rc = sqlite3_bind_null(stmt, slot);
      break;
    case Value::Kind::kInt:
      rc = sqlite3_bind_int64(stmt, slot, v.integer);
      break;
    case Value::Kind::kDouble:
      rc = sqlite3_bind_double(stmt, slot, v.real);
      break;
    case Value::Kind::kText:
      rc = sqlite3_bind_text64(stmt, slot, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
      break;
    case Value::Kind::kBytes:
      rc = v.bytes.empty()
               ? sqlite3_bind_zeroblob(stmt, slot, 0)
               : sqlite3_bind_blob64(stmt, slot, v.bytes.data(), v.bytes.size(), SQLITE_TRANSIENT);
      break;
    case Value::Kind::kDate: {
      dialect::CivilTime t;
      t.year = v.date.year;
      t.month = v.date.month;
      t.day = v.date.day;
      t.hour = v.date.hour;
      t.minute = v.date.minute;
      t.second = v.date.second;
      const std::string text = dialect::StorageText(t);
      rc = sqlite3_bind_text(stmt, slot, text.c_str(), -1, SQLITE_TRANSIENT);
      break;
    }
  }
  if (rc != SQLITE_OK) {
    FailSqlite(rc);
    return false;
  }
  return true;
}

bool SqliteStatement::BindAll(sqlite3_stmt* stmt, const dialect::Adapted& adapted,
                              const std::vector<Value>& callerValues) {
  sqlite3_reset(stmt);
  const int count = sqlite3_bind_parameter_count(stmt);
  for (int slot = 1; slot <= count; ++slot) {
    if (static_cast<std::size_t>(slot) > adapted.params.size()) break;
    const dialect::ParamSource& src = adapted.params[static_cast<std::size_t>(slot - 1)];
    Value v;
    if (src.kind == dialect::ParamSource::Kind::kCaller) {
      if (src.index >= 1 && static_cast<std::size_t>(src.index) <= callerValues.size()) {
        v = callerValues[static_cast<std::size_t>(src.index - 1)];
      }
    } else {
      if (src.index < 0 || static_cast<std::size_t>(src.index) >= literals_.size()) {
        Fail("HY000", 0, "literal value missing");
        return false;
      }
      // Literals stay alive and unchanged until the statement is reset.
      const dialect::Literal& lit = literals_[static_cast<std::size_t>(src.index)];
      int rc = SQLITE_OK;
      switch (lit.kind) {
        case dialect::Literal::Kind::kInt:
          rc = sqlite3_bind_int64(stmt, slot, lit.integer);
          break;
        case dialect::Literal::Kind::kReal:
          rc = sqlite3_bind_double(stmt, slot, lit.real);
          break;
        case dialect::Literal::Kind::kText:
          rc = sqlite3_bind_text64(stmt, slot, lit.text.data(), lit.text.size(), SQLITE_STATIC,
                                   SQLITE_UTF8);
          break;
      }
      if (rc != SQLITE_OK) {
        FailSqlite(rc);
        return false;
      }
      continue;
    }
    if (!BindValue(stmt, slot, v)) return false;
  }
  return true;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

// Parameters: reading the caller's buffers at execution
// (as ODBC does), and binding values and lifted literals to SQLite.
#include <sqlite3.h>

#include <cstring>

#include "backends/sqlite/statement.h"
#include "dialect/date_format.h"

namespace metashelf {
namespace driver {
namespace sqlite {

bool SqliteStatement::CallerValue(int number, Value* out) {
  auto it = params_.find(number);
  if (it == params_.end()) {
    Fail("07002", 1008,
         "ORA-01008: not all variables bound (parameter " + std::to_string(number) + ")");
    return false;
  }
  const ParamBinding& b = it->second;
  if (b.indicator != nullptr && *b.indicator == -1) {
    *out = Value::Null();
    return true;
  }
  const auto* p = static_cast<const unsigned char*>(b.buffer);
  if (p == nullptr && b.bufferLength > 0) {
    Fail("HY009", 0, "null parameter buffer");
    return false;
  }
  switch (b.valueType) {
    case GIS_TYPE_INT: {
      if (p == nullptr) break;
      if (b.bufferLength == 8) {
        std::int64_t v;
        std::memcpy(&v, p, 8);
        *out = Value::Int(v);
      } else if (b.bufferLength == 2) {
        std::int16_t v;
        std::memcpy(&v, p, 2);
        *out = Value::Int(v);
      } else if (b.bufferLength == 4 || b.bufferLength == 0) {
        std::int32_t v;
        std::memcpy(&v, p, 4);
        *out = Value::Int(v);
      } else {
        break;
      }
      return true;
    }
    case GIS_TYPE_FLOAT: {
      if (p == nullptr) break;
      if (b.bufferLength == 4) {
        float v;
        std::memcpy(&v, p, 4);
        *out = Value::Double(v);
      } else if (b.bufferLength == 8 || b.bufferLength == 0) {
        double v;
        std::memcpy(&v, p, 8);
        *out = Value::Double(v);
      } else {
        break;
      }
      return true;
    }
    case GIS_TYPE_STRING: {
      if (p == nullptr) break;
      std::size_t n = 0;
      if (b.bufferLength > 0) {
        const void* nul = std::memchr(p, 0, static_cast<std::size_t>(b.bufferLength));
        if (nul == nullptr) {
          Fail("HY090", 1480, "ORA-01480: trailing null missing from STR bind value");
          return false;
        }
        n = static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - p);
      } else {
        n = std::strlen(reinterpret_cast<const char*>(p));
      }
      // A zero-length text is NULL, as in Oracle.
      *out = n == 0 ? Value::Null() : Value::Text(std::string(reinterpret_cast<const char*>(p), n));
      return true;
    }
    case GIS_TYPE_LONGRAW:
    case GIS_TYPE_BLOB:
      *out = Value::Bytes(p ? std::string(reinterpret_cast<const char*>(p),
                                          static_cast<std::size_t>(b.bufferLength))
                            : std::string());
      return true;
    case GIS_TYPE_DATE: {
      if (p == nullptr) break;
      OCIDate d;
      std::memcpy(&d, p, sizeof d);
      dialect::CivilTime t;
      t.year = d.year;
      t.month = d.month;
      t.day = d.day;
      t.hour = d.hour;
      t.minute = d.minute;
      t.second = d.second;
      *out = Value::Text(dialect::StorageText(t));
      return true;
    }
  }
  Fail("HY090", 0, "invalid buffer for parameter " + std::to_string(number));
  return false;
}

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

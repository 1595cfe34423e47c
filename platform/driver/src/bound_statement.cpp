// Binding checks and the column fill loop shared by the database backends.
#include "internal/bound_statement.h"

#include <cstring>
#include <string>

#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace {

enum : std::uint16_t { kRowSuccess = 0, kRowNoRow = 3 };
constexpr std::uint32_t kMaxRowsetSize = 1000000;

// A value of type T from a caller's buffer, which need not be aligned for T.
template <typename T>
T Unaligned(const char* p) {
  T v{};
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The buffer size of a fixed-size column type.
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

bool KnownParamType(std::int16_t type) {
  return type == GIS_TYPE_INT || type == GIS_TYPE_FLOAT || type == GIS_TYPE_STRING ||
         type == GIS_TYPE_LONGRAW || type == GIS_TYPE_BLOB || type == GIS_TYPE_DATE;
}

}  // namespace

std::int16_t BoundStatement::BindParameter(const ParamBinding& b) {
  if (!KnownParamType(b.valueType)) {
    return Fail("HY003", 0, "unknown parameter type code " + std::to_string(b.valueType));
  }
  if (b.io != 1) return Fail("HY105", 0, "only input parameters are supported");
  // Binary data may be bound empty: no buffer and no length.
  const bool binary = b.valueType == GIS_TYPE_LONGRAW || b.valueType == GIS_TYPE_BLOB;
  if (b.buffer == nullptr && b.indicator == nullptr && !(b.bufferLength == 0 && binary)) {
    return Fail("HY009", 0, "null parameter buffer");
  }
  if (b.buffer == nullptr && b.bufferLength > 0) {
    return Fail("HY009", 0, "null parameter buffer with a length");
  }
  const int known = PreparedParams();
  if (known >= 0 && b.number > known) {
    return Fail("07009", 0, "parameter " + std::to_string(b.number) + " is not in the text");
  }
  params_[b.number] = b;
  return GIS_SQL_SUCCESS;
}

std::int16_t BoundStatement::BindCol(const ColBinding& b) {
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
  const int known = PreparedColumns();
  if (known >= 0 && b.number > known) {
    return Fail("07009", 0, "column " + std::to_string(b.number) + " is not in the result");
  }
  columns_[b.number] = b;
  return GIS_SQL_SUCCESS;
}

std::int16_t BoundStatement::SetStmtOption(std::uint16_t option, std::uint32_t value) {
  if (option == GIS_SQL_ROWS_TO_BATCH_END) {
    if (value > 1) return Fail("HY024", 0, "rows to the batch's end take 1 or 0");
    rowsToBatchEnd_ = value == 1;
    return GIS_SQL_SUCCESS;
  }
  if (option != GIS_SQL_ROWSET_SIZE) {
    return Fail("HYC00", 0, "statement option " + std::to_string(option) + " is not supported");
  }
  if (value < 1 || value > kMaxRowsetSize) {
    return Fail("HY024", 0, "the rowset size must be between 1 and 1000000");
  }
  rowsetSize_ = value;
  return GIS_SQL_SUCCESS;
}

bool BoundStatement::CallerValue(int number, Value* out) {
  const auto it = params_.find(static_cast<std::uint16_t>(number));
  if (number < 1 || it == params_.end()) {
    Fail("07002", 1008,
         "ORA-01008: not all variables bound (parameter " + std::to_string(number) + ")");
    return false;
  }
  const ParamBinding& b = it->second;
  if (b.indicator != nullptr && *b.indicator == -1) {
    *out = Value::Null();
    return true;
  }
  const auto* p = static_cast<const char*>(b.buffer);
  if (p == nullptr && b.bufferLength > 0) {
    Fail("HY009", 0, "null parameter buffer");
    return false;
  }
  switch (b.valueType) {
    case GIS_TYPE_INT: {
      if (p == nullptr) break;
      if (b.bufferLength == 8) {
        *out = Value::Int(Unaligned<std::int64_t>(p));
      } else if (b.bufferLength == 2) {
        *out = Value::Int(Unaligned<std::int16_t>(p));
      } else if (b.bufferLength == 4 || b.bufferLength == 0) {
        *out = Value::Int(Unaligned<std::int32_t>(p));
      } else {
        break;
      }
      return true;
    }
    case GIS_TYPE_FLOAT: {
      if (p == nullptr) break;
      if (b.bufferLength == 4) {
        *out = Value::Double(Unaligned<float>(p));
      } else if (b.bufferLength == 8 || b.bufferLength == 0) {
        *out = Value::Double(Unaligned<double>(p));
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
        n = static_cast<std::size_t>(static_cast<const char*>(nul) - p);
      } else {
        n = std::strlen(p);
      }
      // A zero-length text is NULL, as in Oracle.
      *out = n == 0 ? Value::Null() : Value::Text(std::string(p, n));
      return true;
    }
    case GIS_TYPE_LONGRAW:
    case GIS_TYPE_BLOB:
      *out = Value::Bytes(p != nullptr ? std::string(p, static_cast<std::size_t>(b.bufferLength))
                                       : std::string());
      return true;
    case GIS_TYPE_DATE: {
      if (p == nullptr || (b.bufferLength != 0 && b.bufferLength < 8)) break;
      const auto d = Unaligned<OCIDate>(p);
      *out = Value::Date(d.year, d.month, d.day, d.hour, d.minute, d.second);
      return true;
    }
    default:
      break;
  }
  Fail("HY090", 0, "invalid buffer for parameter " + std::to_string(number));
  return false;
}

std::int16_t BoundStatement::StoreRow(const Row& row, std::uint32_t element) {
  const int visible = row.Visible();
  std::int16_t rc = GIS_SQL_SUCCESS;
  for (const auto& [number, col] : columns_) {
    if (number > visible) {
      return Fail("07009", 1007, "column " + std::to_string(number) + " is not in the result");
    }
    std::int16_t* indicator = col.indicator == nullptr ? nullptr : col.indicator + element;
    if (col.type == GIS_TYPE_BLOB) {
      // A locator: nothing is written; the backend keeps the row's identity.
      if (indicator != nullptr) *indicator = row.IsNull(number - 1) ? -1 : 0;
      continue;
    }
    std::int32_t fixed = 0;
    const std::int32_t stride =
        col.bufferLength > 0 || !FixedSize(col.type, &fixed) ? col.bufferLength : fixed;
    void* buffer = static_cast<char*>(col.buffer) + static_cast<std::size_t>(stride) * element;
    std::string_view text;
    if (col.type == GIS_TYPE_STRING && col.buffer != nullptr && stride >= 1 &&
        row.TextCell(number - 1, &text)) {
      // A text into a text buffer, as StoreValue writes it, without the
      // copy a Value would make of it.
      const std::size_t room = static_cast<std::size_t>(stride) - 1;
      const std::size_t n = text.size() < room ? text.size() : room;
      if (n > 0) std::memcpy(buffer, text.data(), n);
      static_cast<char*>(buffer)[n] = '\0';
      const bool cut = text.size() + 1 > static_cast<std::size_t>(stride);
      if (indicator != nullptr) {
        *indicator = cut ? static_cast<std::int16_t>(text.size() > 32767 ? -2 : text.size()) : 0;
      }
      if (cut) rc = Fail("01004", 0, "string data, right truncated", GIS_SQL_SUCCESS_WITH_INFO);
      continue;
    }
    const Value value = row.Cell(number - 1);
    if (value.kind == Value::Kind::kNull) {
      if (indicator != nullptr) *indicator = -1;
      continue;
    }
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
    if (cut) rc = Fail("01004", 0, "string data, right truncated", GIS_SQL_SUCCESS_WITH_INFO);
  }
  return rc;
}

std::int16_t BoundStatement::FillRowset(std::uint32_t* rowCount, std::uint16_t* rowStatus,
                                        const std::function<std::int16_t(std::uint32_t)>& next) {
  if (rowCount != nullptr) *rowCount = 0;
  std::uint32_t delivered = 0;
  std::int16_t rc = GIS_SQL_SUCCESS;
  while (delivered < rowsetSize_) {
    const std::int16_t one = next(delivered);
    if (one == GIS_SQL_NO_DATA) break;
    if (one < 0) return one;
    if (one == GIS_SQL_SUCCESS_WITH_INFO) rc = one;
    if (rowStatus != nullptr) rowStatus[delivered] = kRowSuccess;
    ++delivered;
    if (rowCount != nullptr) *rowCount = delivered;
  }
  if (rowStatus != nullptr) {
    for (std::uint32_t i = delivered; i < rowsetSize_; ++i) rowStatus[i] = kRowNoRow;
  }
  if (delivered == 0) return GIS_SQL_NO_DATA;
  if (rc == GIS_SQL_SUCCESS_WITH_INFO) Fail("01004", 0, "string data, right truncated", rc);
  return rc;
}

}  // namespace driver
}  // namespace metashelf

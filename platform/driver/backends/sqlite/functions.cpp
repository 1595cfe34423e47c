// The SQL functions registered on every SQLite connection of the driver.
#include "backends/sqlite/functions.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "backends/sqlite/error.h"
#include "backends/sqlite/sequences.h"
#include "dialect/date_format.h"

namespace metashelf {
namespace driver {
namespace sqlite {
namespace {

std::string TextArg(sqlite3_value* v) {
  const unsigned char* p = sqlite3_value_text(v);
  return p ? std::string(reinterpret_cast<const char*>(p),
                         static_cast<std::size_t>(sqlite3_value_bytes(v)))
           : std::string();
}

// Refuses the call with Oracle's number `oracle`, which the error mapping
// reads back from the extended result code (error.h).
void Refuse(sqlite3_context* ctx, std::int32_t oracle, const std::string& message) {
  sqlite3_result_error(ctx, message.c_str(), -1);
  sqlite3_result_error_code(ctx, OracleResultCode(oracle));
}

void ToDate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (argc < 2 || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return Refuse(ctx, 1821, "ORA-01821: TO_DATE needs a date format");
  }
  dialect::CivilTime v;
  bool isNull = false;
  dialect::Error error;
  if (!dialect::ParseOracleDate(TextArg(argv[0]), TextArg(argv[1]), &v, &isNull, &error)) {
    return Refuse(ctx, error.oracle, error.message);
  }
  if (isNull) return sqlite3_result_null(ctx);
  const std::string out = dialect::StorageText(v);
  sqlite3_result_text(ctx, out.c_str(), -1, SQLITE_TRANSIENT);
}

void ToChar(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const int type = sqlite3_value_type(argv[0]);
  if (type == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (argc < 2) {
    const std::string text = TextArg(argv[0]);
    return sqlite3_result_text(ctx, text.c_str(), -1, SQLITE_TRANSIENT);
  }
  dialect::CivilTime v;
  if (!dialect::ParseStorageText(TextArg(argv[0]), &v)) {
    return Refuse(ctx, 1858, "ORA-01858: the value is not a date");
  }
  std::string out;
  dialect::Error error;
  if (!dialect::FormatOracleDate(v, TextArg(argv[1]), &out, &error)) {
    return Refuse(ctx, error.oracle, error.message);
  }
  sqlite3_result_text(ctx, out.c_str(), -1, SQLITE_TRANSIENT);
}

void LobLength(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB) {
    return sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
  }
  sqlite3_value_text(argv[0]);
  sqlite3_result_int64(ctx, sqlite3_value_bytes(argv[0]));
}

// Steps past one UTF-8 character, never past the terminating NUL.
const unsigned char* Advance(const unsigned char* t) {
  int n = *t < 0xC0 ? 1 : *t < 0xE0 ? 2 : *t < 0xF0 ? 3 : 4;
  ++t;
  while (--n > 0 && *t && (*t & 0xC0) == 0x80) ++t;
  return t;
}

void Like(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  // like(pattern, text[, escape]) is what "text LIKE pattern" calls.
  const unsigned char* pattern = sqlite3_value_text(argv[0]);
  const unsigned char* text = sqlite3_value_text(argv[1]);
  if (!pattern || !text) return;  // NULL
  int escape = -1;
  if (argc == 3) {
    const unsigned char* e = sqlite3_value_text(argv[2]);
    if (!e) return;
    if (sqlite3_value_bytes(argv[2]) != 1) {
      return Refuse(ctx, 1425, "ORA-01425: escape character must be one character");
    }
    escape = e[0];
  }
  sqlite3_result_int(ctx, LikeMatch(pattern, text, escape) ? 1 : 0);
}

// ms_byte_limit(value, n, column): true when `value` is NULL or at most n
// bytes; otherwise refuses with ORA-12899, as Oracle does for a VARCHAR2(n)
// given more than n bytes. The dialect writes it as the column's check.
void ByteLimit(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
  if (sqlite3_value_type(argv[0]) != SQLITE_BLOB) sqlite3_value_text(argv[0]);
  const std::int64_t bytes = sqlite3_value_bytes(argv[0]);
  const std::int64_t limit = sqlite3_value_int64(argv[1]);
  if (bytes <= limit) return sqlite3_result_int(ctx, 1);
  Refuse(ctx, 12899,
         "ORA-12899: value too large for column " + TextArg(argv[2]) +
             " (actual: " + std::to_string(bytes) + ", maximum: " + std::to_string(limit) + ")");
}

SequenceStore* Store(sqlite3_context* ctx) {
  return static_cast<SequenceStore*>(sqlite3_user_data(ctx));
}

void NextVal(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  std::int64_t value = 0;
  std::string error;
  if (!Store(ctx)->Next(TextArg(argv[0]), TextArg(argv[1]), false, &value, &error)) {
    if (Store(ctx)->refusal() != 0) return Refuse(ctx, Store(ctx)->refusal(), error);
    return sqlite3_result_error(ctx, error.c_str(), -1);
  }
  sqlite3_result_int64(ctx, value);
}

void AlterSequence(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  std::string error;
  if (!Store(ctx)->SetIncrement(TextArg(argv[0]), TextArg(argv[1]), sqlite3_value_int64(argv[2]),
                                &error)) {
    if (Store(ctx)->refusal() != 0) return Refuse(ctx, Store(ctx)->refusal(), error);
    return sqlite3_result_error(ctx, error.c_str(), -1);
  }
  sqlite3_result_int(ctx, 1);
}

}  // namespace

bool LikeMatch(const unsigned char* p, const unsigned char* t, int escape) {
  // Iterative matching with one backtrack point for the last "%".
  const unsigned char* starP = nullptr;
  const unsigned char* starT = nullptr;
  while (*t) {
    if (*p == '%') {
      while (*p == '%') ++p;
      if (!*p) return true;
      starP = p;
      starT = t;
      continue;
    }
    if (*p == '_') {
      ++p;
      t = Advance(t);
      continue;
    }
    const unsigned char* lit = p;
    if (escape >= 0 && *p == escape && p[1]) lit = p + 1;
    if (*lit && *lit == *t) {
      p = lit + 1;
      ++t;
      continue;
    }
    if (!starP) return false;
    starT = Advance(starT);
    t = starT;
    p = starP;
  }
  while (*p == '%') ++p;
  return *p == 0;
}

bool RegisterFunctions(sqlite3* db, SequenceStore* sequences, std::string* error) {
  const int det = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  struct Fn {
    const char* name;
    int args;
    int flags;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
    void* data;
  };
  const Fn functions[] = {
      {"to_date", 1, det, ToDate, nullptr},
      {"to_date", 2, det, ToDate, nullptr},
      {"to_char", 1, det, ToChar, nullptr},
      {"to_char", 2, det, ToChar, nullptr},
      {"like", 2, det, Like, nullptr},
      {"like", 3, det, Like, nullptr},
      {"ms_lob_length", 1, det, LobLength, nullptr},
      {"ms_byte_limit", 3, det, ByteLimit, nullptr},
      {"ms_nextval", 2, SQLITE_UTF8, NextVal, sequences},
      {"ms_alter_sequence", 3, SQLITE_UTF8, AlterSequence, sequences},
  };
  for (const Fn& f : functions) {
    if (sqlite3_create_function_v2(db, f.name, f.args, f.flags, f.data, f.fn, nullptr, nullptr,
                                   nullptr) != SQLITE_OK) {
      *error = std::string("cannot register ") + f.name + ": " + sqlite3_errmsg(db);
      return false;
    }
  }
  return true;
}

}  // namespace sqlite
}  // namespace driver
}  // namespace metashelf

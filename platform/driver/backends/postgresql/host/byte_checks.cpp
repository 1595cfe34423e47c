// Finding an owner's tables whose VARCHAR2 columns lack the byte check,
// and adding it. A table that has the check (made with it, or given it at
// an earlier open) is left alone. A column declared narrower than its
// limit (the catalog's OWNER, once 30 characters, where owner names have
// up to 31) is widened to it first, which PostgreSQL does without
// rewriting the table.
#include "backends/postgresql/host/byte_checks.h"

#include <string>

#include "backends/postgresql/connection.h"
#include "dialect/byte_limits.h"
#include "dialect/dialect.h"

namespace metashelf {
namespace host {

using driver::Diagnostic;
using driver::dialect::ByteLimitedColumn;
using driver::dialect::kByteLimitCheck;
using driver::dialect::kByteLimitedColumns;
using driver::postgresql::PgConnection;
using driver::postgresql::ResultPtr;

bool AddByteChecks(PgConnection* connection, const std::string& owner, std::string* error) {
  // Adding a check waits for every transaction on the table to end, and
  // every statement on it after that waits in turn: a table another host
  // is writing keeps its checks missing until a later open instead of
  // holding this open, and everyone behind it, until that host is done.
  Diagnostic wait;
  if (!connection->Run("SET LOCAL lock_timeout = '1s'", {}, &wait)) {
    *error = wait.message;
    return false;
  }
  for (const ByteLimitedColumn& column : kByteLimitedColumns) {
    const std::string check = std::string(kByteLimitCheck) + column.column;
    Diagnostic diag;
    ResultPtr r = connection->Run(
        "SELECT * FROM (SELECT c.table_name, c.character_maximum_length < CAST($6 AS integer) "
        "AS narrow, NOT EXISTS (SELECT 1 FROM "
        "pg_constraint k JOIN pg_class t ON t.oid = k.conrelid JOIN pg_namespace n ON n.oid = "
        "t.relnamespace WHERE n.nspname = c.table_schema AND t.relname = c.table_name AND "
        "k.conname = $4) AS lacking FROM information_schema.columns c "
        "WHERE c.table_schema = lower($1) "
        "AND c.column_name = lower($2) AND c.data_type = 'character varying' "
        "AND c.table_name ~ ('^' || lower($3) || $5 || '$')) q WHERE q.narrow OR q.lacking",
        {owner, std::string(column.column), std::string(column.table), check,
         column.numbered ? "[0-9]+" : "", std::to_string(column.bytes)},
        &diag);
    if (!r) {
      *error = diag.message;
      return false;
    }
    const std::string n = std::to_string(column.bytes);
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      // Names the query found are plain lower-case words and digits.
      const std::string table = PQgetvalue(r.get(), i, 0);
      std::string change;
      if (std::string(PQgetvalue(r.get(), i, 1)) == "t") {
        change = " ALTER COLUMN " + std::string(column.column) + " TYPE VARCHAR(" + n +
                 ") COLLATE \"C\"";
      }
      if (std::string(PQgetvalue(r.get(), i, 2)) == "t") {
        change += std::string(change.empty() ? "" : ",") + " ADD CONSTRAINT \"" + check +
                  "\" CHECK(octet_length(" + column.column + ")<=" + n + ") NOT VALID";
      }
      if (change.empty()) continue;
      if (!connection->Run("ALTER TABLE " + owner + "." + table + change, {}, &diag)) {
        *error = "cannot add the byte check of " + table + ": " + diag.message;
        return false;
      }
    }
  }
  return true;
}

}  // namespace host
}  // namespace metashelf

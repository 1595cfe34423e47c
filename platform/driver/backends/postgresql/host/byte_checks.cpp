// Finding an owner's tables whose VARCHAR2 columns lack the byte check,
// and adding it. A table that has the check (made with it, or given it at
// an earlier open) is left alone.
#include "backends/postgresql/host/byte_checks.h"

#include <vector>

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
  for (const ByteLimitedColumn& column : kByteLimitedColumns) {
    const std::string check = std::string(kByteLimitCheck) + column.column;
    Diagnostic diag;
    ResultPtr r = connection->Run(
        "SELECT c.table_name FROM information_schema.columns c WHERE c.table_schema = lower($1) "
        "AND c.column_name = lower($2) AND c.data_type = 'character varying' "
        "AND c.table_name ~ ('^' || lower($3) || '[0-9]+$') AND NOT EXISTS (SELECT 1 FROM "
        "pg_constraint k JOIN pg_class t ON t.oid = k.conrelid JOIN pg_namespace n ON n.oid = "
        "t.relnamespace WHERE n.nspname = c.table_schema AND t.relname = c.table_name AND "
        "k.conname = $4)",
        {owner, std::string(column.column), std::string(column.tablePrefix), check}, &diag);
    if (!r) {
      *error = diag.message;
      return false;
    }
    std::vector<std::string> tables;
    for (int i = 0; i < PQntuples(r.get()); ++i) tables.emplace_back(PQgetvalue(r.get(), i, 0));
    for (const std::string& table : tables) {
      // Names the query found are plain lower-case words and digits.
      const std::string text = "ALTER TABLE " + owner + "." + table + " ADD CONSTRAINT \"" + check +
                               "\" CHECK(octet_length(" + column.column +
                               ")<=" + std::to_string(column.bytes) + ") NOT VALID";
      if (!connection->Run(text, {}, &diag)) {
        *error = "cannot add the byte check of " + table + ": " + diag.message;
        return false;
      }
    }
  }
  return true;
}

}  // namespace host
}  // namespace metashelf

// Finding the tables that lack their byte checks and adding them as
// triggers. A table made with the check calls ms_byte_limit on the column in
// its text (an older one may name a check that reports only in words); one that has
// the triggers already is left alone, so that opening again adds nothing.
#include "backends/sqlite/host/byte_checks.h"

#include <sqlite3.h>

#include <utility>
#include <vector>

#include "dialect/byte_limits.h"
#include "dialect/dialect.h"
#include "metashelf/base/sql_quote.h"

namespace metashelf {
namespace host {
namespace {

using driver::dialect::ByteLimitedColumn;
using driver::dialect::kByteLimitCheck;
using driver::dialect::kByteLimitedColumns;

std::string Quoted(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

// Tables ("OWNER.TABLE", or "OWNER.PREFIXnnn" for a collection's) of
// `column`'s kind with neither the check in their text nor the trigger.
bool Lacking(sqlite3* db, const ByteLimitedColumn& column, std::vector<std::string>* tables) {
  const std::string check = std::string(kByteLimitCheck) + column.column;
  const std::string sql =
      "SELECT t.name FROM sqlite_master t WHERE t.type='table' AND t.name GLOB '*.' || ?1 || "
      "?4 AND instr(upper(t.sql), 'MS_BYTE_LIMIT(' || ?3)=0 AND NOT EXISTS (SELECT 1 FROM "
      "sqlite_master g WHERE "
      "g.type='trigger' AND g.tbl_name=t.name AND g.name=t.name || '.' || ?2 || '_INSERT')";
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return false;
  sqlite3_bind_text(s, 1, column.table, -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 4, column.numbered ? "[0-9]*" : "", -1, SQLITE_STATIC);
  sqlite3_bind_text(s, 2, check.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_text(s, 3, column.column, -1, SQLITE_STATIC);
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    tables->emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  }
  sqlite3_finalize(s);
  return rc == SQLITE_DONE;
}

std::string Triggers(const std::string& table, const ByteLimitedColumn& column) {
  const std::string check = std::string(kByteLimitCheck) + column.column;
  const std::string col = Quoted(column.column);
  // The same function the column check of a newer table calls, so the
  // refusal carries ORA-12899 as its code, not only in its words.
  const std::string when = " BEGIN SELECT ms_byte_limit(NEW." + col + "," +
                           std::to_string(column.bytes) + "," + base::SqlLiteral(column.column) +
                           "); END;";
  return "CREATE TRIGGER " + Quoted(table + "." + check + "_INSERT") + " BEFORE INSERT ON " +
         Quoted(table) + when + "CREATE TRIGGER " + Quoted(table + "." + check + "_UPDATE") +
         " BEFORE UPDATE OF " + col + " ON " + Quoted(table) + when;
}

}  // namespace

bool AddByteChecks(sqlite3* db, int* added, std::string* error) {
  *added = 0;
  std::vector<std::pair<std::string, const ByteLimitedColumn*>> missing;
  for (const ByteLimitedColumn& column : kByteLimitedColumns) {
    std::vector<std::string> tables;
    if (!Lacking(db, column, &tables)) {
      *error = std::string("cannot read the tables: ") + sqlite3_errmsg(db);
      return false;
    }
    for (std::string& t : tables) missing.emplace_back(std::move(t), &column);
  }
  if (missing.empty()) return true;
  std::string sql = "BEGIN IMMEDIATE;";
  for (const auto& [table, column] : missing) sql += Triggers(table, *column);
  sql += "COMMIT;";
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    *error = std::string("cannot add the byte checks of older tables: ") +
             (message ? message : "failed");
    sqlite3_free(message);
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return false;
  }
  *added = static_cast<int>(2 * missing.size());
  return true;
}

}  // namespace host
}  // namespace metashelf

// A byte-for-byte picture of a whole database as one connection sees it
// (its own uncommitted work included): the definitions of every table,
// index and trigger, then every row of every table. Two pictures are equal
// exactly when nothing was added, changed or removed in between; the tests
// of all-or-nothing writes compare them around a failed operation.
//
// Sequence state is not in the picture: draws are never undone on Oracle,
// nor by the library (PostgreSQL's sequences are no tables; SQLite's table
// MS_SEQUENCES is left out).
//
//   const std::string before = metashelf::testing::CatalogSnapshot(hdbc);
//   ... an operation that fails ...
//   EXPECT_EQ(metashelf::testing::CatalogSnapshot(hdbc), before);
//
// RunRaw runs one statement on the same connection outside the driver
// (a trigger for a test, say).
#ifndef METASHELF_TESTS_SUPPORT_CATALOG_SNAPSHOT_H_
#define METASHELF_TESTS_SUPPORT_CATALOG_SNAPSHOT_H_

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "backends/postgresql/connection.h"
#include "backends/sqlite/connection.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace testing {
namespace snapshot_detail {

// Appends `bytes` with its length first, so that no two sequences of cells
// print alike.
inline void Cell(std::string* out, const char* tag, const char* bytes, std::size_t length) {
  *out += tag;
  *out += std::to_string(length);
  *out += ':';
  out->append(bytes, length);
}

// The rows of `sql` as sorted lines (rows have no order of their own).
// False when the query fails.
inline bool SqliteRows(sqlite3* db, const std::string& sql, std::vector<std::string>* rows) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    sqlite3_finalize(s);
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    std::string row;
    for (int c = 0; c < sqlite3_column_count(s); ++c) {
      const int type = sqlite3_column_type(s, c);
      if (type == SQLITE_NULL) {
        row += "N;";
        continue;
      }
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, c));
      const int length = sqlite3_column_bytes(s, c);
      Cell(&row,
           type == SQLITE_BLOB   ? "B"
           : type == SQLITE_TEXT ? "T"
                                 : "V",
           bytes ? bytes : "", static_cast<std::size_t>(length));
    }
    rows->push_back(row);
  }
  sqlite3_finalize(s);
  std::sort(rows->begin(), rows->end());
  return rc == SQLITE_DONE;
}

inline std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

inline std::string SqliteSnapshot(sqlite3* db) {
  std::vector<std::string> schemas;
  if (!SqliteRows(db, "SELECT name FROM pragma_database_list", &schemas)) return "!databases";
  std::string out;
  for (std::string schema : schemas) {
    schema = schema.substr(schema.find(':') + 1);  // the cell's bytes
    std::vector<std::string> objects;
    if (!SqliteRows(db,
                    "SELECT type,name,sql FROM " + Quoted(schema) +
                        ".sqlite_master WHERE name NOT LIKE 'sqlite_%'",
                    &objects)) {
      return "!objects of " + schema;
    }
    out += "== " + schema + "\n";
    for (const auto& o : objects) out += o + "\n";
    std::vector<std::string> tables;
    SqliteRows(db,
               "SELECT name FROM " + Quoted(schema) +
                   ".sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'",
               &tables);
    for (std::string table : tables) {
      table = table.substr(table.find(':') + 1);
      if (table == "MS_SEQUENCES") continue;
      std::vector<std::string> rows;
      if (!SqliteRows(db, "SELECT * FROM " + Quoted(schema) + "." + Quoted(table), &rows)) {
        return "!rows of " + table;
      }
      out += "-- " + table + "\n";
      for (const auto& r : rows) out += r + "\n";
    }
  }
  return out;
}

inline bool PgRows(PGconn* conn, const std::string& sql, std::vector<std::string>* rows) {
  PGresult* r = PQexec(conn, sql.c_str());
  const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK;
  for (int i = 0; ok && i < PQntuples(r); ++i) {
    std::string row;
    for (int c = 0; c < PQnfields(r); ++c) {
      if (PQgetisnull(r, i, c)) {
        row += "N;";
      } else {
        Cell(&row, "V", PQgetvalue(r, i, c), static_cast<std::size_t>(PQgetlength(r, i, c)));
      }
    }
    rows->push_back(row);
  }
  PQclear(r);
  std::sort(rows->begin(), rows->end());
  return ok;
}

inline std::string PgSnapshot(PGconn* conn) {
  const char* const kUser =
      " NOT IN ('pg_catalog','information_schema','pg_toast') AND %s NOT LIKE 'pg_temp%'";
  auto userSchemas = [&](const char* column) {
    std::string where = kUser;
    where.replace(where.find("%s"), 2, column);
    return std::string(column) + where;
  };
  std::vector<std::string> objects;
  if (!PgRows(conn,
              "SELECT table_schema,table_name,table_type FROM information_schema.tables WHERE " +
                  userSchemas("table_schema"),
              &objects) ||
      !PgRows(
          conn,
          "SELECT schemaname,indexname,indexdef FROM pg_indexes WHERE " + userSchemas("schemaname"),
          &objects) ||
      !PgRows(conn,
              "SELECT event_object_schema,trigger_name,event_manipulation,action_statement "
              "FROM information_schema.triggers WHERE " +
                  userSchemas("event_object_schema"),
              &objects)) {
    return std::string("!objects: ") + PQerrorMessage(conn);
  }
  std::string out;
  for (const auto& o : objects) out += o + "\n";
  std::vector<std::string> tables;
  PgRows(conn,
         "SELECT quote_ident(table_schema)||'.'||quote_ident(table_name) FROM "
         "information_schema.tables WHERE table_type='BASE TABLE' AND " +
             userSchemas("table_schema"),
         &tables);
  for (std::string table : tables) {
    table = table.substr(table.find(':') + 1);
    std::vector<std::string> rows;
    if (!PgRows(conn, "SELECT * FROM " + table, &rows)) {
      return "!rows of " + table + ": " + PQerrorMessage(conn);
    }
    out += "-- " + table + "\n";
    for (const auto& r : rows) out += r + "\n";
  }
  return out;
}

}  // namespace snapshot_detail

// The picture of the database behind `hdbc`; a text starting with "!" when
// it cannot be taken (which then never equals a real picture).
inline std::string CatalogSnapshot(gis_SQLHDBC_STRU* hdbc) {
  if (hdbc == nullptr) return "!no connection";
  if (auto* s = dynamic_cast<driver::sqlite::SqliteConnection*>(hdbc->connection)) {
    return snapshot_detail::SqliteSnapshot(s->db());
  }
  if (auto* p = dynamic_cast<driver::postgresql::PgConnection*>(hdbc->connection)) {
    return snapshot_detail::PgSnapshot(p->raw());
  }
  return "!unknown backend";
}

// Every table of the database behind `hdbc` as "schema"."table" (quoted),
// sorted.
inline std::vector<std::string> UserTables(gis_SQLHDBC_STRU* hdbc) {
  std::vector<std::string> rows;
  std::vector<std::string> out;
  auto bytes = [](const std::string& cell) { return cell.substr(cell.find(':') + 1); };
  if (auto* s = dynamic_cast<driver::sqlite::SqliteConnection*>(hdbc->connection)) {
    std::vector<std::string> schemas;
    snapshot_detail::SqliteRows(s->db(), "SELECT name FROM pragma_database_list", &schemas);
    for (const auto& schema : schemas) {
      std::vector<std::string> tables;
      snapshot_detail::SqliteRows(s->db(),
                                  "SELECT name FROM \"" + bytes(schema) +
                                      "\".sqlite_master WHERE type='table' AND name NOT LIKE "
                                      "'sqlite_%'",
                                  &tables);
      for (const auto& t : tables) out.push_back("\"" + bytes(schema) + "\".\"" + bytes(t) + "\"");
    }
  } else if (auto* p = dynamic_cast<driver::postgresql::PgConnection*>(hdbc->connection)) {
    snapshot_detail::PgRows(p->raw(),
                            "SELECT quote_ident(table_schema)||'.'||quote_ident(table_name) FROM "
                            "information_schema.tables WHERE table_type='BASE TABLE' AND "
                            "table_schema NOT IN ('pg_catalog','information_schema')",
                            &rows);
    for (const auto& r : rows) out.push_back(bytes(r));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Whether the connection behind `hdbc` is a PostgreSQL one.
inline bool IsPostgres(gis_SQLHDBC_STRU* hdbc) {
  return dynamic_cast<driver::postgresql::PgConnection*>(hdbc->connection) != nullptr;
}

// Runs `sql` on the connection behind `hdbc`, outside the driver. The
// error message, or empty on success.
inline std::string RunRaw(gis_SQLHDBC_STRU* hdbc, const std::string& sql) {
  if (auto* s = dynamic_cast<driver::sqlite::SqliteConnection*>(hdbc->connection)) {
    char* message = nullptr;
    if (sqlite3_exec(s->db(), sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return "";
    std::string error = message ? message : "failed";
    sqlite3_free(message);
    return error;
  }
  if (auto* p = dynamic_cast<driver::postgresql::PgConnection*>(hdbc->connection)) {
    PGresult* r = PQexec(p->raw(), sql.c_str());
    const ExecStatusType status = PQresultStatus(r);
    PQclear(r);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return "";
    return PQerrorMessage(p->raw());
  }
  return "unknown backend";
}

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_CATALOG_SNAPSHOT_H_

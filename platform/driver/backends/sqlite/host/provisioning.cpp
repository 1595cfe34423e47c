// Provisioning of an owner's catalog objects on SQLite.
#include "backends/sqlite/host/provisioning.h"

#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/sqlite/connection.h"
#include "backends/sqlite/procedure_source.h"
#include "dialect/byte_limits.h"
#include "dialect/dialect.h"

namespace metashelf {
namespace host {
namespace {

// The KRPG_MD procedures: Oracle-dialect bodies with :1.. for the call's
// arguments; "@" stands for the owner. Adds stamp OWNER, CRTTIME and
// MODTIME; updates stamp MODTIME.
struct Procedure {
  const char* name;
  const char* body;
};
const Procedure kProcedures[] = {
    {"SCHEMA_ADD",
     "INSERT INTO @.KRDB_META_SCHEMA(SCHEMA_ID,SCHEMA_NAME,MTDB_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(:1,:2,:3,:4,'@',SYSDATE,SYSDATE)"},
    {"SCHEMA_DEL", "DELETE FROM @.KRDB_META_SCHEMA WHERE SCHEMA_ID=:1"},
    {"SCHEMA_UPDATENAME",
     "UPDATE @.KRDB_META_SCHEMA SET SCHEMA_NAME=:2,MODTIME=SYSDATE WHERE SCHEMA_ID=:1"},
    {"SCHEMA_UPDATEREMARK",
     "UPDATE @.KRDB_META_SCHEMA SET REMARK=:2,MODTIME=SYSDATE WHERE SCHEMA_ID=:1"},
    {"SCHEMA_UPDATETIME", "UPDATE @.KRDB_META_SCHEMA SET MODTIME=SYSDATE WHERE SCHEMA_ID=:1"},
    {"COLLECTION_ADD",
     "INSERT INTO @.KRDB_META_SET(COL_ID,COL_NAME,SCHEMA_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(:1,:2,:3,:4,'@',SYSDATE,SYSDATE)"},
    {"COLLECTION_DEL", "DELETE FROM @.KRDB_META_SET WHERE COL_ID=:1"},
    {"COLLECTION_UPDATENAME",
     "UPDATE @.KRDB_META_SET SET COL_NAME=:2,MODTIME=SYSDATE WHERE COL_ID=:1"},
    {"COLLECTION_UPDATEREMARK",
     "UPDATE @.KRDB_META_SET SET REMARK=:2,MODTIME=SYSDATE WHERE COL_ID=:1"},
    {"COLLECTION_UPDATETIME", "UPDATE @.KRDB_META_SET SET MODTIME=SYSDATE WHERE COL_ID=:1"},
    // :3 is part of the procedure's signature and carries nothing.
    {"METAINFO_ADD",
     "INSERT INTO @.KRDB_META_INFO(META_ID,COL_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(:1,:2,:4,'@',SYSDATE,SYSDATE)"},
    {"METAINFO_DEL", "DELETE FROM @.KRDB_META_INFO WHERE META_ID=:1"},
    {"METAINFO_UPDATEREMARK",
     "UPDATE @.KRDB_META_INFO SET REMARK=:2,MODTIME=SYSDATE WHERE META_ID=:1"},
    {"METAINFO_UPDATETIME", "UPDATE @.KRDB_META_INFO SET MODTIME=SYSDATE WHERE META_ID=:1"},
};

// The DDL of an owner's objects: "@.NAME" becomes the one-file name of the
// owner's NAME.
std::string WithOwnerTables(const char* text, const std::string& owner) {
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (p[0] == '@' && p[1] == '.') {
      const char* end = p + 2;
      while ((*end >= 'A' && *end <= 'Z') || *end == '_') ++end;
      out += driver::dialect::OwnerTableName(owner, std::string(p + 2, end));
      p = end - 1;
    } else {
      out += *p;
    }
  }
  return out;
}

// A VARCHAR2(n) column of a catalog table: text held to n bytes by the
// check a collection's tables get from the dialect, so that a longer value
// is refused with ORA-12899 here too.
std::string Limited(const char* table, const char* column) {
  const std::string name = column;
  return name + " TEXT CONSTRAINT \"" + driver::dialect::kByteLimitCheck + name +
         "\" CHECK(ms_byte_limit(" + name + "," +
         std::to_string(driver::dialect::CatalogByteLimit(table, column)) + ",'" + name + "'))";
}

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    *error = std::string(message ? message : "statement failed") + " in: " + sql;
    sqlite3_free(message);
    return false;
  }
  return true;
}

}  // namespace

bool ProvisionCatalogObjects(driver::sqlite::SqliteConnection* connection, const std::string& owner,
                             std::string* error) {
  sqlite3* db = connection->db();
  const std::string ddl[] = {
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_SCHEMA(SCHEMA_ID NUMERIC NOT NULL PRIMARY KEY,"
      "MTDB_ID NUMERIC," +
          Limited("KRDB_META_SCHEMA", "SCHEMA_NAME") + "," + Limited("KRDB_META_SCHEMA", "OWNER") +
          "," + Limited("KRDB_META_SCHEMA", "REMARK") +
          ",CRTTIME TEXT,MODTIME TEXT,SCHEMADOC BLOB,NODEINFO BLOB,XPATHDOC BLOB,N2EMAP BLOB)",
      "CREATE INDEX IF NOT EXISTS @.KRDB_META_SCHEMA_MTDB ON @.KRDB_META_SCHEMA(MTDB_ID)",
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_SET(COL_ID NUMERIC NOT NULL PRIMARY KEY," +
          Limited("KRDB_META_SET", "COL_NAME") + ",SCHEMA_ID NUMERIC," +
          Limited("KRDB_META_SET", "REMARK") + "," + Limited("KRDB_META_SET", "OWNER") +
          ",CRTTIME TEXT,MODTIME TEXT)",
      "CREATE INDEX IF NOT EXISTS @.KRDB_META_SET_SCHEMA ON @.KRDB_META_SET(SCHEMA_ID)",
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_INFO(META_ID NUMERIC NOT NULL PRIMARY KEY,"
      "COL_ID NUMERIC," +
          Limited("KRDB_META_INFO", "REMARK") + "," + Limited("KRDB_META_INFO", "OWNER") +
          ",CRTTIME TEXT,MODTIME TEXT)",
      "CREATE INDEX IF NOT EXISTS @.KRDB_META_INFO_COL ON @.KRDB_META_INFO(COL_ID)",
  };
  for (const std::string& statement : ddl) {
    if (!Exec(db, WithOwnerTables(statement.c_str(), owner), error)) return false;
  }
  if (!Exec(db, driver::sqlite::ProcedureSourceDefinition(owner), error)) return false;
  sqlite3_stmt* s = nullptr;
  const std::string insert = driver::sqlite::ProcedureSourceWrite(owner);
  if (sqlite3_prepare_v2(db, insert.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  for (const Procedure& p : kProcedures) {
    const std::string body = driver::dialect::WithOwner(p.body, owner);
    sqlite3_reset(s);
    // Each KRPG_MD procedure is one body.
    sqlite3_bind_text(s, 1, "KRPG_MD", -1, SQLITE_STATIC);
    sqlite3_bind_text(s, 2, p.name, -1, SQLITE_STATIC);
    sqlite3_bind_int(s, 3, 1);
    sqlite3_bind_text(s, 4, body.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(s) != SQLITE_DONE) {
      *error = sqlite3_errmsg(db);
      sqlite3_finalize(s);
      return false;
    }
  }
  sqlite3_finalize(s);
  return connection->sequences().Create(owner, "KRSQ_SCHEMANODEID", 1, error);
}

}  // namespace host
}  // namespace metashelf

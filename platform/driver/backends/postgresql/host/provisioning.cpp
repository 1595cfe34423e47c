// Provisioning of the host registry and of an owner's catalog objects on
// PostgreSQL. Every text is one statement (a procedure body is one
// dollar-quoted literal), run through the extended query protocol.
#include "backends/postgresql/host/provisioning.h"

#include <string>
#include <vector>

#include "backends/postgresql/connection.h"
#include "dialect/byte_limits.h"
#include "dialect/dialect.h"

namespace metashelf {
namespace host {
namespace {

using driver::Diagnostic;
using driver::postgresql::PgConnection;

// Advisory lock keys: one for the registry, one for owner provisioning.
constexpr const char* kRegistryLock = "SELECT pg_advisory_xact_lock(7340561, 1)";
constexpr const char* kOwnerLock = "SELECT pg_advisory_xact_lock(7340561, 2)";

// Oracle's SYSDATE as a DATE holds it: the statement's time, whole seconds.
#define MS_NOW "CAST(statement_timestamp() AS timestamp(0))"

// The KRPG_MD procedures: "@" stands for the owner. Adds stamp OWNER,
// CRTTIME and MODTIME; updates stamp MODTIME. Record ids arrive as decimal
// text.
struct Procedure {
  const char* name;
  const char* params;
  const char* body;
};
const Procedure kProcedures[] = {
    {"schema_add", "p_id numeric, p_name varchar, p_mtdb numeric, p_remark varchar",
     "INSERT INTO @.KRDB_META_SCHEMA(SCHEMA_ID,SCHEMA_NAME,MTDB_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(p_id,p_name,p_mtdb,p_remark,'@'," MS_NOW "," MS_NOW ")"},
    {"schema_del", "p_id numeric", "DELETE FROM @.KRDB_META_SCHEMA WHERE SCHEMA_ID=p_id"},
    {"schema_updatename", "p_id numeric, p_name varchar",
     "UPDATE @.KRDB_META_SCHEMA SET SCHEMA_NAME=p_name,MODTIME=" MS_NOW " WHERE SCHEMA_ID=p_id"},
    {"schema_updateremark", "p_id numeric, p_remark varchar",
     "UPDATE @.KRDB_META_SCHEMA SET REMARK=p_remark,MODTIME=" MS_NOW " WHERE SCHEMA_ID=p_id"},
    {"schema_updatetime", "p_id numeric",
     "UPDATE @.KRDB_META_SCHEMA SET MODTIME=" MS_NOW " WHERE SCHEMA_ID=p_id"},
    {"collection_add", "p_id numeric, p_name varchar, p_schema numeric, p_remark varchar",
     "INSERT INTO @.KRDB_META_SET(COL_ID,COL_NAME,SCHEMA_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(p_id,p_name,p_schema,p_remark,'@'," MS_NOW "," MS_NOW ")"},
    {"collection_del", "p_id numeric", "DELETE FROM @.KRDB_META_SET WHERE COL_ID=p_id"},
    {"collection_updatename", "p_id numeric, p_name varchar",
     "UPDATE @.KRDB_META_SET SET COL_NAME=p_name,MODTIME=" MS_NOW " WHERE COL_ID=p_id"},
    {"collection_updateremark", "p_id numeric, p_remark varchar",
     "UPDATE @.KRDB_META_SET SET REMARK=p_remark,MODTIME=" MS_NOW " WHERE COL_ID=p_id"},
    {"collection_updatetime", "p_id numeric",
     "UPDATE @.KRDB_META_SET SET MODTIME=" MS_NOW " WHERE COL_ID=p_id"},
    // p_unused is part of the procedure's signature and carries nothing.
    {"metainfo_add", "p_id varchar, p_col numeric, p_unused numeric, p_remark varchar",
     "INSERT INTO @.KRDB_META_INFO(META_ID,COL_ID,REMARK,OWNER,CRTTIME,MODTIME) "
     "VALUES(CAST(p_id AS numeric),p_col,p_remark,'@'," MS_NOW "," MS_NOW ")"},
    {"metainfo_del", "p_id varchar",
     "DELETE FROM @.KRDB_META_INFO WHERE META_ID=CAST(p_id AS numeric)"},
    {"metainfo_updateremark", "p_id varchar, p_remark varchar",
     "UPDATE @.KRDB_META_INFO SET REMARK=p_remark,MODTIME=" MS_NOW
     " WHERE META_ID=CAST(p_id AS numeric)"},
    {"metainfo_updatetime", "p_id varchar",
     "UPDATE @.KRDB_META_INFO SET MODTIME=" MS_NOW " WHERE META_ID=CAST(p_id AS numeric)"},
};

// A VARCHAR2(n) column of a catalog table: VARCHAR(n) counts characters,
// so the named check a collection's tables get from the dialect holds it
// to n bytes, and a longer value is refused with ORA-12899.
std::string Limited(const char* table, const char* column) {
  const std::string name = column;
  const std::string n = std::to_string(driver::dialect::CatalogByteLimit(table, column));
  return name + " VARCHAR(" + n + ") COLLATE \"C\" CONSTRAINT \"" +
         driver::dialect::kByteLimitCheck + name + "\" CHECK(octet_length(" + name + ")<=" + n +
         ")";
}

std::vector<std::string> CatalogDdl() {
  return {
      "CREATE SCHEMA IF NOT EXISTS @",
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_SCHEMA(SCHEMA_ID NUMERIC NOT NULL PRIMARY KEY,"
      "MTDB_ID NUMERIC," +
          Limited("KRDB_META_SCHEMA", "SCHEMA_NAME") + "," + Limited("KRDB_META_SCHEMA", "OWNER") +
          "," + Limited("KRDB_META_SCHEMA", "REMARK") +
          ",CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0),"
          "SCHEMADOC BYTEA,NODEINFO BYTEA,XPATHDOC BYTEA,N2EMAP BYTEA)",
      "CREATE INDEX IF NOT EXISTS KRDB_META_SCHEMA_MTDB ON @.KRDB_META_SCHEMA(MTDB_ID)",
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_SET(COL_ID NUMERIC NOT NULL PRIMARY KEY," +
          Limited("KRDB_META_SET", "COL_NAME") + ",SCHEMA_ID NUMERIC," +
          Limited("KRDB_META_SET", "REMARK") + "," + Limited("KRDB_META_SET", "OWNER") +
          ",CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0))",
      "CREATE INDEX IF NOT EXISTS KRDB_META_SET_SCHEMA ON @.KRDB_META_SET(SCHEMA_ID)",
      "CREATE TABLE IF NOT EXISTS @.KRDB_META_INFO(META_ID NUMERIC NOT NULL PRIMARY KEY,"
      "COL_ID NUMERIC," +
          Limited("KRDB_META_INFO", "REMARK") + "," + Limited("KRDB_META_INFO", "OWNER") +
          ",CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0))",
      "CREATE INDEX IF NOT EXISTS KRDB_META_INFO_COL ON @.KRDB_META_INFO(COL_ID)",
      "CREATE SEQUENCE IF NOT EXISTS @.KRSQ_SCHEMANODEID START WITH 1 INCREMENT BY 1 CACHE 1",
  };
}

bool RunAll(PgConnection* connection, const std::vector<std::string>& texts, std::string* error) {
  for (const std::string& text : texts) {
    Diagnostic diag;
    if (!connection->Run(text, {}, &diag)) {
      *error = diag.message;
      return false;
    }
  }
  return true;
}

}  // namespace

bool ProvisionRegistry(PgConnection* connection, std::string* error) {
  const std::string s = kRegistrySchema;
  return RunAll(connection,
                {kRegistryLock, "CREATE SCHEMA IF NOT EXISTS " + s,
                 "CREATE TABLE IF NOT EXISTS " + s +
                     ".ms_catalogs(mtdb_id integer PRIMARY KEY,"
                     "name varchar(128) COLLATE \"C\" NOT NULL UNIQUE,"
                     "owner varchar(32) COLLATE \"C\" NOT NULL)",
                 "CREATE SEQUENCE IF NOT EXISTS " + s + ".ms_mtdb_id MAXVALUE 2147483647",
                 "CREATE SEQUENCE IF NOT EXISTS " + s + ".ms_xclsid MAXVALUE 2147483647"},
                error);
}

bool ProvisionCatalogObjects(PgConnection* connection, const std::string& owner,
                             std::string* error) {
  std::vector<std::string> texts{kOwnerLock};
  for (const std::string& ddl : CatalogDdl())
    texts.push_back(driver::dialect::WithOwner(ddl, owner));
  for (const Procedure& p : kProcedures) {
    texts.push_back(driver::dialect::WithOwner(
        std::string("CREATE OR REPLACE PROCEDURE @.krpg_md_") + p.name + "(" + p.params +
            ") LANGUAGE plpgsql AS $ms$ BEGIN " + p.body + "; END $ms$",
        owner));
  }
  return RunAll(connection, texts, error);
}

}  // namespace host
}  // namespace metashelf

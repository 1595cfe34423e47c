// Tables made before a VARCHAR2(n) column held at most n bytes get the
// check when a database that may be written is opened, on every backend:
// afterwards a longer value fails with ORA-12899 as it does in a new
// table, values that fit still go in, rows stored before stay, and opening
// again changes nothing. The catalog's own tables are held to their bytes
// alike, new or older.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/driver_helpers.h"
#include "support/backends.h"
#include "support/catalog_snapshot.h"

namespace metashelf {
namespace testing {
namespace {

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

class ByteChecksTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ByteChecksTest, OlderTablesGetTheirByteChecksOnOpen) {
  FreshDatabase fresh(GetParam());
  if (!fresh.db) GTEST_SKIP() << fresh.error;
  const bool pg = GetParam() == "postgresql";
  const std::string uri = pg ? fresh.pg->conninfo() : "sqlite:" + fresh.dir.File("test.db");
  // Tables as older versions made them: no check on the bytes.
  const std::string older =
      pg ? "CREATE TABLE metashelf.meta_ndtext_99(metaid numeric, nodeguid numeric, position "
           "numeric, nodevalue varchar(4000) COLLATE \"C\");"
           "CREATE TABLE metashelf.ms_date_99(metaid numeric, nodeguid numeric, lo varchar(10), "
           "hi varchar(10))"
         : "CREATE TABLE \"METASHELF.META_NDTEXT_99\"(MetaID NUMERIC, NODEGUID NUMERIC, POSITION "
           "NUMERIC, NODEVALUE TEXT);"
           "CREATE TABLE \"METASHELF.MS_DATE_99\"(METAID NUMERIC, NODEGUID NUMERIC, LO TEXT, HI "
           "TEXT)";
  ASSERT_EQ(RunRaw(fresh.db->HDBC(), older), "");
  // A value of 4,004 bytes in 1,001 characters, stored before the upgrade.
  const std::string wide = Repeat("\xF0\x9F\x98\x80", 1001);
  const std::string insert =
      "INSERT INTO METASHELF.META_NDTEXT_99(MetaID,NODEGUID,POSITION,NODEVALUE) VALUES(";
  std::string error;
  ASSERT_EQ(RunSql(fresh.db->HDBC(), insert + "1,1,0,'" + wide + "')", &error), 0) << error;

  struct Case {
    std::string text;
    bool fits;
  };
  const std::vector<Case> cases = {
      {insert + "2,1,0,'" + Repeat("a", 4000) + "')", true},
      {insert + "2,1,0,'" + Repeat("a", 4001) + "')", false},
      {insert + "2,1,0,'" + wide + "')", false},
      {"UPDATE METASHELF.META_NDTEXT_99 SET NODEVALUE='" + Repeat("b", 4001) + "' WHERE MetaID=2",
       false},
      {"INSERT INTO METASHELF.MS_DATE_99(METAID,NODEGUID,LO,HI) VALUES(1,1,'2001-01-01','x')",
       true},
      {"INSERT INTO METASHELF.MS_DATE_99(METAID,NODEGUID,LO,HI) VALUES(1,1,'2001-01-011','x')",
       false},
      {"INSERT INTO METASHELF.MS_DATE_99(METAID,NODEGUID,LO,HI) VALUES(1,1,'x','2001-01-011')",
       false},
  };
  for (int open = 1; open <= 2; ++open) {
    auto db = CHostDataBase::Open(uri, &error);
    ASSERT_TRUE(db) << error;
    for (const Case& c : cases) {
      SCOPED_TRACE("open " + std::to_string(open) + ": " + c.text.substr(0, 90));
      const std::int16_t rc = RunSql(db->HDBC(), c.text, &error);
      EXPECT_EQ(rc == 0, c.fits) << error;
      if (!c.fits) {
        EXPECT_EQ(db->LastStatementError().state, "22001");
        EXPECT_EQ(db->LastStatementError().native, 12899);
      }
    }
    const auto rows =
        Rows(db->HDBC(),
             "SELECT POSITION FROM METASHELF.META_NDTEXT_99 WHERE NODEVALUE='" + wide + "'", 1);
    ASSERT_EQ(rows.size(), 1u);  // the row stored before is kept
    ASSERT_EQ(RunSql(db->HDBC(), "DELETE FROM METASHELF.META_NDTEXT_99 WHERE MetaID=2", &error), 0);
  }
}

// The VARCHAR2 columns of the catalog's tables, with the key that names a row.
struct CatalogColumn {
  const char* table;
  const char* key;
  const char* column;
  int bytes;
};
constexpr CatalogColumn kCatalogColumns[] = {
    {"KRDB_META_SCHEMA", "SCHEMA_ID", "SCHEMA_NAME", 128},
    {"KRDB_META_SCHEMA", "SCHEMA_ID", "OWNER", 31},
    {"KRDB_META_SCHEMA", "SCHEMA_ID", "REMARK", 512},
    {"KRDB_META_SET", "COL_ID", "COL_NAME", 128},
    {"KRDB_META_SET", "COL_ID", "OWNER", 31},
    {"KRDB_META_SET", "COL_ID", "REMARK", 512},
    {"KRDB_META_INFO", "META_ID", "OWNER", 31},
    {"KRDB_META_INFO", "META_ID", "REMARK", 512},
};

// The catalog's tables as the version before the byte checks made them.
const char* const kOlderSqliteCatalog =
    "CREATE TABLE \"METASHELF.KRDB_META_SCHEMA\"(SCHEMA_ID NUMERIC NOT NULL PRIMARY KEY,"
    "MTDB_ID NUMERIC,SCHEMA_NAME TEXT,OWNER TEXT,REMARK TEXT,CRTTIME TEXT,MODTIME TEXT,"
    "SCHEMADOC BLOB,NODEINFO BLOB,XPATHDOC BLOB,N2EMAP BLOB);"
    "CREATE TABLE \"METASHELF.KRDB_META_SET\"(COL_ID NUMERIC NOT NULL PRIMARY KEY,"
    "COL_NAME TEXT,SCHEMA_ID NUMERIC,REMARK TEXT,OWNER TEXT,CRTTIME TEXT,MODTIME TEXT);"
    "CREATE TABLE \"METASHELF.KRDB_META_INFO\"(META_ID NUMERIC NOT NULL PRIMARY KEY,"
    "COL_ID NUMERIC,REMARK TEXT,OWNER TEXT,CRTTIME TEXT,MODTIME TEXT)";
const char* const kOlderPgCatalog =
    "CREATE TABLE metashelf.KRDB_META_SCHEMA(SCHEMA_ID NUMERIC NOT NULL PRIMARY KEY,"
    "MTDB_ID NUMERIC,SCHEMA_NAME VARCHAR(128) COLLATE \"C\",OWNER VARCHAR(30) COLLATE \"C\","
    "REMARK VARCHAR(512) COLLATE \"C\",CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0),"
    "SCHEMADOC BYTEA,NODEINFO BYTEA,XPATHDOC BYTEA,N2EMAP BYTEA);"
    "CREATE TABLE metashelf.KRDB_META_SET(COL_ID NUMERIC NOT NULL PRIMARY KEY,"
    "COL_NAME VARCHAR(128) COLLATE \"C\",SCHEMA_ID NUMERIC,REMARK VARCHAR(512) COLLATE \"C\","
    "OWNER VARCHAR(30) COLLATE \"C\",CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0));"
    "CREATE TABLE metashelf.KRDB_META_INFO(META_ID NUMERIC NOT NULL PRIMARY KEY,"
    "COL_ID NUMERIC,REMARK VARCHAR(512) COLLATE \"C\",OWNER VARCHAR(30) COLLATE \"C\","
    "CRTTIME TIMESTAMP(0),MODTIME TIMESTAMP(0))";

// What opening may change: the definitions of the owner's tables, columns
// and checks.
std::vector<std::vector<std::string>> Definitions(gis_SQLHDBC_STRU* hdbc, bool pg) {
  return pg ? Rows(hdbc,
                   "SELECT c.TABLE_NAME, c.COLUMN_NAME, c.CHARACTER_MAXIMUM_LENGTH, k.CHECK_CLAUSE "
                   "FROM INFORMATION_SCHEMA.COLUMNS c LEFT JOIN "
                   "INFORMATION_SCHEMA.CONSTRAINT_COLUMN_USAGE u ON u.TABLE_SCHEMA = "
                   "c.TABLE_SCHEMA AND u.TABLE_NAME = c.TABLE_NAME AND u.COLUMN_NAME = "
                   "c.COLUMN_NAME LEFT JOIN INFORMATION_SCHEMA.CHECK_CONSTRAINTS k ON "
                   "k.CONSTRAINT_SCHEMA = u.CONSTRAINT_SCHEMA AND k.CONSTRAINT_NAME = "
                   "u.CONSTRAINT_NAME WHERE c.TABLE_SCHEMA = 'metashelf' ORDER BY 1, 2, 4",
                   4)
            : Rows(hdbc, "SELECT type, name, sql FROM sqlite_master ORDER BY name", 3);
}

TEST_P(ByteChecksTest, CatalogTablesHoldTheirBytesNewAndOlder) {
  const bool pg = GetParam() == "postgresql";
  for (const bool older : {false, true}) {
    SCOPED_TRACE(older ? "tables of the version before" : "new tables");
    FreshDatabase fresh(GetParam());
    if (!fresh.db) {
      GTEST_SKIP() << fresh.error;
    }
    if (older) {
      ASSERT_EQ(RunRaw(fresh.db->HDBC(), pg ? kOlderPgCatalog : kOlderSqliteCatalog), "");
    } else {
      ASSERT_GT(fresh.db->db_CreateMtdb("default"), 0);
    }
    std::vector<std::vector<std::string>> first;
    for (int open = 1; open <= 2; ++open) {
      std::string error;
      auto db = CHostDataBase::Open(fresh.uri, &error);
      ASSERT_TRUE(db) << error;
      if (open == 1) {
        first = Definitions(db->HDBC(), pg);
        ASSERT_GT(first.size(), 1u) << first[0][0];
      } else {
        EXPECT_EQ(Definitions(db->HDBC(), pg), first) << "the second open changed";
      }
      for (const CatalogColumn& c : kCatalogColumns) {
        const std::string table = std::string("METASHELF.") + c.table;
        const std::string key = c.key;
        const std::string column = c.column;
        // n bytes in n-1 characters fit; n+1 bytes in n characters do not,
        // though a count of characters would let them in.
        const std::string fits = Repeat("a", c.bytes - 2) + "\xC3\xA9";
        const std::string over = Repeat("a", c.bytes - 1) + "\xC3\xA9";
        struct Case {
          std::string text;
          bool fits;
        };
        const Case cases[] = {
            {"INSERT INTO " + table + "(" + key + "," + column + ") VALUES(7,'" + fits + "')",
             true},
            {"UPDATE " + table + " SET " + column + "='" + over + "' WHERE " + key + "=7", false},
            {"INSERT INTO " + table + "(" + key + "," + column + ") VALUES(8,'" + over + "')",
             false},
            {"UPDATE " + table + " SET " + column + "='" + Repeat("b", c.bytes) + "' WHERE " + key +
                 "=7",
             true},
        };
        for (const Case& k : cases) {
          SCOPED_TRACE("open " + std::to_string(open) + ": " + k.text.substr(0, 70));
          EXPECT_EQ(RunSql(db->HDBC(), k.text, &error) == 0, k.fits) << error;
          if (!k.fits) {
            EXPECT_EQ(db->LastStatementError().native, 12899);
          }
        }
        EXPECT_EQ(Rows(db->HDBC(), "SELECT " + column + " FROM " + table, 1),
                  (std::vector<std::vector<std::string>>{{Repeat("b", c.bytes)}}))
            << column;
        ASSERT_EQ(RunSql(db->HDBC(), "DELETE FROM " + table, &error), 0) << error;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ByteChecksTest, ::testing::ValuesIn(Backends()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace testing
}  // namespace metashelf

// The SQLite floor on a hand-made database (a main file and an owner file,
// as the SQLite backend lays them out): it writes exactly the rows added
// since the snapshot, leaves updated rows alone, and in its late-index run
// drops the value indexes and builds them again after the rows, in the
// shape they had.
#include "sqlite_floor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace metashelf::bench {
namespace {

namespace fs = std::filesystem;

void Exec(const fs::path& file, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  const std::string what = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  ASSERT_EQ(rc, SQLITE_OK) << what << " in " << sql;
}

// Every row of `sql`'s result, each rendered as its columns' types and
// values (blobs in hex), so that 1, '1' and x'01' differ.
std::vector<std::string> Rows(const fs::path& file, const std::string& sql) {
  std::vector<std::string> rows;
  sqlite3* db = nullptr;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
    while (sqlite3_step(s) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(s); ++c) {
        row += std::to_string(sqlite3_column_type(s, c)) + ":";
        if (sqlite3_column_type(s, c) == SQLITE_BLOB) {
          const auto* bytes = static_cast<const unsigned char*>(sqlite3_column_blob(s, c));
          for (int b = 0; b < sqlite3_column_bytes(s, c); ++b)
            row += std::to_string(bytes[b]) + ".";
        } else if (sqlite3_column_type(s, c) != SQLITE_NULL) {
          row += reinterpret_cast<const char*>(sqlite3_column_text(s, c));
        }
        row += "|";
      }
      rows.push_back(row);
    }
  } else {
    rows.push_back(std::string("error: ") + sqlite3_errmsg(db));
  }
  sqlite3_finalize(s);
  sqlite3_close(db);
  return rows;
}

class SqliteFloorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() / ("metashelf-floor-" + std::to_string(std::random_device()()));
    fs::create_directories(dir_ / "import");
    Exec(Main("import"),
         "CREATE TABLE KRDB_META_INFO(META_ID NUMERIC NOT NULL PRIMARY KEY, REMARK TEXT);"
         "INSERT INTO KRDB_META_INFO VALUES(1, 'before');"
         "CREATE TABLE META_STRUCTINFO_7(MetaID NUMERIC NOT NULL, STRUCT_INFO BLOB)");
    Exec(Owner("import"),
         "CREATE TABLE META_NDTEXT_7(MetaID NUMERIC NOT NULL, NODEGUID NUMERIC NOT NULL,"
         "POSITION NUMERIC NOT NULL, NODEVALUE TEXT);"
         "CREATE INDEX META_NDTEXT_7_ID ON META_NDTEXT_7(MetaID);"
         "CREATE INDEX META_NDTEXT_7_NV ON META_NDTEXT_7(NODEGUID,NODEVALUE);"
         "INSERT INTO META_NDTEXT_7 VALUES(1, 10, 0, 'present before')");
    ASSERT_TRUE(SqliteFloor::Snapshot(dir_ / "import", dir_ / "floor"));
    ASSERT_TRUE(SqliteFloor::Snapshot(dir_ / "import", dir_ / "late"));
    // What an import adds: a catalog row, a structure row with a document,
    // node rows of every kind of value; and a row it only updates.
    Exec(Main("import"),
         "INSERT INTO KRDB_META_INFO VALUES(2, 'added');"
         "UPDATE KRDB_META_INFO SET REMARK = 'updated' WHERE META_ID = 1;"
         "INSERT INTO META_STRUCTINFO_7 VALUES(2, x'00ff0010')");
    std::string nodes;
    for (int i = 0; i < 40; ++i) {
      const std::string value = i % 10 == 0   ? "NULL"
                                : i % 10 == 1 ? "2.5"
                                              : "'value " + std::to_string(39 - i) + "'";
      nodes += "INSERT INTO META_NDTEXT_7 VALUES(2, " + std::to_string(10 + i % 4) + ", " +
               std::to_string(i) + ", " + value + ");";
    }
    Exec(Owner("import"), nodes);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  fs::path Main(const char* folder) const { return dir_ / folder / "bench.db"; }
  fs::path Owner(const char* folder) const { return dir_ / folder / "bench.O.db"; }

  fs::path dir_;
};

const char* kNodes = "SELECT * FROM META_NDTEXT_7 ORDER BY rowid";
const char* kValueIndex = "SELECT sql FROM sqlite_master WHERE name = 'META_NDTEXT_7_NV'";

TEST_F(SqliteFloorTest, WritesTheAddedRowsAndLeavesUpdatedOnesAlone) {
  SqliteFloor floor;
  ASSERT_TRUE(floor.Capture(Main("import"), Main("floor"))) << floor.error();
  EXPECT_EQ(floor.rows(), 42);
  EXPECT_EQ(floor.leafRows(), 40);
  FloorTime time;
  ASSERT_TRUE(floor.Run(Main("floor"), false, &time)) << floor.error();
  EXPECT_EQ(time.indexesBuilt, 0);
  EXPECT_GT(time.total(), 0);

  EXPECT_EQ(Rows(Owner("floor"), kNodes), Rows(Owner("import"), kNodes));
  EXPECT_EQ(Rows(Main("floor"), "SELECT * FROM META_STRUCTINFO_7"),
            Rows(Main("import"), "SELECT * FROM META_STRUCTINFO_7"));
  EXPECT_EQ(Rows(Main("floor"), "SELECT * FROM KRDB_META_INFO ORDER BY META_ID"),
            (std::vector<std::string>{"1:1|3:before|", "1:2|3:added|"}));
  EXPECT_EQ(Rows(Owner("floor"), kValueIndex), Rows(Owner("import"), kValueIndex));
}

TEST_F(SqliteFloorTest, LateRunBuildsTheValueIndexesAgainInTheirShape) {
  SqliteFloor floor;
  ASSERT_TRUE(floor.Capture(Main("import"), Main("late"))) << floor.error();
  FloorTime time;
  ASSERT_TRUE(floor.Run(Main("late"), true, &time)) << floor.error();
  EXPECT_EQ(time.indexesBuilt, 1);

  EXPECT_EQ(Rows(Owner("late"), kNodes), Rows(Owner("import"), kNodes));
  const std::string indexes = "SELECT name, sql FROM sqlite_master WHERE type = 'index' ORDER BY 1";
  EXPECT_EQ(Rows(Owner("late"), indexes), Rows(Owner("import"), indexes));
  EXPECT_EQ(Rows(Owner("late"), "PRAGMA integrity_check"), std::vector<std::string>{"3:ok|"});
  // The rebuilt index answers: every value of node 11, through it.
  EXPECT_EQ(Rows(Owner("late"),
                 "SELECT count(*) FROM META_NDTEXT_7 INDEXED BY META_NDTEXT_7_NV "
                 "WHERE NODEGUID = 11"),
            std::vector<std::string>{"1:10|"});
}

TEST_F(SqliteFloorTest, ARowTheCopyRefusesFailsTheRun) {
  SqliteFloor floor;
  ASSERT_TRUE(floor.Capture(Main("import"), Main("floor"))) << floor.error();
  // The copy gains the row the floor is about to write: its key collides.
  Exec(Main("floor"), "INSERT INTO KRDB_META_INFO VALUES(2, 'in the way')");
  FloorTime time;
  EXPECT_FALSE(floor.Run(Main("floor"), false, &time));
  EXPECT_NE(floor.error().find("KRDB_META_INFO"), std::string::npos) << floor.error();
}

}  // namespace
}  // namespace metashelf::bench

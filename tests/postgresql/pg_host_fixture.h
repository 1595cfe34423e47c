// The fixture of the PostgreSQL tests that work through the host object: a
// fresh database per test, host objects opened on it (as many as a test
// wants, for concurrent hosts), and one-statement helpers.
#ifndef METASHELF_TESTS_POSTGRESQL_PG_HOST_FIXTURE_H_
#define METASHELF_TESTS_POSTGRESQL_PG_HOST_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "metashelf/driver.h"
#include "metashelf/host.h"
#include "support/postgresql_fresh.h"

namespace metashelf {
namespace testing {

class PgHostTest : public ::testing::Test {
 public:
  // Executes `text` directly on a statement of its own; the result code
  // (-99 when no statement could be made). Also for hosts in other
  // threads or processes.
  static std::int16_t Exec(CHostDataBase* db, const std::string& text) {
    gis_SQLHSTMT s = nullptr;
    if (gis_SQLAllocStmt(db->HDBC(), &s) != 0) return -99;
    const std::int16_t rc = gis_SQLExecDirect(s, text.c_str(), GIS_SQL_NTS);
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    return rc;
  }

  // The integer of the first row's first column; -2 when the query failed.
  static std::int32_t Count(CHostDataBase* db, const std::string& text) {
    gis_SQLHSTMT s = nullptr;
    if (gis_SQLAllocStmt(db->HDBC(), &s) != 0) return -99;
    std::int32_t n = -1;
    std::int16_t ind = 0;
    if (gis_SQLExecDirect(s, text.c_str(), GIS_SQL_NTS) != 0 ||
        gis_SQLBindCol(s, 1, GIS_TYPE_INT, &n, 4, &ind) != 0 || gis_SQLFetch(s) != 0) {
      n = -2;
    }
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    return n;
  }

 protected:
  void SetUp() override {
    METASHELF_REQUIRE_POSTGRESQL();
    fresh_ = std::make_unique<PgFreshDatabase>();
    ASSERT_FALSE(fresh_->conninfo().empty()) << fresh_->error();
  }

  // The fresh database's connection string (for hosts in other threads or
  // processes).
  const std::string& conninfo() const { return fresh_->conninfo(); }

  // A host object on the fresh database, `extra` added to its conninfo;
  // null, with the test failed, when it does not open.
  std::unique_ptr<CHostDataBase> Open(const std::string& extra = std::string()) {
    std::string error;
    auto db = CHostDataBase::Open(fresh_->conninfo() + extra, &error);
    EXPECT_TRUE(db) << error;
    return db;
  }

  std::unique_ptr<PgFreshDatabase> fresh_;
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_POSTGRESQL_PG_HOST_FIXTURE_H_

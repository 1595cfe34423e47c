// The fixture of the PostgreSQL-only driver tests: a fresh database and a
// driver connection on it, with small helpers around the gis_SQL* calls.
#ifndef METASHELF_TESTS_POSTGRESQL_PG_FIXTURE_H_
#define METASHELF_TESTS_POSTGRESQL_PG_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "backends/postgresql/connection.h"
#include "metashelf/driver.h"
#include "support/postgresql_fresh.h"

namespace metashelf {
namespace testing {

class PgDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    METASHELF_REQUIRE_POSTGRESQL();
    fresh_ = std::make_unique<PgFreshDatabase>();
    ASSERT_FALSE(fresh_->conninfo().empty()) << fresh_->error();
    std::string error;
    connection_ = driver::postgresql::PgConnection::Open(fresh_->conninfo(), &error);
    ASSERT_TRUE(connection_) << error;
    hdbc_.connection = connection_.get();
  }
  void TearDown() override {
    connection_.reset();
    fresh_.reset();
  }

  gis_SQLHDBC_STRU* hdbc() { return &hdbc_; }
  driver::postgresql::PgConnection* connection() { return connection_.get(); }
  // The fresh database's connection string, for a second connection.
  const std::string& fresh_conninfo() const { return fresh_->conninfo(); }

  // Executes `text` directly on a statement of its own; the result code.
  std::int16_t Exec(const std::string& text) {
    gis_SQLHSTMT s = nullptr;
    if (gis_SQLAllocStmt(hdbc(), &s) != GIS_SQL_SUCCESS) return -99;
    const std::int16_t rc = gis_SQLExecDirect(s, text.c_str(), GIS_SQL_NTS);
    if (rc < 0) last_error_ = Error(s);
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    return rc;
  }

  // The first column of the first row as text ("<null>" for NULL), or
  // "<no row>", or "<error: ...>".
  std::string One(const std::string& text) { return Rows(text, 1, "<no row>"); }

  // The first column of every row, one line each, or "<error: ...>".
  std::string Lines(const std::string& text) { return Rows(text, -1, ""); }

  static std::string Error(gis_SQLHSTMT s, std::int32_t* native = nullptr,
                           std::string* state = nullptr) {
    char st[6] = {};
    char message[512] = {};
    std::int32_t n = 0;
    std::int16_t length = 0;
    gis_SQLError(nullptr, nullptr, s, st, &n, message, sizeof message, &length);
    if (native != nullptr) *native = n;
    if (state != nullptr) *state = st;
    return std::string(st) + " " + std::to_string(n) + " " + message;
  }

  // Opens a new connection in place of the current one (one a test dropped).
  bool Reconnect(std::string* error) {
    connection_ = driver::postgresql::PgConnection::Open(fresh_->conninfo(), error);
    hdbc_ = gis_SQLHDBC_STRU{};
    hdbc_.connection = connection_.get();
    return connection_ != nullptr;
  }

  std::string last_error_;

 private:
  // The first column of up to `most` rows (all for -1), each line ended by
  // a line break when more than one row is asked for; `none` when there is
  // no row.
  std::string Rows(const std::string& text, int most, const char* none) {
    gis_SQLHSTMT s = nullptr;
    if (gis_SQLAllocStmt(hdbc(), &s) != GIS_SQL_SUCCESS) return "<no statement>";
    char buffer[4096] = {};
    std::int16_t indicator = 0;
    std::string out;
    if (gis_SQLPrepare(s, text.c_str(), GIS_SQL_NTS) != 0 ||
        gis_SQLBindCol(s, 1, GIS_TYPE_STRING, buffer, sizeof buffer, &indicator) != 0 ||
        gis_SQLExecute(s) != 0) {
      out = "<error: " + Error(s) + ">";
    } else {
      int rows = 0;
      std::int16_t rc = 0;
      while ((most < 0 || rows < most) && (rc = gis_SQLFetch(s)) >= 0 && rc != GIS_SQL_NO_DATA) {
        out += indicator == -1 ? "<null>" : buffer;
        if (most != 1) out += "\n";
        ++rows;
      }
      if (rc < 0) out += "<error: " + Error(s) + ">";
      if (rows == 0 && rc >= 0) out = none;
    }
    gis_SQLFreeStmt(s, GIS_SQL_DROP);
    return out;
  }

  std::unique_ptr<PgFreshDatabase> fresh_;
  std::unique_ptr<driver::postgresql::PgConnection> connection_;
  gis_SQLHDBC_STRU hdbc_{};
};

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_POSTGRESQL_PG_FIXTURE_H_

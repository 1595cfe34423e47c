// The SQLite backend's cache of adapted, compiled forms: texts that differ
// only in values share one form, the values still arrive exactly, and
// values that shape a statement (ORDER BY positions) keep their meaning.
#include <gtest/gtest.h>

#include "backends/sqlite/connection.h"
#include "driver/driver_helpers.h"
#include "metashelf/host.h"
#include "support/backends.h"

namespace metashelf {
namespace testing {
namespace {

TEST(SqliteFormCache, TextsOfOneShapeShareAFormAndKeepTheirValues) {
  FreshDatabase fresh("sqlite");
  ASSERT_TRUE(fresh.db) << fresh.error;
  gis_SQLHDBC_STRU* hdbc = fresh.db->HDBC();
  auto* connection = dynamic_cast<driver::sqlite::SqliteConnection*>(hdbc->connection);
  ASSERT_NE(connection, nullptr);
  ASSERT_EQ(RunSql(hdbc, "CREATE TABLE METASHELF.V(ID NUMBER, N NUMBER, S VARCHAR2(50))"), 0);
  const std::size_t before = connection->CachedForms();
  Stmt s(hdbc);
  const char* values[][2] = {{"-9223372036854775807", "'a'"},
                             {"1.5e300", "'it''s'"},
                             {"-0.0000004", "'?:1 --'"},
                             {"9223372036854775807", "'x'"}};
  for (int i = 0; i < 400; ++i) {
    const auto& v = values[i % 4];
    const std::string sql = "insert into METASHELF.V(ID,N,S) values(" + std::to_string(i) + ", " +
                            v[0] + "," + v[1] + ")";
    ASSERT_EQ(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0) << sql << s.Error();
  }
  EXPECT_LE(connection->CachedForms(), before + 1);
  EXPECT_EQ(Rows(hdbc, "SELECT N, S FROM METASHELF.V WHERE ID < 4 ORDER BY ID", 2),
            (std::vector<std::vector<std::string>>{{"-9223372036854775807", "a"},
                                                   {"1.5e+300", "it's"},
                                                   {"-4e-07", "?:1 --"},
                                                   {"9223372036854775807", "x"}}));
  EXPECT_EQ(Rows(hdbc, "SELECT S, ID FROM METASHELF.V WHERE ID < 3 ORDER BY 2 DESC", 1),
            (std::vector<std::vector<std::string>>{{"?:1 --"}, {"it's"}, {"a"}}));
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

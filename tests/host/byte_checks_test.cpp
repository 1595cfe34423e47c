// Tables made before a VARCHAR2(n) column held at most n bytes get the
// check when a database that may be written is opened, on every backend:
// afterwards a longer value fails with ORA-12899 as it does in a new
// table, values that fit still go in, rows stored before stay, and opening
// again changes nothing.
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

INSTANTIATE_TEST_SUITE_P(Backends, ByteChecksTest, ::testing::ValuesIn(Backends()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

}  // namespace
}  // namespace testing
}  // namespace metashelf

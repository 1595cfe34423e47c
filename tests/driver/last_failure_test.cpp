// The reason of the last failed statement, kept on the connection and read
// through the host object's LastStatementError(): it outlives the statement
// that failed, whether or not anyone drained it, and only a new failure
// replaces it.
#include <cstring>

#include "driver/conformance.h"
#include "internal/backend.h"

namespace metashelf {
namespace testing {
namespace {

using driver::Call;

class LastFailureTest : public DriverTest {
 protected:
  CHostDataBase::StatementError Last() const { return fresh_->db->LastStatementError(); }
};

TEST_P(LastFailureTest, DrainedReasonOutlivesItsStatement) {
  EXPECT_EQ(Last().number, 0u);
  EXPECT_TRUE(Last().state.empty());
  EXPECT_TRUE(Last().message.empty());

  MustRun("CREATE TABLE " + Q("K") + "(A NUMBER PRIMARY KEY)");
  MustRun("INSERT INTO " + Q("K") + " VALUES(1)");
  char state[6] = {0};
  std::int32_t native = 0;
  char message[256] = {0};
  {
    Stmt s(hdbc_);
    const std::string sql = "INSERT INTO " + Q("K") + " VALUES(1)";
    ASSERT_LT(gis_SQLExecDirect(s.get(), sql.c_str(), GIS_SQL_NTS), 0);
    std::int16_t length = 0;
    ASSERT_EQ(gis_SQLError(nullptr, nullptr, s.get(), state, &native, message, 256, &length), 0);
  }
  // The statement is gone; its reason is not.
  const CHostDataBase::StatementError kept = Last();
  EXPECT_EQ(kept.number, 1u);
  EXPECT_EQ(kept.state, state);
  EXPECT_EQ(kept.state, "23000");  // a key taken twice, on every backend
  EXPECT_EQ(kept.native, native);
  EXPECT_EQ(kept.message, message);
  EXPECT_FALSE(kept.message.empty());

  // Statements that succeed, and a fetch past the last row, leave it alone.
  MustRun("INSERT INTO " + Q("K") + " VALUES(2)");
  EXPECT_EQ(Rows(hdbc_, "SELECT A FROM " + Q("K") + " WHERE A=99", 1).size(), 0u);
  EXPECT_EQ(Last().number, 1u);
  EXPECT_EQ(Last().message, kept.message);
}

TEST_P(LastFailureTest, ReasonNobodyDrainedIsKeptAndReplacedByTheNext) {
  {
    Stmt s(hdbc_);
    ASSERT_LT(gis_SQLExecDirect(s.get(), "SELECT * FROM NO_SUCH_OWNER.NO_TABLE", GIS_SQL_NTS), 0);
  }
  const CHostDataBase::StatementError first = Last();
  EXPECT_EQ(first.number, 1u);
  EXPECT_EQ(first.state.size(), 5u);
  EXPECT_NE(first.state, "00000");
  EXPECT_FALSE(first.message.empty());

  {
    Stmt s(hdbc_);
    ASSERT_LT(gis_SQLExecDirect(s.get(), "SELEKT 1 FROM DUAL", GIS_SQL_NTS), 0);
  }
  EXPECT_EQ(Last().number, 2u);
  EXPECT_NE(Last().message, first.message);
}

TEST_P(LastFailureTest, FailuresOfTheDriverItselfAreKeptToo) {
  driver::FaultInjector* faults = driver::Faults(hdbc_);
  ASSERT_NE(faults, nullptr);
  faults->FailNth(Call::kExecute, 1);
  {
    Stmt s(hdbc_);
    ASSERT_EQ(gis_SQLPrepare(s.get(), "SELECT 1 FROM DUAL", GIS_SQL_NTS), 0);
    ASSERT_LT(gis_SQLExecute(s.get()), 0);
  }
  EXPECT_EQ(Last().number, 1u);
  EXPECT_EQ(Last().state, "HYT99");
  EXPECT_EQ(Last().message, "injected fault in gis_SQLExecute");

  // A statement that cannot even be allocated has nothing to drain from.
  faults->FailNth(Call::kAllocStmt, 1);
  gis_SQLHSTMT none = nullptr;
  EXPECT_LT(gis_SQLAllocStmt(hdbc_, &none), 0);
  EXPECT_EQ(Last().number, 2u);
  EXPECT_EQ(Last().message, "injected fault in gis_SQLAllocStmt");

  // A bad argument is the driver's own refusal.
  {
    Stmt s(hdbc_);
    std::int32_t v = 0;
    EXPECT_LT(gis_SQLBindCol(s.get(), 0, GIS_TYPE_INT, &v, 4, nullptr), 0);
  }
  EXPECT_EQ(Last().number, 3u);
  EXPECT_EQ(Last().state, "07009");
}

TEST_P(LastFailureTest, HostsOwnFailuresStayInLastError) {
  EXPECT_EQ(fresh_->db->db_CreateMtdb(""), -1);
  EXPECT_FALSE(fresh_->db->LastError().empty());
  EXPECT_EQ(Last().number, 0u);
}

METASHELF_ON_EVERY_BACKEND(LastFailureTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

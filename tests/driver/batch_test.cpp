// Batches (gis_SQLBeginBatch): the units inside one are free and the batch
// is kept or undone whole. Each case runs units inside a batch, on its own
// or inside the host's transaction, and checks what the batch's end
// reports and which rows remain, on every backend.
#include <string>
#include <vector>

#include "driver/conformance.h"

namespace metashelf {
namespace testing {
namespace {

// One unit inside the batch: the value it inserts and how it ends.
struct Step {
  int value;
  bool keep;
};

struct BatchCase {
  const char* name;
  bool hostTransaction;
  std::vector<Step> steps;
  bool endKeeps;            // the batch is ended with commit 1
  bool endSucceeds;         // ... and its end reports success
  std::vector<int> stored;  // rows of the table after the batch (and the host's commit)
};

class BatchTest : public DriverTest {
 protected:
  std::vector<int> Stored() {
    std::vector<int> values;
    for (const auto& row : Rows(hdbc_, "SELECT A FROM " + Q("T") + " ORDER BY A", 1)) {
      values.push_back(std::stoi(row[0]));
    }
    return values;
  }
  bool Insert(int value) {
    std::string error;
    return RunSql(hdbc_, "INSERT INTO " + Q("T") + " VALUES(" + std::to_string(value) + ")",
                  &error) == 0;
  }
};

TEST_P(BatchTest, KeptOrUndoneWhole) {
  const std::vector<BatchCase> cases = {
      {"every unit kept", false, {{1, true}, {2, true}}, true, true, {0, 1, 2}},
      {"one unit undone", false, {{1, true}, {2, false}}, true, false, {0}},
      {"undone by its end", false, {{1, true}}, false, true, {0}},
      {"in the host's transaction", true, {{1, true}, {2, true}}, true, true, {0, 1, 2, 9}},
      {"undone in the host's transaction", true, {{1, false}}, true, false, {0, 9}},
  };
  MustRun("CREATE TABLE " + Q("T") + "(A NUMBER)");
  MustRun("INSERT INTO " + Q("T") + " VALUES(0)");
  for (const BatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.hostTransaction) {
      ASSERT_EQ(fresh_->db->Begin(), 1);
    }
    ASSERT_EQ(gis_SQLBeginBatch(hdbc_), GIS_SQL_SUCCESS);
    for (const Step& step : c.steps) {
      ASSERT_EQ(gis_SQLBeginUnit(hdbc_), GIS_SQL_SUCCESS);
      ASSERT_TRUE(Insert(step.value));
      ASSERT_EQ(gis_SQLEndUnit(hdbc_, step.keep ? 1 : 0), GIS_SQL_SUCCESS);
    }
    const std::uint64_t failures = fresh_->db->LastStatementError().number;
    EXPECT_EQ(gis_SQLEndUnit(hdbc_, c.endKeeps ? 1 : 0) == GIS_SQL_SUCCESS, c.endSucceeds);
    if (c.endSucceeds) {
      EXPECT_EQ(fresh_->db->LastStatementError().number, failures);
    } else {
      EXPECT_EQ(fresh_->db->LastStatementError().state, "25000");
    }
    if (c.hostTransaction) {
      // The host's transaction goes on after its batch, kept or undone.
      ASSERT_TRUE(Insert(9));
      ASSERT_EQ(fresh_->db->Commit(), 1) << fresh_->db->LastError();
    }
    EXPECT_EQ(Stored(), c.stored);
    MustRun("DELETE FROM " + Q("T") + " WHERE A<>0");
  }
}

TEST_P(BatchTest, FailedBatchTakesNoMoreWorkAndInnerBatchesAreFree) {
  MustRun("CREATE TABLE " + Q("T") + "(A NUMBER)");
  ASSERT_EQ(gis_SQLBeginBatch(hdbc_), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLBeginBatch(hdbc_), GIS_SQL_SUCCESS);  // inside a batch: a free unit
  ASSERT_EQ(gis_SQLBeginUnit(hdbc_), GIS_SQL_SUCCESS);
  ASSERT_TRUE(Insert(1));
  ASSERT_EQ(gis_SQLEndUnit(hdbc_, 1), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLBeginUnit(hdbc_), GIS_SQL_SUCCESS);
  ASSERT_EQ(gis_SQLEndUnit(hdbc_, 0), GIS_SQL_SUCCESS);  // fails the batch
  EXPECT_LT(gis_SQLBeginUnit(hdbc_), 0);
  EXPECT_EQ(fresh_->db->LastStatementError().state, "25000");
  EXPECT_LT(gis_SQLEndUnit(hdbc_, 1), 0);  // the inner batch cannot be kept
  EXPECT_LT(gis_SQLEndUnit(hdbc_, 1), 0);  // nor the batch
  EXPECT_TRUE(Stored().empty());
  // The next batch starts clean.
  ASSERT_EQ(gis_SQLBeginBatch(hdbc_), GIS_SQL_SUCCESS);
  ASSERT_TRUE(Insert(2));
  ASSERT_EQ(gis_SQLEndUnit(hdbc_, 1), GIS_SQL_SUCCESS);
  EXPECT_EQ(Stored(), std::vector<int>{2});
}

METASHELF_ON_EVERY_BACKEND(BatchTest);

}  // namespace
}  // namespace testing
}  // namespace metashelf

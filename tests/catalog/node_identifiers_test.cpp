// Blocks of node identifiers from the catalog sequence: one draw, two
// increment changes each followed by a spent draw.
#include "scripted_catalog.h"

namespace {

using NodeIdentifiersTest = ScriptedCatalogTest;

const char kDraw[] = "SELECT GEO.KRSQ_SCHEMANODEID.NEXTVAL INTO :SeqVal FROM DUAL";
const Lines kDrawTrace = {
    "AllocStmt", std::string("Prepare ") + kDraw, "BindCol 1 type 3 len 4", "Execute", "Fetch",
    "FreeStmt 1"};

Lines AlterTrace(int increment) {
  return {"AllocStmt",
          "Prepare ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY " + std::to_string(increment),
          "Execute", "FreeStmt 1"};
}

Lines Join(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

TEST_F(NodeIdentifiersTest, BlockOfThreeMovesTheSequencePastTheBlock) {
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(100)}});
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(102)}});
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(103)}});
  std::vector<std::int64_t> ids = {7};
  catalog.OraGenGuid(3, ids);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{7, 100, 101, 102}));
  EXPECT_EQ(driver.Trace(),
            Join({kDrawTrace, AlterTrace(2), kDrawTrace, AlterTrace(1), kDrawTrace}));
}

TEST_F(NodeIdentifiersTest, BlockOfOneAsksForARefusedIncrementOfZero) {
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(100)}});
  driver.OnExecute("INCREMENT BY 0").Status(-1);  // the database refuses it
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(101)}});
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(1, ids);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{100}));
  Lines refused = AlterTrace(0);
  refused[2] = "Execute -> -1";
  refused.insert(refused.begin() + 3, "Error HY000");  // drained before the free
  EXPECT_EQ(driver.Trace(), Join({kDrawTrace, refused, AlterTrace(1), kDrawTrace}));
}

TEST_F(NodeIdentifiersTest, FailedFirstDrawHandsOutNothing) {
  driver.faults().FailNth(Call::kFetch, 1);
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(4, ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(driver.Texts(), (Lines{kDraw}));  // the increment is left alone

  driver.ClearCalls();
  driver.OnExecute("NEXTVAL").Status(1).Rows({{Value::Int(100)}});  // only 0 counts
  catalog.OraGenGuid(4, ids);
  EXPECT_TRUE(ids.empty());
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(-3)}});
  catalog.OraGenGuid(4, ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(driver.Texts().size(), 2u);
}

TEST_F(NodeIdentifiersTest, EmptyRequestLeavesTheSequenceAlone) {
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(0, ids);
  catalog.OraGenGuid(-2, ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_TRUE(driver.Calls().empty());
  closed.OraGenGuid(3, ids);
  EXPECT_TRUE(ids.empty());
}

// The block was never reserved: handing it out would give its values again
// with the next draws.
TEST_F(NodeIdentifiersTest, UnreservedBlockIsNotHandedOut) {
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(200)}});
  driver.OnExecute("INCREMENT BY 4").Status(-1);
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(5, ids);
  EXPECT_TRUE(ids.empty());
  EXPECT_EQ(driver.Texts(), (Lines{kDraw, "ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 4",
                                   "ALTER SEQUENCE GEO.KRSQ_SCHEMANODEID INCREMENT BY 1", kDraw}));
}

TEST_F(NodeIdentifiersTest, BlockDrawnInsideByAnotherHostLeavesOutItsValue) {
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(100)}});
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(103)}});  // 101 went to another host
  driver.OnExecute("NEXTVAL").Rows({{Value::Int(104)}});
  std::vector<std::int64_t> ids;
  catalog.OraGenGuid(3, ids);
  EXPECT_EQ(ids, (std::vector<std::int64_t>{100, 102, 103}));
  EXPECT_EQ(driver.Trace(),
            Join({kDrawTrace, AlterTrace(2), kDrawTrace, AlterTrace(1), kDrawTrace}));
}

}  // namespace

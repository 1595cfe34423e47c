// The steps of the end of a build on two live PostgreSQL connections: each
// step runs once, after the one it needs; the second connection waits to
// be let in; a step that fails there runs again on the build's connection;
// a failure or steps that wait for each other end the run.
#include "search/finishing_steps.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "search/search_index.h"
#include "support/backends.h"

namespace {

using metashelf::search::FinishingStep;
using metashelf::search::QueryInt;
using metashelf::search::RunAll;
using metashelf::search::RunFinishingSteps;

enum class Outcome { kRuns, kFailsOnOther, kFails };
enum class Sharing { kAtOnce, kNever, kAfterThreeAsks };

struct Step {
  const char* name;
  int after;
  double seconds;
  Outcome outcome = Outcome::kRuns;
};

struct Case {
  const char* what;
  Sharing sharing;
  std::vector<Step> steps;
  bool finished;
  // Queries of the log that must each count 1.
  std::vector<std::string> holds;
};

// A step's statement: a row of the log with the connection that ran it and
// when, written after a sleep.
std::string StepText(const Step& s, std::int64_t ownPid) {
  std::string text = "INSERT INTO STEP_LOG SELECT '" + std::string(s.name) +
                     "',pg_backend_pid(),statement_timestamp(),clock_timestamp() FROM pg_sleep(" +
                     std::to_string(s.seconds) + ")";
  // A division by zero where the step fails (the driver takes the numbers
  // as parameters, which the casts type).
  const std::string divisor =
      s.outcome == Outcome::kFails
          ? "0"
          : "case when pg_backend_pid()=" + std::to_string(ownPid) + " then 1 else 0 end";
  if (s.outcome != Outcome::kRuns) {
    text += " WHERE cast(1 as integer)/cast(" + divisor + " as integer)=1";
  }
  return text;
}

// The count of log rows of step `name` run by the build's connection.
std::string Own(const char* name) {
  return std::string("select count(*) from STEP_LOG where NAME='") + name + "' and PID=OWN";
}
// 1 when step `later` began after `first` ended.
std::string Ordered(const char* first, const char* later) {
  return std::string("select count(*) from STEP_LOG L,STEP_LOG F where L.NAME='") + later +
         "' and F.NAME='" + first + "' and L.STARTED>=F.ENDED";
}

TEST(FinishingStepsTest, StepsRunOnceInTheirOrderOnTheConnectionsLetIn) {
  metashelf::testing::FreshDatabase fresh("postgresql");
  if (!fresh.db) GTEST_SKIP() << fresh.error;
  std::string error;
  std::unique_ptr<CHostDataBase> second = fresh.db->OpenSibling(&error);
  ASSERT_TRUE(second) << error;
  gis_SQLHDBC_STRU* own = fresh.db->HDBC();
  std::int64_t ownPid = 0;
  ASSERT_TRUE(QueryInt(own, "select pg_backend_pid()", &ownPid));
  ASSERT_TRUE(RunAll(own, {"CREATE TABLE STEP_LOG(NAME VARCHAR(8),PID INTEGER,STARTED "
                           "TIMESTAMP WITH TIME ZONE,ENDED TIMESTAMP WITH TIME ZONE)"}));
  const std::string everyOnce =
      "select case when count(*)=count(distinct NAME) then 1 else 0 end from STEP_LOG";
  const std::vector<Case> cases = {
      {"each after the one it needs, on both connections",
       Sharing::kAtOnce,
       {{"a", -1, 0.3}, {"b", 0, 0.05}, {"c", -1, 0.1}, {"d", 2, 0.05}, {"e", 1, 0}},
       true,
       {Ordered("a", "b"), Ordered("c", "d"), Ordered("b", "e"),
        "select count(distinct PID)-1 from STEP_LOG", "select count(*)-4 from STEP_LOG"}},
      {"the second connection never let in",
       Sharing::kNever,
       {{"a", -1, 0.1}, {"b", 0, 0}, {"c", -1, 0.1}},
       true,
       {"select count(*)-2 from STEP_LOG where PID=OWN"}},
      {"a step that fails on the other runs again here",
       Sharing::kAfterThreeAsks,
       {{"a", -1, 0.3}, {"f", -1, 0, Outcome::kFailsOnOther}, {"g", 1, 0}},
       true,
       {Own("f"), Ordered("a", "f"), Ordered("f", "g")}},
      {"a step that fails here ends the run",
       Sharing::kAtOnce,
       {{"x", -1, 0, Outcome::kFails}, {"b", 0, 0}},
       false,
       {"select 1-count(*) from STEP_LOG where NAME='b'"}},
      {"steps that wait for each other, or for one not in the list",
       Sharing::kAtOnce,
       {{"a", 1, 0}, {"b", 0, 0}, {"c", 7, 0}},
       false,
       {"select 1-count(*) from STEP_LOG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(RunAll(own, {"DELETE FROM STEP_LOG"}));
    std::vector<FinishingStep> steps;
    for (const Step& s : c.steps) steps.push_back({{StepText(s, ownPid)}, s.after});
    int asks = 0;
    std::function<bool()> mayShare;
    if (c.sharing == Sharing::kNever) mayShare = [] { return false; };
    if (c.sharing == Sharing::kAfterThreeAsks) mayShare = [&asks] { return ++asks >= 3; };
    EXPECT_EQ(RunFinishingSteps(own, second->HDBC(), steps, mayShare), c.finished);
    std::int64_t count = -1;
    ASSERT_TRUE(QueryInt(own, everyOnce, &count));
    EXPECT_EQ(count, 1);
    for (std::string query : c.holds) {
      const std::size_t at = query.find("OWN");
      if (at != std::string::npos) query.replace(at, 3, std::to_string(ownPid));
      ASSERT_TRUE(QueryInt(own, query, &count)) << query;
      EXPECT_EQ(count, 1) << query;
    }
  }
}

}  // namespace

// Hosts creating catalogs, schemas and collections in one PostgreSQL
// database at the same moment, each on a connection of its own. When their
// statements lock the same tables in different orders the server ends one
// of them as a deadlock's victim; each creation is one unit of work that is
// then done again, so every host ends with every object it created, whole.
// A deadlock is made on purpose (a trigger that takes two locks in the
// order opposite to the other connection's) to prove the retry, with and
// without a host transaction; hosts that simply work at once must all
// succeed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "pg_host_fixture.h"
#include "support/catalog_snapshot.h"

namespace metashelf {
namespace testing {
namespace {

constexpr int kRounds = 3;
constexpr int kHosts = 3;  // the last of another owner

const char kSchema[] =
    "<schemaText name='t'><element name='rec'><element name='title'/></element></schemaText>";

// One host's work: `kRounds` catalogs, each with a schema and two
// collections. The failures it met, with their reasons.
std::vector<std::string> Work(const std::string& conninfo, int host, bool shared,
                              std::atomic<int>* ready) {
  std::vector<std::string> failures;
  std::string error;
  auto db = CHostDataBase::Open(conninfo, &error);
  if (!db) return {"open: " + error};
  // Both start together.
  ready->fetch_add(1);
  while (ready->load() < kHosts) std::this_thread::yield();
  for (int round = 0; round < kRounds; ++round) {
    const std::string tag = std::to_string(host) + "_" + std::to_string(round);
    const std::int32_t mtdb = db->db_CreateMtdb(("c" + tag).c_str());
    COraMetaDataBase catalog;
    if (mtdb < 1 || catalog.mtdb_Open(db.get(), mtdb, 0) != 1) {
      failures.push_back("catalog " + tag + ": " + db->LastError());
      continue;
    }
    const std::int32_t schema = catalog.schema_Add(("S" + tag).c_str(), kSchema, "");
    if (schema < 1) {
      failures.push_back("schema " + tag + ": " + db->LastStatementError().message);
      continue;
    }
    for (const char* name : {"A", "B"}) {
      COraMetaDataSet set;
      if (set.Create(&catalog, schema, (name + tag).c_str(), "") < 1) {
        failures.push_back("collection " + (name + tag) + ": " + db->LastStatementError().message);
      }
    }
    // And one in the catalog they share.
    COraMetaDataBase common;
    COraMetaDataSet set;
    if (shared && (common.mtdb_Open(db.get(), 1, 0) != 1 ||
                   set.Create(&common, 1, ("X" + tag).c_str(), "") < 1)) {
      failures.push_back("shared collection " + tag + ": " + db->LastStatementError().message);
    }
  }
  return failures;
}

using PgConcurrentCreationTest = PgHostTest;

TEST_F(PgConcurrentCreationTest, TwoHostsCreateCatalogsAndCollectionsAtOnce) {
  {
    auto db = Open();
    ASSERT_TRUE(db);
    ASSERT_EQ(db->db_CreateMtdb("shared"), 1);
    COraMetaDataBase shared;
    ASSERT_EQ(shared.mtdb_Open(db.get(), 1, 0), 1);
    ASSERT_EQ(shared.schema_Add("SHARED", kSchema, ""), 1);
  }
  std::atomic<int> ready{0};
  std::vector<std::string> failures[kHosts];
  std::vector<std::thread> hosts;
  for (int h = 0; h < kHosts; ++h) {
    const bool other = h == kHosts - 1;
    hosts.emplace_back([&, h, other] {
      failures[h] = Work(conninfo() + (other ? " owner=OTHER" : ""), h, !other, &ready);
    });
  }
  for (std::thread& t : hosts) t.join();
  for (const auto& list : failures) {
    for (const std::string& failure : list) ADD_FAILURE() << failure;
  }
  // Everything is there: each catalog with its schema and collections.
  auto db = Open();
  ASSERT_TRUE(db);
  ASSERT_EQ(db->ListMtdbs().size(), static_cast<std::size_t>(kHosts * kRounds + 1));
  for (const auto& [id, name] : db->ListMtdbs()) {
    if (id == 1) continue;
    COraMetaDataBase catalog;
    if (catalog.mtdb_Open(db.get(), id, 0) != 1) continue;  // another owner's
    const std::string tag = name.substr(1);
    EXPECT_EQ(catalog.mds_IsExist(("A" + tag).c_str()), 1) << name;
    EXPECT_EQ(catalog.mds_IsExist(("B" + tag).c_str()), 1) << name;
  }
}

TEST_F(PgConcurrentCreationTest, ADeadlockVictimIsCreatedAgain) {
  auto db = Open();
  ASSERT_TRUE(db);
  auto other = Open();
  ASSERT_TRUE(other);
  COraMetaDataBase catalog;
  ASSERT_EQ(catalog.mtdb_Open(db.get(), db->db_CreateMtdb("c"), 0), 1);
  const std::int32_t schema = catalog.schema_Add("S", kSchema, "");
  ASSERT_GT(schema, 0);
  // Registering a collection takes gate2, then gate; the other connection
  // holds gate and then asks for gate2.
  ASSERT_EQ(RunRaw(db->HDBC(),
                   "CREATE TABLE public.ms_gate(a int); CREATE TABLE public.ms_gate2(a int);"
                   "CREATE FUNCTION public.ms_wait() RETURNS trigger LANGUAGE plpgsql AS "
                   "$f$BEGIN LOCK TABLE public.ms_gate2 IN EXCLUSIVE MODE;"
                   "LOCK TABLE public.ms_gate IN EXCLUSIVE MODE; RETURN NEW; END$f$;"
                   "CREATE TRIGGER ms_wait BEFORE INSERT ON metashelf.krdb_meta_set "
                   "FOR EACH ROW EXECUTE FUNCTION public.ms_wait()"),
            "");
  // The other side waits longer before it looks for deadlocks, so that the
  // collection's creation is the one the server undoes.
  RunRaw(other->HDBC(), "SET deadlock_timeout = '10s'");
  for (const bool hostTransaction : {false, true}) {
    SCOPED_TRACE(hostTransaction ? "in a host transaction" : "on its own");
    const std::string name = hostTransaction ? "INSIDE" : "ALONE";
    ASSERT_EQ(RunRaw(other->HDBC(), "BEGIN"), "");
    ASSERT_EQ(RunRaw(other->HDBC(), "LOCK TABLE public.ms_gate IN EXCLUSIVE MODE"), "");
    if (hostTransaction) {
      ASSERT_EQ(db->Begin(), 1);
    }
    std::int32_t created = 0;
    std::thread creator([&] {
      COraMetaDataSet set;
      created = set.Create(&catalog, schema, name.c_str(), "");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(RunRaw(other->HDBC(), "LOCK TABLE public.ms_gate2 IN EXCLUSIVE MODE"), "");
    EXPECT_EQ(RunRaw(other->HDBC(), "COMMIT"), "");
    creator.join();
    EXPECT_GT(created, 0) << db->LastStatementError().message;
    // The deadlock did happen, and its victim was the creation.
    EXPECT_EQ(db->LastStatementError().state, "40001");
    EXPECT_EQ(db->LastStatementError().native, 60);
    if (hostTransaction) {
      ASSERT_EQ(db->Commit(), 1) << db->LastError();
    }
    COraMetaDataSet set;
    EXPECT_EQ(set.Open(&catalog, created), 1);
  }
}

}  // namespace
}  // namespace testing
}  // namespace metashelf

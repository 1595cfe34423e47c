// Every writing operation of sets and catalogs is all-or-nothing, on both
// backends, with and without a host transaction: a failure injected at
// each driver call of the operation in turn, and a database trigger that
// refuses every change to one table in turn, must make the operation
// report failure and leave every table byte for byte as it was (and the
// host's transaction usable, with the host's own work in it neither
// committed nor undone); an operation that still reports success must
// have done its whole work. Inside a batch (gis_SQLBeginBatch) a failed
// operation may leave its work until the batch ends, but the batch's end
// then undoes it: every table is as it was once the batch has ended. A set
// also never acts on another set's record.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "internal/backend.h"
#include "metashelf/blob_data.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "support/backends.h"
#include "support/catalog_snapshot.h"

using metashelf::driver::Call;
using metashelf::testing::CatalogSnapshot;
using metashelf::testing::RunRaw;

namespace {

const char kSchema[] =
    "<schemaText name='t'><element name='rec'>"
    "<element name='title' maxOccurs='unbounded'/><element name='size' type='integer'/>"
    "<element name='west' type='decimal'/><element name='when' type='date'/>"
    "</element></schemaText>";
const char kRecord1[] =
    "<?xml version=\"1.0\"?>\n<rec><title>one</title><title>two</title><size>12</size>"
    "<west>13.5</west><when>2009-07-14</when></rec>";
const char kRecord2[] =
    "<?xml version=\"1.0\"?>\n<rec><title>three</title><size>7</size><west>-1</west>"
    "<when>2010-01-02</when></rec>";

// A catalog with two collections A (records a1 with an attachment, a2) and
// B (record b1) of one schema, a schema without collections, and a second
// catalog holding one schema and nothing else.
struct World {
  explicit World(const std::string& backend) : fresh(backend) {}

  bool Build() {
    if (!fresh.db) return false;
    db = fresh.db.get();
    const std::int32_t mtdbID = db->db_CreateMtdb("sweep");
    spareMtdb = db->db_CreateMtdb("spare");
    if (mtdbID < 1 || spareMtdb < 1 || catalog.mtdb_Open(db, mtdbID, 0) != 1) return false;
    char name[32] = {};
    catalog.GetOraBaseInfo(hdbc, name);
    owner = name;
    // A table of the host's own, written in its transactions.
    if (Exec("CREATE TABLE " + HostWork() + "(N NUMBER)") != 0) return false;
    schemaID = catalog.schema_Add("T", kSchema, "");
    spareSchema = catalog.schema_Add("SPARE", kSchema, "");
    colA = setA.Create(&catalog, schemaID, "A", "");
    colB = setB.Create(&catalog, schemaID, "B", "");
    if (schemaID < 1 || spareSchema < 1 || colA < 1 || colB < 1) return false;
    if (setA.Open(&catalog, colA) != 1 || setB.Open(&catalog, colB) != 1) return false;
    setA.GetCSchemaPtr(&schema);
    a1 = Add(setA, kRecord1);
    a2 = Add(setA, kRecord2);
    b1 = Add(setB, kRecord1);
    char picture[3] = {'p', 'n', 'g'};
    if (a1 < 1 || a2 < 1 || b1 < 1 || setA.AddMetaAdditional(a1, picture, 3) != 1) return false;
    COraMetaDataBase spare;
    return spare.mtdb_Open(db, spareMtdb, 0) == 1 && spare.schema_Add("S", kSchema, "") > 0;
  }

  std::unique_ptr<CBaseMetaData> Record(const char* xml) {
    auto record = std::make_unique<CBaseMetaData>(schema);
    record->LoadXml(xml, static_cast<std::int32_t>(std::strlen(xml)));
    return record;
  }
  std::string HostWork() const { return owner + ".HOST_WORK"; }
  std::int16_t Exec(const std::string& sql) {
    gis_SQLHSTMT stmt = nullptr;
    if (gis_SQLAllocStmt(hdbc, &stmt) != GIS_SQL_SUCCESS) return -1;
    const std::int16_t rc = gis_SQLExecDirect(stmt, sql.c_str(), GIS_SQL_NTS);
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return rc;
  }
  // Rows of the host's own table; -1 when it cannot be read.
  std::int32_t HostRows() {
    gis_SQLHSTMT stmt = nullptr;
    if (gis_SQLAllocStmt(hdbc, &stmt) != GIS_SQL_SUCCESS) return -1;
    std::int32_t count = -1;
    std::int16_t indicator = 0;
    const std::string sql = "SELECT COUNT(*) FROM " + HostWork();
    if (gis_SQLPrepare(stmt, sql.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS ||
        gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, &count, 4, &indicator) != GIS_SQL_SUCCESS ||
        gis_SQLExecute(stmt) != GIS_SQL_SUCCESS || gis_SQLFetch(stmt) != GIS_SQL_SUCCESS) {
      count = -1;
    }
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return count;
  }
  std::int64_t Add(COraMetaDataSet& set, const char* xml) {
    return set.AddMetaData(Record(xml).get());
  }
  std::string Xml(const CBaseMetaData& record) {
    std::string xml;
    record.ToXml(xml);
    return xml;
  }
  // Whether `set` reads record `id` back as `xml` reads.
  bool Holds(COraMetaDataSet& set, std::int64_t id, const char* xml) {
    CBaseMetaData back(schema);
    return set.GetMetaData(id, &back) == 1 && Xml(back) == Xml(*Record(xml));
  }
  bool Attached(std::int64_t id, const std::string& bytes) {
    std::int32_t size = -1;
    if (setA.GetMetaAdditionalSize(id, size) != 1 || size != static_cast<int>(bytes.size())) {
      return false;
    }
    std::string back(bytes.size(), '\0');
    return setA.GetMetaAdditional(id, &back[0], size) == 1 && back == bytes;
  }

  metashelf::testing::FreshDatabase fresh;
  CHostDataBase* db = nullptr;
  COraMetaDataBase catalog;
  COraMetaDataSet setA, setB;
  CSchema* schema = nullptr;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  std::string owner;
  std::int32_t schemaID = 0, spareSchema = 0, colA = 0, colB = 0, spareMtdb = 0;
  std::int64_t a1 = 0, a2 = 0, b1 = 0;
  std::int64_t result = 0;  // what the operation under test returned
};

// One writing operation: `run` reports success, `whole` checks that a
// success did all of its work.
struct Operation {
  const char* name;
  std::function<bool(World&)> run;
  std::function<bool(World&)> whole;
};

std::string Bytes(int n) {
  std::string bytes;
  for (int i = 0; i < n; ++i) bytes += static_cast<char>(i * 37);
  return bytes;
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"AddMetaData", [](World& w) { return (w.result = w.Add(w.setA, kRecord2)) > 0; },
       [](World& w) { return w.Holds(w.setA, w.result, kRecord2); }},
      {"UpdateMetaData",
       [](World& w) { return w.setA.UpdateMetaData(w.a1, w.Record(kRecord2).get()) == 1; },
       [](World& w) { return w.Holds(w.setA, w.a1, kRecord2) && w.Attached(w.a1, "png"); }},
      {"DelMetaData", [](World& w) { return w.setA.DelMetaData(w.a1) == 1; },
       [](World& w) {
         std::int32_t count = -1;
         CBaseMetaData back(w.schema);
         std::int32_t size = -1;
         return w.setA.GetNum(&count) == 1 && count == 1 && w.setA.GetMetaData(w.a1, &back) == 0 &&
                w.setA.GetMetaAdditionalSize(w.a1, size) == 0 && w.Holds(w.setA, w.a2, kRecord2);
       }},
      {"AddMetaAdditional",
       [](World& w) {
         std::string bytes = Bytes(300);
         return w.setA.AddMetaAdditional(w.a2, &bytes[0], 300) == 1;
       },
       [](World& w) { return w.Attached(w.a2, Bytes(300)); }},
      {"UpdateMetaAdditional",
       [](World& w) {
         std::string bytes = Bytes(40);
         return w.setA.UpdateMetaAdditional(w.a1, &bytes[0], 40) == 1;
       },
       [](World& w) { return w.Attached(w.a1, Bytes(40)); }},
      {"DelMetaAdditional", [](World& w) { return w.setA.DelMetaAdditional(w.a1) == 1; },
       [](World& w) {
         std::int32_t size = -1;
         return w.setA.GetMetaAdditionalSize(w.a1, size) == 0 && w.Holds(w.setA, w.a1, kRecord1);
       }},
      {"schema_Add",
       [](World& w) { return (w.result = w.catalog.schema_Add("NEW", kSchema, "r")) > 0; },
       [](World& w) {
         // Registered with each of its four documents.
         const auto id = static_cast<std::int32_t>(w.result);
         for (auto get : {&COraMetaDataBase::GetSchemaDoc, &COraMetaDataBase::GetNodeInfo,
                          &COraMetaDataBase::GetXPathDoc, &COraMetaDataBase::GetN2EMAP}) {
           CBlobData blob;
           if ((w.catalog.*get)(id, &blob) != 1 || blob.GetDataLength() < 1) return false;
         }
         return true;
       }},
      {"schema_Del", [](World& w) { return w.catalog.schema_Del(w.spareSchema) == 1; },
       [](World& w) {
         std::int32_t id = 0;
         char spare[] = "SPARE";
         char kept[] = "T";
         return w.catalog.schema_GetID(spare, &id) == 0 && w.catalog.schema_GetID(kept, &id) == 1;
       }},
      {"Create",
       [](World& w) {
         COraMetaDataSet set;
         return (w.result = set.Create(&w.catalog, w.schemaID, "C", "")) > 0;
       },
       [](World& w) {
         // Registered, with its five tables, and empty.
         COraMetaDataSet set;
         std::int32_t count = -1;
         int tables = 0;
         const std::string tail = "_" + std::to_string(w.result);
         for (std::string t : metashelf::testing::UserTables(w.hdbc)) {
           if (!t.empty() && t.back() == '"') t.pop_back();
           tables +=
               t.size() > tail.size() && t.compare(t.size() - tail.size(), tail.size(), tail) == 0;
         }
         return set.Open(&w.catalog, static_cast<std::int32_t>(w.result)) == 1 &&
                set.GetNum(&count) == 1 && count == 0 && tables == 5;
       }},
      {"Remove",
       [](World& w) {
         COraMetaDataSet set;
         return set.Remove(&w.catalog, w.colB) == 1;
       },
       [](World& w) { return w.catalog.mds_IsExist("B") == 0 && w.Holds(w.setA, w.a1, kRecord1); }},
      {"mtdb_Remove",
       [](World& w) {
         COraMetaDataBase spare;
         return spare.mtdb_Remove(w.db, w.spareMtdb) == 1;
       },
       [](World& w) { return w.db->FindMtdb("spare") == 0 && w.db->FindMtdb("sweep") > 0; }},
  };
  return ops;
}

// The calls whose failure is injected: every driver entry point the
// library calls (gis_SQLError is never failed: it reports failures).
std::vector<Call> FailableCalls() {
  std::vector<Call> calls;
  for (int c = static_cast<int>(Call::kAllocStmt); c <= static_cast<int>(Call::kEndUnit); ++c) {
    if (static_cast<Call>(c) != Call::kError) calls.push_back(static_cast<Call>(c));
  }
  return calls;
}

struct Tally {
  int injected = 0;         // failures injected (fault hook or trigger)
  int reportedFailure = 0;  // ... after which the operation reported failure
  int wholeSuccesses = 0;   // ... after which it reported success and did all of its work
  int leftovers = 0;        // a failure that left any table changed
  int falseSuccesses = 0;   // a success that did not do all of its work
};

// How an operation runs: in a host transaction (rolled back afterwards),
// on its own, or in a batch ended with `commit` 1 right after it.
enum class Around { kHost, kOwn, kBatch };

const char* AroundText(Around around) {
  return around == Around::kHost ? ", host transaction" : around == Around::kBatch ? ", batch" : "";
}

class WriteAtomicityTest : public ::testing::TestWithParam<std::string> {
 protected:
  bool Rebuild() {
    world.reset();
    world = std::make_unique<World>(GetParam());
    return world->Build();
  }

  // Runs `op` once as the sweep does, `around` it what `around` says;
  // `arm` sets up the failure. Returns false when the world had to be
  // rebuilt and could not be.
  bool Attempt(const Operation& op, Around around, const std::function<void()>& arm,
               const std::function<void()>& disarm, const std::string& reason, Tally* tally) {
    const bool refusal = reason.rfind("trigger", 0) == 0;
    World& w = *world;
    if (around == Around::kHost && w.db->Begin() != 1) {
      ADD_FAILURE() << "Begin: " << w.db->LastError();
      return false;
    }
    // The host's own work before the operation: still there after it, and
    // gone with the host's rollback.
    if (around == Around::kHost && w.Exec("INSERT INTO " + w.HostWork() + " VALUES(1)") != 0) {
      ADD_FAILURE() << "the host's own insert failed";
      return false;
    }
    const std::string before = CatalogSnapshot(w.hdbc);
    if (around == Around::kBatch && gis_SQLBeginBatch(w.hdbc) != GIS_SQL_SUCCESS) {
      ADD_FAILURE() << "gis_SQLBeginBatch failed";
      return false;
    }
    const std::uint64_t failuresBefore = w.db->LastStatementError().number;
    arm();
    bool ok = op.run(w);
    disarm();
    ++tally->injected;
    if (!ok) {
      // The database's reason is kept: on the connection, or for the host's
      // own registry step in its LastError().
      const bool kept = w.db->LastStatementError().number > failuresBefore ||
                        (refusal && w.db->LastError().find("refused") != std::string::npos);
      EXPECT_TRUE(kept) << op.name << " (" << reason << ") gave no reason";
    }
    // A batch is kept only when its end succeeds; one whose operation
    // failed must be undone by it.
    if (around == Around::kBatch && gis_SQLEndUnit(w.hdbc, 1) != GIS_SQL_SUCCESS) ok = false;
    bool changed = false;
    if (!ok) {
      ++tally->reportedFailure;
      if (CatalogSnapshot(w.hdbc) != before) {
        ++tally->leftovers;
        ADD_FAILURE() << "leftover after a failed " << op.name << " (" << reason << ")";
      }
    } else if (op.whole(w)) {
      ++tally->wholeSuccesses;
      changed = true;
    } else {
      ++tally->falseSuccesses;
      changed = true;
      ADD_FAILURE() << op.name << " reported success without its whole work (" << reason << ")";
    }
    if (around == Around::kHost) {
      if (w.db->Rollback() != 1) {
        ADD_FAILURE() << "the host's transaction was lost: " << w.db->LastError();
        return Rebuild();
      }
      if (w.HostRows() != 0) {
        ADD_FAILURE() << op.name << " (" << reason << ") committed the host's own work";
        return Rebuild();
      }
      return true;
    }
    return changed ? Rebuild() : true;
  }

  std::unique_ptr<World> world;
};

TEST_P(WriteAtomicityTest, EveryOperationSucceedsWholeWithoutFaults) {
  for (const Operation& op : Operations()) {
    for (const Around around : {Around::kHost, Around::kOwn, Around::kBatch}) {
      SCOPED_TRACE(std::string(op.name) + AroundText(around));
      ASSERT_TRUE(Rebuild()) << world->fresh.error;
      if (around == Around::kHost) {
        ASSERT_EQ(world->db->Begin(), 1);
        ASSERT_EQ(world->Exec("INSERT INTO " + world->HostWork() + " VALUES(1)"), 0);
      }
      if (around == Around::kBatch) {
        ASSERT_EQ(gis_SQLBeginBatch(world->hdbc), GIS_SQL_SUCCESS);
      }
      ASSERT_TRUE(op.run(*world));
      EXPECT_TRUE(op.whole(*world));
      if (around == Around::kHost) {
        ASSERT_EQ(world->db->Commit(), 1) << world->db->LastError();
        EXPECT_EQ(world->HostRows(), 1);  // the host's work went with its commit
      }
      if (around == Around::kBatch) {
        ASSERT_EQ(gis_SQLEndUnit(world->hdbc, 1), GIS_SQL_SUCCESS);
      }
      EXPECT_TRUE(op.whole(*world));  // and it stays after the end
    }
  }
}

TEST_P(WriteAtomicityTest, AFailureAtAnyDriverCallLeavesEveryTableAsItWas) {
  ASSERT_TRUE(Rebuild()) << world->fresh.error;
  Tally tally;
  for (const Operation& op : Operations()) {
    // Count the calls of one clean run, undone by the host's rollback.
    auto* faults = metashelf::driver::Faults(world->hdbc);
    ASSERT_NE(faults, nullptr);
    ASSERT_EQ(world->db->Begin(), 1);
    faults->Clear();
    std::vector<std::pair<Call, int>> counts;
    for (Call call : FailableCalls()) counts.emplace_back(call, -faults->Count(call));
    ASSERT_TRUE(op.run(*world)) << op.name;
    for (auto& [call, count] : counts) count += faults->Count(call);
    ASSERT_EQ(world->db->Rollback(), 1);

    const int injectedBefore = tally.injected;
    const auto started = std::chrono::steady_clock::now();
    // In a host transaction first. On its own only where that failed: a
    // fault that the operation rides out (a failed release of a statement,
    // say) was already checked for whole work, and a success on its own
    // would change the world the next attempt starts from.
    std::vector<std::pair<Call, int>> failed;
    for (const Around around : {Around::kHost, Around::kOwn, Around::kBatch}) {
      const bool host = around == Around::kHost;
      for (const auto& [call, total] : counts) {
        for (int n = 1; n <= total; ++n) {
          if (!host &&
              std::find(failed.begin(), failed.end(), std::make_pair(call, n)) == failed.end()) {
            continue;
          }
          const std::string reason = std::string(metashelf::driver::CallName(call)) + " #" +
                                     std::to_string(n) + AroundText(around);
          SCOPED_TRACE(std::string(op.name) + ": " + reason);
          auto arm = [&] {
            auto* f = metashelf::driver::Faults(world->hdbc);
            f->Clear();
            f->FailNth(call, n);
          };
          auto disarm = [&] { metashelf::driver::Faults(world->hdbc)->Clear(); };
          const int failuresBefore = tally.reportedFailure;
          ASSERT_TRUE(Attempt(op, around, arm, disarm, reason, &tally));
          if (host && tally.reportedFailure > failuresBefore) failed.emplace_back(call, n);
        }
      }
    }
    std::printf("[ sweep %s ] %s: %d failures injected in %.1f s\n", GetParam().c_str(), op.name,
                tally.injected - injectedBefore,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    std::fflush(stdout);
  }
  std::printf(
      "[ sweep %s ] injected %d: failure reported %d, whole successes %d, leftovers %d, "
      "false successes %d\n",
      GetParam().c_str(), tally.injected, tally.reportedFailure, tally.wholeSuccesses,
      tally.leftovers, tally.falseSuccesses);
  EXPECT_EQ(tally.leftovers, 0);
  EXPECT_EQ(tally.falseSuccesses, 0);
  EXPECT_GT(tally.reportedFailure, 0);
}

// Makes the database refuse every change to `table` ("schema"."table").
std::string RefuseChanges(World& w, const std::string& table) {
  if (metashelf::testing::IsPostgres(w.hdbc)) {
    return RunRaw(w.hdbc,
                  "CREATE OR REPLACE FUNCTION public.ms_refuse() RETURNS trigger LANGUAGE plpgsql "
                  "AS $f$BEGIN RAISE EXCEPTION 'refused by the test trigger'; END$f$;"
                  "CREATE TRIGGER ms_refuse BEFORE INSERT OR UPDATE OR DELETE ON " +
                      table + " FOR EACH ROW EXECUTE FUNCTION public.ms_refuse()");
  }
  const std::string schema = table.substr(0, table.find('.'));
  const std::string name = table.substr(table.find('.') + 1);
  std::string error;
  for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
    error += RunRaw(w.hdbc, "CREATE TRIGGER " + schema + ".ms_refuse_" + event + " BEFORE " +
                                event + " ON " + name +
                                " BEGIN SELECT RAISE(ABORT, 'refused by the test trigger'); END");
  }
  return error;
}

std::string AllowChanges(World& w, const std::string& table) {
  if (metashelf::testing::IsPostgres(w.hdbc)) {
    return RunRaw(w.hdbc, "DROP TRIGGER ms_refuse ON " + table);
  }
  const std::string schema = table.substr(0, table.find('.'));
  std::string error;
  for (const char* event : {"INSERT", "UPDATE", "DELETE"}) {
    error += RunRaw(w.hdbc, "DROP TRIGGER " + schema + ".ms_refuse_" + event);
  }
  return error;
}

TEST_P(WriteAtomicityTest, ATableThatRefusesChangesLeavesEveryTableAsItWas) {
  ASSERT_TRUE(Rebuild()) << world->fresh.error;
  Tally tally;
  for (const Operation& op : Operations()) {
    for (const std::string& table : metashelf::testing::UserTables(world->hdbc)) {
      // The host's own table is the host's to refuse.
      if (table.find("HOST_WORK") != std::string::npos ||
          table.find("host_work") != std::string::npos) {
        continue;
      }
      SCOPED_TRACE(std::string(op.name) + ", refused by " + table);
      ASSERT_EQ(RefuseChanges(*world, table), "");
      // In a host transaction first; on its own only where the table
      // refused the operation (elsewhere it succeeds and changes things).
      const int failedBefore = tally.reportedFailure;
      const std::string t = table;
      auto nothing = [] {};
      ASSERT_TRUE(Attempt(op, Around::kHost, nothing, nothing, "trigger on " + t, &tally));
      const bool refused = tally.reportedFailure > failedBefore;
      if (!refused) --tally.injected;  // the table was not written: nothing was injected
      if (refused) {
        for (const Around around : {Around::kOwn, Around::kBatch}) {
          ASSERT_TRUE(Attempt(op, around, nothing, nothing, "trigger on " + t + AroundText(around),
                              &tally));
        }
      }
      ASSERT_EQ(AllowChanges(*world, table), "");
    }
  }
  std::printf(
      "[ trigger sweep %s ] refused %d: failure reported %d, leftovers %d, "
      "false successes %d\n",
      GetParam().c_str(), tally.injected, tally.reportedFailure, tally.leftovers,
      tally.falseSuccesses);
  EXPECT_EQ(tally.leftovers, 0);
  EXPECT_EQ(tally.falseSuccesses, 0);
  EXPECT_GT(tally.reportedFailure, 0);
}

TEST_P(WriteAtomicityTest, ASetNeverActsOnAnotherSetsRecord) {
  ASSERT_TRUE(Rebuild()) << world->fresh.error;
  World& w = *world;
  const std::string before = CatalogSnapshot(w.hdbc);
  CBaseMetaData back(w.schema);
  std::int32_t size = -1;
  char picture[3] = {'g', 'i', 'f'};
  EXPECT_EQ(w.setB.DelMetaData(w.a1), 0);
  EXPECT_EQ(w.setB.UpdateMetaData(w.a1, w.Record(kRecord2).get()), 0);
  EXPECT_EQ(w.setB.GetMetaData(w.a1, &back), 0);
  EXPECT_EQ(w.setB.AddMetaAdditional(w.a1, picture, 3), 0);
  EXPECT_EQ(w.setB.UpdateMetaAdditional(w.a1, picture, 3), 0);
  EXPECT_EQ(w.setB.DelMetaAdditional(w.a1), 0);
  EXPECT_EQ(w.setB.GetMetaAdditionalSize(w.a1, size), 0);
  EXPECT_EQ(w.setB.GetMetaAdditional(w.a1, picture, 3), 0);
  EXPECT_EQ(CatalogSnapshot(w.hdbc), before);
  EXPECT_TRUE(w.Holds(w.setA, w.a1, kRecord1));
}

METASHELF_ON_EVERY_BACKEND(WriteAtomicityTest);

}  // namespace

// Records per second for AddMetaData and GetMetaData of the FGDC corpus
// records, with 1,000 and with 50,000 records in the collection, on SQLite
// and (when METASHELF_PG_CONNINFO names a server) PostgreSQL. Each add is
// paired with its floor, the driver alone inserting as many plain rows into
// a plain table of the same database; each get with the driver alone
// selecting the record's rows. Ours and the floor run alternately, so the
// ratio holds on a busy machine where absolute rates do not. Not a test.
//
//   dataset_bench [records-at-large-size]   (default 50000)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_setup.h"

namespace {

using bench::Clock;
using bench::Exec;
using bench::Seconds;
using bench::Setup;

// Adds records round robin until the collection holds `target`, in
// transactions of 500. False on failure.
bool Fill(Setup& s, const std::vector<std::unique_ptr<CBaseMetaData>>& records,
          std::vector<std::int64_t>& ids, std::size_t target) {
  while (ids.size() < target) {
    if (s.db->Begin() != 1) return false;
    for (int i = 0; i < 500 && ids.size() < target; ++i) {
      const std::int64_t id = s.set.AddMetaData(records[ids.size() % records.size()].get());
      if (id <= 0) {
        s.db->Rollback();
        return false;
      }
      ids.push_back(id);
    }
    if (s.db->Commit() != 1) return false;
  }
  return true;
}

std::int32_t Leaves(const CBaseMetaData& record) {
  std::int32_t n = 0;
  record.GetLeafNodeListSize(n);
  return n;
}

// Ours and the floor, timed alternately record by record so that both see
// the same load on the machine.
struct Pair {
  double ours = 0;
  double floor = 0;
  double ids = 0;
  int count = 0;
};

void Report(const char* what, std::size_t size, const Pair& p) {
  std::printf("  %s at %6zu records: %7.0f records/s, floor %7.0f records/s, ratio %.2f", what,
              size, p.count / p.ours, p.count / p.floor, p.ours / p.floor);
  if (p.ids > 0) std::printf(" (host id source: %.0f%% of ours)", 100 * p.ids / p.ours);
  std::printf("\n");
}

// Adds `count` records, each followed by its floor: the driver alone
// inserting as many plain rows into a plain table (one index) and drawing
// one free id from the host, which every add does once.
Pair Adds(Setup& s, const std::vector<std::unique_ptr<CBaseMetaData>>& records,
          std::vector<std::int64_t>& ids, int count, const std::string& floorTable) {
  Pair p;
  s.db->Begin();
  for (int i = 0; i < count; ++i) {
    const CBaseMetaData& record = *records[ids.size() % records.size()];
    auto t0 = Clock::now();
    const std::int64_t id = s.set.AddMetaData(const_cast<CBaseMetaData*>(&record));
    p.ours += Seconds(t0);
    if (id <= 0) break;
    ids.push_back(id);
    t0 = Clock::now();
    s.db->db_GetFreeXCLSID();
    p.ids += Seconds(t0);
    t0 = Clock::now();
    bench::InsertFloorRows(s, floorTable, {id}, Leaves(record));
    p.floor += Seconds(t0);
    ++p.count;
  }
  s.db->Commit();
  return p;
}

// Reads the rows of one record the plainest way: one select per table by
// MetaID, rows fetched one by one into a local buffer.
void PlainRead(Setup& s, std::int64_t id) {
  for (const char* table :
       {"META_STRUCTINFO_", "META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
    const std::string sql = std::string("SELECT * FROM ") + s.owner + "." + table +
                            std::to_string(s.set.GetMdsID()) +
                            " WHERE MetaID=" + std::to_string(id);
    gis_SQLHSTMT stmt = nullptr;
    if (gis_SQLAllocStmt(s.hdbc, &stmt) != 0) return;
    static char buffer[1 << 16];
    std::int16_t indicator = 0;
    gis_SQLPrepare(stmt, sql.c_str(), GIS_SQL_NTS);
    gis_SQLExecute(stmt);
    gis_SQLBindCol(stmt, 2, GIS_TYPE_LONGRAW, buffer, sizeof buffer, &indicator);
    while (gis_SQLFetch(stmt) == 0) {
    }
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  }
}

// Reads `count` records chosen at random, each followed by its floor.
Pair Gets(Setup& s, const std::vector<std::int64_t>& ids, int count) {
  std::mt19937 random(42);
  std::uniform_int_distribution<std::size_t> pick(0, ids.size() - 1);
  Pair p;
  for (int i = 0; i < count; ++i) {
    const std::int64_t id = ids[pick(random)];
    auto t0 = Clock::now();
    CBaseMetaData record(s.schema);
    if (s.set.GetMetaData(id, &record) != 1) break;
    p.ours += Seconds(t0);
    t0 = Clock::now();
    PlainRead(s, id);
    p.floor += Seconds(t0);
    ++p.count;
  }
  return p;
}

void RunBackend(const std::string& name, const std::string& uri,
                const std::vector<std::unique_ptr<CBaseMetaData>>& records, std::size_t large) {
  std::printf("== %s\n", name.c_str());
  Setup s;
  if (!bench::Open(s, uri)) {
    std::printf("  setup failed\n");
    return;
  }
  std::vector<std::unique_ptr<CBaseMetaData>> loaded;
  for (const auto& r : records) {
    std::string xml;
    r->ToXml(xml);
    auto copy = std::make_unique<CBaseMetaData>(s.schema);
    if (copy->LoadXml(xml.data(), xml.size()) == 1) loaded.push_back(std::move(copy));
  }
  std::size_t leaves = 0;
  for (const auto& r : loaded) leaves += static_cast<std::size_t>(Leaves(*r));
  std::printf("  %zu corpus records, %.1f leaf nodes each on average\n", loaded.size(),
              static_cast<double>(leaves) / loaded.size());
  const std::string floorTable = bench::CreateFloorTable(s);
  if (floorTable.empty()) {
    std::printf("  floor table setup failed\n");
    return;
  }

  std::vector<std::int64_t> ids;
  for (const std::size_t size : {std::size_t{1000}, std::max<std::size_t>(large, 1001)}) {
    const auto start = Clock::now();
    if (!Fill(s, loaded, ids, size - 300)) {
      std::printf("  add failed\n");
      return;
    }
    std::printf("  (filled to %zu records in %.0f s)\n", ids.size(), Seconds(start));
    Report("add", size, Adds(s, loaded, ids, 300, floorTable));
    Report("get", size, Gets(s, ids, 1000));
  }
  Exec(s.hdbc, "DROP TABLE " + floorTable);
  s.set.Remove(&s.catalog, s.set.GetMdsID());
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows when piped
  const std::size_t large = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const auto files = bench::CorpusFiles();
  if (files.empty()) {
    std::printf("corpus folder %s is absent\n", METASHELF_CORPUS_DIR);
    return 0;
  }
  // The records are parsed once on a schema loaded outside any database.
  std::vector<std::unique_ptr<CBaseMetaData>> records;
  CSchema schema;
  {
    std::int64_t next = 1;
    CSchemaRegister reg(&next);
    std::string doc, info, xpath;
    const std::string text =
        bench::ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
    reg.ParseSchema(text.c_str(), doc, info, xpath,
                    [](int count, std::vector<std::int64_t>& ids, void* context) {
                      auto* n = static_cast<std::int64_t*>(context);
                      for (int i = 0; i < count; ++i) ids.push_back((*n)++);
                    });
    schema.SetNodeStructList(info.c_str());
  }
  for (const auto& f : files) {
    auto r = std::make_unique<CBaseMetaData>(&schema);
    if (r->LoadXmlFile(f.c_str()) == 1) records.push_back(std::move(r));
  }
  const auto dir = std::filesystem::temp_directory_path() /
                   ("metashelf-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  RunBackend("sqlite", "sqlite:" + (dir / "bench.db").string(), records, large);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  const char* pg = std::getenv("METASHELF_PG_CONNINFO");
  if (pg != nullptr && *pg != '\0') RunBackend("postgresql", pg, records, large);
  return 0;
}

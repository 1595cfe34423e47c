// What the unit of work per record costs an import on SQLite, and what a
// batch (gis_SQLBeginBatch) saves: the FGDC corpus records are added 256 at
// a time into two collections of two databases, alternately, each batch in
// the host's transaction (a savepoint per record, as hosts that call
// Begin() get) or as one batch (the units inside it free, as the tool
// imports). Every batch is followed by its floor: the driver alone
// inserting as many plain rows into a plain table of the same database.
// Value indexes stay in place (the costlier case for savepoints: a record
// changes a page of each index per value). Not a test.
//
//   batch_bench [rounds]   (default 8; two batches of 256 records a round)
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
using bench::Seconds;
constexpr int kBatch = 256;

// One database with one collection of the FGDC schema and a floor table.
struct Target {
  bench::Setup s;
  std::string floorTable;
  std::vector<std::unique_ptr<CBaseMetaData>> records;  // on this set's schema
  std::size_t next = 0;
  double ours = 0, floor = 0;
  int added = 0;

  bool Open(const std::string& uri, const std::vector<std::string>& files) {
    if (!bench::Open(s, uri)) return false;
    floorTable = bench::CreateFloorTable(s);
    if (floorTable.empty()) return false;
    for (const std::string& f : files) {
      auto r = std::make_unique<CBaseMetaData>(s.schema);
      if (r->LoadXmlFile(f.c_str()) == 1) records.push_back(std::move(r));
    }
    return !records.empty();
  }

  // One batch of records, in the host's transaction or as a batch, then
  // its floor. False when a record was refused.
  bool Batch(bool asBatch) {
    std::int32_t leaves = 0;
    auto t0 = Clock::now();
    const bool begun = asBatch ? gis_SQLBeginBatch(s.hdbc) == GIS_SQL_SUCCESS : s.db->Begin() == 1;
    if (!begun) return false;
    std::vector<std::int64_t> ids;
    for (int i = 0; i < kBatch; ++i) {
      CBaseMetaData* record = records[next++ % records.size()].get();
      const std::int64_t id = s.set.AddMetaData(record);
      if (id <= 0) return false;
      ids.push_back(id);
      std::int32_t n = 0;
      record->GetLeafNodeListSize(n);
      leaves += n;
    }
    const bool kept = asBatch ? gis_SQLEndUnit(s.hdbc, 1) == GIS_SQL_SUCCESS : s.db->Commit() == 1;
    if (!kept) return false;
    ours += Seconds(t0);
    added += kBatch;
    t0 = Clock::now();
    s.db->Begin();
    bench::InsertFloorRows(s, floorTable, ids, leaves);
    s.db->Commit();
    floor += Seconds(t0);
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int rounds =
      argc > 1 ? static_cast<int>(std::max(1L, std::strtol(argv[1], nullptr, 10))) : 8;
  const std::vector<std::string> files = bench::CorpusFiles();
  std::error_code ec;
  if (files.empty()) {
    std::printf("corpus folder %s is absent\n", METASHELF_CORPUS_DIR);
    return 0;
  }
  const auto dir = std::filesystem::temp_directory_path() /
                   ("metashelf-batch-bench-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  Target host, batch;
  if (!host.Open("sqlite:" + (dir / "host.db").string(), files) ||
      !batch.Open("sqlite:" + (dir / "batch.db").string(), files)) {
    std::printf("setup failed\n");
    std::filesystem::remove_all(dir, ec);
    return 1;
  }
  for (int round = 0; round < rounds; ++round) {
    // Alternate which goes first, so that both see the same load.
    const bool hostFirst = round % 2 == 0;
    if (!(hostFirst ? host.Batch(false) : batch.Batch(true)) ||
        !(hostFirst ? batch.Batch(true) : host.Batch(false))) {
      std::printf("a batch failed\n");
      std::filesystem::remove_all(dir, ec);
      return 1;
    }
  }
  std::printf("SQLite, %d records each, batches of %d, value indexes in place\n", host.added,
              kBatch);
  std::printf("| import | records/s | floor records/s | time / floor |\n|---|---:|---:|---:|\n");
  for (const auto* t : {&host, &batch}) {
    std::printf(
        "| %s | %.0f | %.0f | %.2f |\n",
        t == &host ? "host transaction (a savepoint per record)" : "batch (gis_SQLBeginBatch)",
        t->added / t->ours, t->added / t->floor, t->ours / t->floor);
  }
  std::printf("savepoint per record / batch, each against its own floor: %.3f\n",
              (host.ours / host.floor) / (batch.ours / batch.floor));
  std::filesystem::remove_all(dir, ec);
  return 0;
}

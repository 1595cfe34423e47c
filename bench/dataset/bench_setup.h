// What the dataset benchmarks share: a database opened at a URI with a new
// catalog and one collection of the FGDC schema, the FGDC corpus files,
// and the floor every measured write is paired with (the driver alone
// inserting plain rows into a plain table of the same database).
#ifndef METASHELF_BENCH_DATASET_BENCH_SETUP_H_
#define METASHELF_BENCH_DATASET_BENCH_SETUP_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "support/corpus_files.h"

namespace bench {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since);

using metashelf::testing::ReadFile;

// The FGDC corpus records' paths, sorted; empty when the corpus is absent.
std::vector<std::string> CorpusFiles();

// One statement on `hdbc`; true when it ran.
bool Exec(gis_SQLHDBC_STRU* hdbc, const std::string& sql);

struct Setup {
  std::unique_ptr<CHostDataBase> db;
  COraMetaDataBase catalog;
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  std::string owner;
};

// Opens `uri` and makes a catalog and a collection of the FGDC schema, both
// under a name of their own (a shared server may hold earlier runs'); says
// why on standard output when the database does not open.
bool Open(Setup& s, const std::string& uri);

// Makes the floor's table in the catalog's schema and returns its name
// (empty when it could not be made).
std::string CreateFloorTable(Setup& s);

// The floor of `rows` leaf values: as many plain rows inserted one by one,
// row k for ids[k % ids.size()].
void InsertFloorRows(Setup& s, const std::string& table, const std::vector<std::int64_t>& ids,
                     std::int32_t rows);

}  // namespace bench

#endif  // METASHELF_BENCH_DATASET_BENCH_SETUP_H_

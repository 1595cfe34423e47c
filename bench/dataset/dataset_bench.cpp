// Records per second for AddMetaData and GetMetaData of the FGDC corpus
// records, with 1,000 and with 50,000 records in the collection, on SQLite
// and (when METASHELF_PG_CONNINFO names a server) PostgreSQL. The floor of
// the same run is the driver alone inserting and selecting as many node rows
// into a plain table of the same database. Not a test: prints only.
//
//   dataset_bench [records-at-large-size]   (default 50000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  const auto dir = std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc";
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    if (e.path().extension() == ".xml") files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// One statement on `hdbc`; true when it ran.
bool Exec(gis_SQLHDBC_STRU* hdbc, const std::string& sql) {
  gis_SQLHSTMT stmt = nullptr;
  if (gis_SQLAllocStmt(hdbc, &stmt) != 0) return false;
  const bool ok = gis_SQLExecDirect(stmt, sql.c_str(), GIS_SQL_NTS) == 0;
  gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
  return ok;
}

struct Setup {
  std::unique_ptr<CHostDataBase> db;
  COraMetaDataBase catalog;
  COraMetaDataSet set;
  CSchema* schema = nullptr;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  std::string owner;
};

bool Open(Setup& s, const std::string& uri) {
  std::string error;
  s.db = CHostDataBase::Open(uri, &error);
  if (!s.db) {
    std::printf("  cannot open %s: %s\n", uri.c_str(), error.c_str());
    return false;
  }
  const std::string unique = std::to_string(std::random_device()());
  const std::int32_t mtdb = s.db->db_CreateMtdb(("bench" + unique).c_str());
  if (mtdb < 1 || s.catalog.mtdb_Open(s.db.get(), mtdb, 0) != 1) return false;
  const std::string text = ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
  const std::int32_t schemaID = s.catalog.schema_Add("KORVEN_FGDC", text.c_str(), "");
  if (schemaID < 1) return false;
  const std::int32_t colID = s.set.Create(&s.catalog, schemaID, ("bench" + unique).c_str(), "");
  if (colID < 1 || s.set.Open(&s.catalog, colID) != 1) return false;
  s.set.GetCSchemaPtr(&s.schema);
  char owner[32] = {};
  s.catalog.GetOraBaseInfo(s.hdbc, owner);
  s.owner = owner;
  return true;
}

// Adds records round robin until the collection holds `target`, in
// transactions of 500. Returns the seconds taken, or -1 on failure.
double Fill(Setup& s, const std::vector<std::unique_ptr<CBaseMetaData>>& records,
            std::vector<std::int64_t>& ids, std::size_t target) {
  const auto start = Clock::now();
  while (ids.size() < target) {
    if (s.db->Begin() != 1) return -1;
    for (int i = 0; i < 500 && ids.size() < target; ++i) {
      const std::int64_t id = s.set.AddMetaData(records[ids.size() % records.size()].get());
      if (id <= 0) {
        s.db->Rollback();
        return -1;
      }
      ids.push_back(id);
    }
    if (s.db->Commit() != 1) return -1;
  }
  return Seconds(start);
}

// Reads `count` records chosen at random among `ids`; records per second.
double Gets(Setup& s, const std::vector<std::int64_t>& ids, int count, std::size_t* nodes) {
  std::mt19937 random(42);
  std::uniform_int_distribution<std::size_t> pick(0, ids.size() - 1);
  *nodes = 0;
  const auto start = Clock::now();
  for (int i = 0; i < count; ++i) {
    CBaseMetaData record(s.schema);
    if (s.set.GetMetaData(ids[pick(random)], &record) != 1) return -1;
    std::int32_t n = 0;
    record.GetLeafNodeListSize(n);
    *nodes += static_cast<std::size_t>(n);
  }
  return count / Seconds(start);
}

// The floor: the driver alone inserting `rows` formatted rows into a plain
// table and selecting them back by key, as many statements as the set uses.
void Floor(Setup& s, std::size_t rows, std::size_t records) {
  const std::string table = s.owner + ".BENCH_FLOOR";
  Exec(s.hdbc, "CREATE TABLE " + table +
                   "(MetaID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,POSITION NUMBER NOT "
                   "NULL,NODEVALUE VARCHAR2(4000))");
  Exec(s.hdbc, "CREATE INDEX " + table + "_ID ON " + table + "(MetaID)");
  s.db->Begin();
  const auto start = Clock::now();
  for (std::size_t i = 0; i < rows; ++i) {
    Exec(s.hdbc, "insert into " + table + "(MetaID,NODEGUID,POSITION,NODEVALUE) values(" +
                     std::to_string(i / 100) + ", " + std::to_string(1000 + i % 100) + ", 0,'v" +
                     std::to_string(i) + "')");
  }
  s.db->Commit();
  const double insert = Seconds(start);
  // The host's free-id source, which every add draws from once.
  const auto draws = Clock::now();
  for (std::size_t i = 0; i < records; ++i) s.db->db_GetFreeXCLSID();
  const double draw = Seconds(draws);
  std::printf("  host id source alone: %zu draws in %.2f s = %.0f ids/s\n", records, draw,
              records / draw);
  std::printf(
      "  floor: %zu plain inserts in %.2f s = %.0f rows/s (%.0f records/s at the same "
      "rows per record)\n",
      rows, insert, rows / insert, records / insert);
  Exec(s.hdbc, "DROP TABLE " + table);
}

void RunBackend(const std::string& name, const std::string& uri,
                const std::vector<std::unique_ptr<CBaseMetaData>>& records, std::size_t large) {
  std::printf("== %s\n", name.c_str());
  Setup s;
  if (!Open(s, uri)) {
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
  for (const auto& r : loaded) {
    std::int32_t n = 0;
    r->GetLeafNodeListSize(n);
    leaves += static_cast<std::size_t>(n);
  }
  const double perRecord = static_cast<double>(leaves) / loaded.size();
  std::printf("  %zu corpus records, %.1f leaf nodes each on average\n", loaded.size(), perRecord);

  std::vector<std::int64_t> ids;
  for (const std::size_t size : {std::size_t{1000}, std::max<std::size_t>(large, 1001)}) {
    const std::size_t before = ids.size();
    const double fill = Fill(s, loaded, ids, size);
    if (fill < 0) {
      std::printf("  add failed\n");
      return;
    }
    std::printf("  add: %zu records in %.2f s = %.0f records/s (collection now %zu)\n",
                ids.size() - before, fill, (ids.size() - before) / fill, ids.size());
    std::size_t nodes = 0;
    const double get = Gets(s, ids, 2000, &nodes);
    std::printf("  get at %zu records: %.0f records/s (%.0f leaf nodes per record)\n", ids.size(),
                get, nodes / 2000.0);
    if (size == 1000) Floor(s, static_cast<std::size_t>(perRecord * 1000), 1000);
  }
  s.set.Remove(&s.catalog, s.set.GetMdsID());
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows when piped
  const std::size_t large = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50000;
  const auto files = CorpusFiles();
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
    const std::string text = ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
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

// Search latency on SQLite: a like, two equality and a range condition over
// collections of 10,000 and 100,000 records synthesised from the FGDC
// corpus, each timed through SearchMetaData and as the same SQL run directly
// with the SQLite C API on the same files (the floor), with the ratio of the
// two and the growth from the small collection to the large one.
//
// The corpus records are stored once through AddMetaData; the collection is
// then grown by copying their value rows under new record ids, titles made
// distinct per copy, so the value tables hold what that many records would.
//
//   search_bench [small large]     (defaults 10000 100000)
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dialect/dialect.h"
#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "search/query_builder.h"

namespace {

constexpr std::int64_t kCopyStride = 1000000;  // record id offset of each copy
constexpr int kRepeats = 7;

struct Search {
  const char* name;
  const char* path;
  const char* op;
  std::string value1;
  std::string value2;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

double Millis(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
      .count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Median milliseconds of kRepeats runs of `once`, which returns the number of
// ids it found (kept in `*matches`), or -1 for a failure, which ends the
// measurement with -1.
template <typename Once>
double MedianMillis(Once once, std::int64_t* matches) {
  std::vector<double> times;
  for (int r = 0; r < kRepeats; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const std::int64_t found = once();
    if (found < 0) return -1;
    times.push_back(Millis(start));
    *matches = found;
  }
  return Median(times);
}

// The one condition of a search.
std::vector<SearchNode> Condition(const Search& s) {
  std::vector<SearchNode> nodes(1);
  nodes[0].condID = 1;
  nodes[0].nodePath = s.path;
  nodes[0].op = s.op;
  nodes[0].value1 = s.value1;
  nodes[0].value2 = s.value2;
  return nodes;
}

bool Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "%s\n  in %s\n", message ? message : "?", sql.substr(0, 200).c_str());
    sqlite3_free(message);
    return false;
  }
  return true;
}

// One collection of about `records` records in a folder of its own.
class Collection {
 public:
  explicit Collection(const std::filesystem::path& folder) : folder_(folder) {}
  ~Collection() {
    set_.Close();
    catalog_.mtdb_Close();
    db_.reset();
    if (direct_ != nullptr) sqlite3_close(direct_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  bool Build(std::int64_t records) {
    std::filesystem::create_directories(folder_);
    const std::string file = (folder_ / "bench.db").string();
    std::string error;
    db_ = CHostDataBase::Open("sqlite:" + file, &error);
    if (!db_) return Fail(error);
    const std::int32_t mtdbID = db_->db_CreateMtdb("bench");
    if (mtdbID <= 0 || catalog_.mtdb_Open(db_.get(), mtdbID, 0) != 1) return Fail("catalog");
    const std::string schemaText =
        ReadFile(std::string(METASHELF_SOURCE_DIR) + "/data/schemas/fgdc.xml");
    const std::int32_t schemaID = catalog_.schema_Add("FGDC_BENCH", schemaText.c_str(), "");
    if (schemaID <= 0) return Fail("schema");
    colID_ = set_.Create(&catalog_, schemaID, "bench", "");
    if (colID_ <= 0 || set_.Open(&catalog_, colID_) != 1) return Fail("collection");
    owner_ = set_.GetOwner();
    CSchema* schema = nullptr;
    set_.GetCSchemaPtr(&schema);

    std::vector<std::filesystem::path> paths;
    const auto corpus = std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc";
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
      if (entry.path().extension() == ".xml") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    db_->Begin();
    for (const auto& path : paths) {
      CBaseMetaData record(schema);
      if (record.LoadXmlFile(path.string().c_str()) != 1) continue;
      const std::int64_t id = set_.AddMetaData(&record);
      if (id <= 0) return Fail("record " + path.string());
      if (id >= kCopyStride) return Fail("record ids too large to copy");
      ++stored_;
    }
    db_->Commit();

    // The same file opened directly; the owner's tables are "OWNER.TABLE" in it.
    if (sqlite3_open(file.c_str(), &direct_) != SQLITE_OK) return Fail("direct open");
    if (!Exec(direct_, "PRAGMA case_sensitive_like=ON")) return false;
    // The copies are scratch data: no syncing while they are written.
    Exec(direct_, "PRAGMA synchronous=OFF");
    Exec(direct_, "PRAGMA cache_size=-262144");

    CNodeInfo title;
    schema->GetNodeInfoByPath("/metadata/idinfo/citation/citeinfo/title", &title);
    std::int32_t titleGuid = 0;
    title.GetNodeGUID(titleGuid);
    const std::int64_t copies = (records + stored_ - 1) / stored_ - 1;
    const std::string c = std::to_string(colID_);
    const std::string k = "WITH RECURSIVE k(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM k WHERE n<" +
                          std::to_string(copies) + ") ";
    // Indexes are dropped while the copies go in and made again after,
    // under the names the set gave them.
    for (const char* table : {"META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
      for (const char* suffix : {"_ID", "_NV"}) {
        Exec(direct_, "DROP INDEX IF EXISTS \"" + owner_ + "." + table + c + suffix + "\"");
      }
    }
    for (const char* table : {"META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
      const std::string t = "\"" + owner_ + "." + table + c + "\"";
      std::string value = "t.NODEVALUE";
      if (std::string(table) == "META_NDTEXT_") {
        value = "CASE WHEN t.NODEGUID=" + std::to_string(titleGuid) +
                " THEN t.NODEVALUE || ' #' || k.n ELSE t.NODEVALUE END";
      }
      if (copies > 0 &&
          !Exec(direct_, "INSERT INTO " + t + "(MetaID,NODEGUID,POSITION,NODEVALUE) " + k +
                             "SELECT t.MetaID+k.n*" + std::to_string(kCopyStride) +
                             ",t.NODEGUID,t.POSITION," + value + " FROM " + t +
                             " t, k WHERE t.MetaID<" + std::to_string(kCopyStride))) {
        return false;
      }
    }
    for (const char* table : {"META_NDTEXT_", "META_NDNUMBER_", "META_NDDATETIME_"}) {
      const std::string name = owner_ + "." + table + c;
      Exec(direct_, "CREATE INDEX \"" + name + "_ID\" ON \"" + name + "\"(MetaID)");
      Exec(direct_, "CREATE INDEX \"" + name + "_NV\" ON \"" + name + "\"(NODEGUID,NODEVALUE)");
    }
    Exec(direct_, "ANALYZE");
    Exec(direct_, "PRAGMA synchronous=NORMAL");
    records_ = stored_ * (copies + 1);
    return true;
  }

  std::int64_t records() const { return records_; }

  // The title of the first stored record as the first copy carries it.
  std::string CopiedTitle() {
    CSchema* schema = nullptr;
    set_.GetCSchemaPtr(&schema);
    CNodeInfo info;
    schema->GetNodeInfoByPath("/metadata/idinfo/citation/citeinfo/title", &info);
    std::int32_t guid = 0;
    info.GetNodeGUID(guid);
    std::vector<NodeDataStrcT> values(static_cast<std::size_t>(records_) + 100);
    set_.GetNodeDataByGuid(guid, 1, values.data(), static_cast<std::int32_t>(values.size()));
    return std::string(values[0].textValue) + " #1";
  }

  // Median milliseconds of the search through the library; `matches` gets
  // the number of ids.
  double ThroughLibrary(const Search& s, std::int64_t* matches) {
    std::vector<SearchNode> nodes = Condition(s);
    return MedianMillis(
        [&]() -> std::int64_t {
          CSmartArray<std::int64_t> ids;
          if (set_.SearchMetaData("1", nodes, ids) != 1) return -1;
          return ids.GetSize();
        },
        matches);
  }

  // Median milliseconds of the statement the library runs, adapted for
  // SQLite and run with the C API.
  double Directly(const Search& s, std::int64_t* matches) {
    std::vector<SearchNode> nodes = Condition(s);
    CQueryBuilder builder(&set_);
    std::string sql;
    if (builder.BuildSql("1", nodes, sql) != 1) return -1;
    metashelf::driver::dialect::Adapted adapted;
    std::string error;
    if (!metashelf::driver::dialect::Adapt(sql, metashelf::driver::dialect::Target::kSQLite,
                                           &adapted, &error)) {
      std::fprintf(stderr, "adapt: %s\n", error.c_str());
      return -1;
    }
    return MedianMillis(
        [&]() -> std::int64_t {
          std::vector<std::int64_t> ids;
          sqlite3_stmt* stmt = nullptr;
          if (sqlite3_prepare_v2(direct_, adapted.text.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "direct: %s\n", sqlite3_errmsg(direct_));
            return -1;
          }
          while (sqlite3_step(stmt) == SQLITE_ROW) ids.push_back(sqlite3_column_int64(stmt, 0));
          sqlite3_finalize(stmt);
          return static_cast<std::int64_t>(ids.size());
        },
        matches);
  }

 private:
  bool Fail(const std::string& what) {
    std::fprintf(stderr, "cannot build the collection: %s\n", what.c_str());
    return false;
  }

  std::filesystem::path folder_;
  std::unique_ptr<CHostDataBase> db_;
  COraMetaDataBase catalog_;
  COraMetaDataSet set_;
  sqlite3* direct_ = nullptr;
  std::int32_t colID_ = 0;
  std::string owner_;
  std::int64_t stored_ = 0;
  std::int64_t records_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (!std::filesystem::is_directory(std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc")) {
    std::printf("corpus folder %s is absent: nothing measured\n", METASHELF_CORPUS_DIR);
    return 0;
  }
  std::vector<std::int64_t> sizes = {10000, 100000};
  if (argc == 3) sizes = {std::atoll(argv[1]), std::atoll(argv[2])};
  std::vector<Search> searches = {
      {"like on titles", "/metadata/idinfo/citation/citeinfo/title", "like", "Census", ""},
      {"equal title (one record)", "/metadata/idinfo/citation/citeinfo/title", "=", "", ""},
      {"equal keyword", "/metadata/idinfo/keywords/theme/themekey", "=", "Transportation", ""},
      {"range on west bound", "/metadata/idinfo/spdom/bounding/westbc", "between", "-80", "-75"},
  };
  std::map<std::string, std::vector<double>> library;
  std::printf("%-26s %9s %8s %12s %12s %7s\n", "search", "records", "ids", "library ms",
              "direct ms", "ratio");
  for (std::int64_t size : sizes) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("metashelf-search-bench-" + std::to_string(size));
    Collection collection(folder);
    const auto start = std::chrono::steady_clock::now();
    if (!collection.Build(size)) return 1;
    std::printf("-- %lld records built in %.1f s\n", static_cast<long long>(collection.records()),
                Millis(start) / 1000);
    searches[1].value1 = collection.CopiedTitle();
    for (const Search& s : searches) {
      std::int64_t viaLibrary = 0;
      std::int64_t viaDirect = 0;
      const double lib = collection.ThroughLibrary(s, &viaLibrary);
      const double direct = collection.Directly(s, &viaDirect);
      if (lib < 0 || direct < 0 || viaLibrary != viaDirect) {
        std::fprintf(stderr, "%s: the two runs disagree (%lld and %lld ids)\n", s.name,
                     static_cast<long long>(viaLibrary), static_cast<long long>(viaDirect));
        return 1;
      }
      library[s.name].push_back(lib);
      std::printf("%-26s %9lld %8lld %12.3f %12.3f %7.2f\n", s.name,
                  static_cast<long long>(collection.records()), static_cast<long long>(viaLibrary),
                  lib, direct, direct > 0 ? lib / direct : 0);
    }
  }
  std::printf("-- growth of the library time from %lld to %lld records\n",
              static_cast<long long>(sizes[0]), static_cast<long long>(sizes[1]));
  for (const Search& s : searches) {
    const auto& t = library[s.name];
    std::printf("%-26s x%.2f\n", s.name, t[0] > 0 ? t[1] / t[0] : 0);
  }
  return 0;
}

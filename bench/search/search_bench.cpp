// Search latency on SQLite and PostgreSQL: a like, two equality and a range
// condition over collections of 10,000 and 100,000 records synthesised from
// the FGDC corpus, each timed through SearchMetaData and, on SQLite, as the
// same SQL run directly with the SQLite C API on the same file (the floor),
// with the ratio of the two; then the search indexes: their build over the
// stored rows against the time the records took to store, and free text,
// substrings and boxes through MsSearch. Growth from the small collection
// to the large one closes each backend's table.
//
// The corpus records are stored once through AddMetaData; the collection is
// then grown by copying their rows (registry, structure documents, values)
// under new record ids, titles made distinct per copy (its number and a
// word of its own), so the tables hold what that many records would.
//
//   search_bench [small [large]] [--postgresql] [--keep] [--only NAME]
//       (defaults 10000 100000; PostgreSQL alone; --keep: the SQLite
//       collections are kept in the temporary folder and reopened by the
//       next run with --keep, which then only rebuilds the search indexes;
//       --only: the searches whose name holds NAME, and no rebuild of
//       indexes that are ready, e.g. to count one search's instructions
//       under valgrind --tool=callgrind --toggle-collect=MsSearch)
//
// PostgreSQL runs when METASHELF_PG_CONNINFO names a server (as
// scripts/with-postgres.sh sets it), in a database of its own.
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "dialect/dialect.h"
#include "metashelf/driver.h"
#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "metashelf/search.h"
#include "search/query_builder.h"
#include "support/postgresql_fresh.h"

namespace {

constexpr std::int64_t kCopyStride = 1000000;  // record id offset of each copy
constexpr int kRepeats = 7;
// The copy whose titles and boxes the selective searches look for (every
// size has it).
constexpr int kMarkedCopy = 50;
// Bands of latitude the copies' boxes are moved into, one a copy.
constexpr std::int64_t kLatitudeBands = 1000;
// Copies written by one statement per table.
constexpr std::int64_t kCopiesAtOnce = 64;

// A word of letters only that names copy `n` (its digits spelt as letters
// between a leading 'k' and a trailing 'x'): the word is in that copy's
// titles only, and its middle trigram (the three digits) in no other copy's,
// so that a search for it finds the same few records at every size.
std::string CopyWord(std::int64_t n) {
  std::string word = "k";
  for (std::int64_t unit : {100, 10, 1}) word += static_cast<char>('a' + (n / unit) % 10);
  return word + "x";
}

// Where latitude `lat` of the original records lies in copy `n`'s band.
std::string LatitudeOfBand(std::int64_t n, double lat) {
  const double band = 180.0 / static_cast<double>(kLatitudeBands);
  char text[64];
  std::snprintf(text, sizeof text, "%.9g",
                -90 + static_cast<double>(n) * band + (lat + 90) / kLatitudeBands);
  return text;
}

struct Search {
  const char* name;
  const char* path;
  const char* op;
  std::string value1;
  std::string value2;
  bool indexed = false;  // through MsSearch (the search indexes)
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

double CpuMillis(std::clock_t since) {
  return static_cast<double>(std::clock() - since) * 1000.0 / CLOCKS_PER_SEC;
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

// One collection of about `records` records in a database of its own:
// a SQLite file in `folder`, or a fresh PostgreSQL database.
class Collection {
 public:
  Collection(const std::filesystem::path& folder, bool postgres, bool keep)
      : folder_(folder), postgres_(postgres), keep_(keep && !postgres) {}
  ~Collection() {
    set_.Close();
    catalog_.mtdb_Close();
    db_.reset();
    if (direct_ != nullptr) sqlite3_close(direct_);
    std::error_code ec;
    // A PostgreSQL collection has no folder: the name may be another run's.
    if (!postgres_ && (!keep_ || !kept_)) std::filesystem::remove_all(folder_, ec);
  }

  bool Build(std::int64_t records) {
    if (keep_ && std::filesystem::exists(folder_ / "catalog-id")) return Reopen();
    std::string uri;
    if (postgres_) {
      pg_ = std::make_unique<metashelf::testing::PgFreshDatabase>();
      if (pg_->conninfo().empty()) return Fail("no PostgreSQL database: " + pg_->error());
      uri = pg_->conninfo() + " owner=BENCH";
    } else {
      std::filesystem::create_directories(folder_);
      file_ = (folder_ / "bench.db").string();
      uri = "sqlite:" + file_;
    }
    std::string error;
    db_ = CHostDataBase::Open(uri, &error);
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
    std::vector<std::unique_ptr<CBaseMetaData>> loaded;
    for (const auto& path : paths) {
      auto record = std::make_unique<CBaseMetaData>(schema);
      if (record->LoadXmlFile(path.string().c_str()) == 1) loaded.push_back(std::move(record));
    }
    // What storing a record costs here, the reference for the index build.
    const auto stored = std::chrono::steady_clock::now();
    const std::clock_t storedCpu = std::clock();
    db_->Begin();
    for (const auto& record : loaded) {
      const std::int64_t id = set_.AddMetaData(record.get());
      if (id <= 0) return Fail("a corpus record was not stored");
      if (id >= kCopyStride) return Fail("record ids too large to copy");
      ++stored_;
    }
    db_->Commit();
    storeMillis_ = Millis(stored) / static_cast<double>(stored_);
    storeCpu_ = CpuMillis(storedCpu) / static_cast<double>(stored_);
    const std::int64_t copies = (records + stored_ - 1) / stored_ - 1;
    if (!Copy(schema, copies)) return false;
    records_ = stored_ * (copies + 1);
    // Written last: a run cut short leaves nothing to reopen.
    if (keep_) std::ofstream(folder_ / "catalog-id") << mtdbID << "\n";
    kept_ = true;
    return postgres_ || OpenDirect();
  }

  // The collection a run with --keep left: its catalog and collection
  // opened again, its records counted (the time of storing one is not
  // known, and shown as 0).
  bool Reopen() {
    file_ = (folder_ / "bench.db").string();
    std::string error;
    db_ = CHostDataBase::Open("sqlite:" + file_, &error);
    if (!db_) return Fail(error);
    std::int32_t mtdbID = 0;
    std::ifstream(folder_ / "catalog-id") >> mtdbID;
    char name[] = "bench";
    if (mtdbID <= 0 || catalog_.mtdb_Open(db_.get(), mtdbID, 0) != 1 ||
        catalog_.mds_GetID(name, &colID_) != 1 || set_.Open(&catalog_, colID_) != 1) {
      return Fail("the kept collection in " + folder_.string() + " did not open");
    }
    owner_ = set_.GetOwner();
    CSmartArray<std::int64_t> ids;
    if (catalog_.meta_GetIDList(colID_, ids) != 1) return Fail("kept record ids");
    for (std::int32_t i = 0; i < ids.GetSize(); ++i) stored_ += ids[i] < kCopyStride ? 1 : 0;
    records_ = ids.GetSize();
    kept_ = true;
    return OpenDirect();
  }

  // The same file opened directly; the owner's tables are "OWNER.TABLE" in it.
  bool OpenDirect() {
    if (sqlite3_open(file_.c_str(), &direct_) != SQLITE_OK) return Fail("direct open");
    return Exec(direct_, "PRAGMA case_sensitive_like=ON");
  }

  // Builds the search indexes over the stored rows: milliseconds per record.
  double BuildIndexes() {
    if (reuse_ && MsSearchIndexesReady(&set_) == 1) return 0;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    std::int64_t indexed = 0;
    if (MsReindex(&set_, &indexed) != 1) {
      Fail("the search indexes were not built: " + db_->LastStatementError().message);
      return -1;
    }
    if (indexed != records_) {
      Fail(std::to_string(indexed) + " records indexed of " + std::to_string(records_));
      return -1;
    }
    buildCpu_ = CpuMillis(startCpu) / static_cast<double>(records_);
    return Millis(start) / static_cast<double>(records_);
  }

  std::int64_t records() const { return records_; }
  void ReuseIndexes() { reuse_ = true; }
  double storeMillis() const { return storeMillis_; }
  // The same in the process's processor time (the library's own work; on
  // PostgreSQL the server's is not in it).
  double storeCpu() const { return storeCpu_; }
  double buildCpu() const { return buildCpu_; }
  bool postgres() const { return postgres_; }

  // The title of the first stored record.
  std::string FirstTitle() {
    CSchema* schema = nullptr;
    set_.GetCSchemaPtr(&schema);
    CNodeInfo info;
    schema->GetNodeInfoByPath("/metadata/idinfo/citation/citeinfo/title", &info);
    std::int32_t guid = 0;
    info.GetNodeGUID(guid);
    std::vector<NodeDataStrcT> values(static_cast<std::size_t>(records_) + 100);
    set_.GetNodeDataByGuid(guid, 1, values.data(), static_cast<std::int32_t>(values.size()));
    for (const NodeDataStrcT& v : values) {
      if (v.metaID > 0 && v.metaID < kCopyStride) return v.textValue;
    }
    return std::string();
  }

  // Median milliseconds of the search through the library; `matches` gets
  // the number of ids.
  double ThroughLibrary(const Search& s, std::int64_t* matches) {
    std::vector<SearchNode> nodes = Condition(s);
    return MedianMillis(
        [&]() -> std::int64_t {
          if (s.indexed) {
            std::vector<MsSearchHit> hits;
            MsSearchOptions options;
            options.orderByScore = true;
            if (MsSearch(&set_, "1", nodes, options, &hits, nullptr) != 1) return -1;
            return static_cast<std::int64_t>(hits.size());
          }
          CSmartArray<std::int64_t> ids;
          if (set_.SearchMetaData("1", nodes, ids) != 1) return -1;
          return ids.GetSize();
        },
        matches);
  }

  // Median milliseconds of the statement the library runs, adapted for
  // SQLite and run with the C API; 0 (not measured) on PostgreSQL and for
  // searches through the indexes.
  double Directly(const Search& s, std::int64_t* matches) {
    if (direct_ == nullptr || s.indexed) return 0;
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
    std::fprintf(stderr, "search_bench: %s\n", what.c_str());
    return false;
  }

  bool Run(const std::string& sql) {
    gis_SQLHDBC_STRU* hdbc = nullptr;
    char owner[64] = {};
    catalog_.GetOraBaseInfo(hdbc, owner);
    gis_SQLHSTMT stmt = nullptr;
    if (gis_SQLAllocStmt(hdbc, &stmt) != 0) return Fail("no statement");
    const std::int16_t rc = gis_SQLExecDirect(stmt, sql.c_str(), GIS_SQL_NTS);
    gis_SQLFreeStmt(stmt, GIS_SQL_DROP);
    return rc == 0 || rc == 1 ? true : Fail(db_->LastStatementError().message + " in " + sql);
  }

  // Copies the stored records `copies` times under new ids, copy after
  // copy in order (so that each record's rows lie together, as an import
  // writes them), a run of copies a statement per table, through the
  // library's own connection. Each copy's boxes are moved into a band of
  // latitude of their own (latitudes scaled to a thousandth, longitudes
  // kept): a small query box then meets the boxes of one copy and of the
  // few records that span the globe, as a selective query on a large
  // catalog does, while a query across every band meets a share of all
  // copies.
  bool Copy(CSchema* schema, std::int64_t copies) {
    if (copies <= 0) return true;
    if (copies >= kLatitudeBands) return Fail("too many copies for the latitude bands");
    const auto guid = [&](const char* path) {
      CNodeInfo info;
      std::int32_t g = -1;
      if (schema->GetNodeInfoByPath(path, &info) == 1) info.GetNodeGUID(g);
      return std::to_string(g);
    };
    const std::string titleGuid = guid("/metadata/idinfo/citation/citeinfo/title");
    const std::string southGuid = guid("/metadata/idinfo/spdom/bounding/southbc");
    const std::string northGuid = guid("/metadata/idinfo/spdom/bounding/northbc");
    const std::string o = owner_ + ".";
    const std::string c = std::to_string(colID_);
    const std::string stride = std::to_string(kCopyStride);
    const std::string band = std::to_string(180.0 / static_cast<double>(kLatitudeBands));
    if (db_->Begin() != 1 || !Run("CREATE TABLE " + o + "BENCH_K(N NUMBER, W VARCHAR2(8))")) {
      return false;
    }
    for (std::int64_t n = 1; n <= copies; ++n) {
      if (!Run("INSERT INTO " + o + "BENCH_K(N,W) VALUES (" + std::to_string(n) + ",'" +
               CopyWord(n) + "')")) {
        return false;
      }
    }
    if (set_.DropValueIndexes() != 1) return Fail("value indexes not dropped");
    const struct {
      std::string table;
      std::string columns;
      std::string values;
    } copied[] = {
        {"KRDB_META_INFO", "META_ID,COL_ID,REMARK,OWNER,CRTTIME,MODTIME",
         "t.META_ID+k.N*" + stride + ",t.COL_ID,t.REMARK,t.OWNER,t.CRTTIME,t.MODTIME"},
        {"META_STRUCTINFO_" + c, "MetaID,STRUCT_INFO,PROLOG_INFO,LABEL_INFO",
         "t.MetaID+k.N*" + stride + ",t.STRUCT_INFO,t.PROLOG_INFO,t.LABEL_INFO"},
        {"META_NDTEXT_" + c, "MetaID,NODEGUID,POSITION,NODEVALUE",
         "t.MetaID+k.N*" + stride + ",t.NODEGUID,t.POSITION,CASE WHEN t.NODEGUID=" + titleGuid +
             " THEN t.NODEVALUE || ' #' || k.N || ' ' || k.W ELSE t.NODEVALUE END"},
        {"META_NDNUMBER_" + c, "MetaID,NODEGUID,POSITION,NODEVALUE",
         "t.MetaID+k.N*" + stride + ",t.NODEGUID,t.POSITION,CASE WHEN t.NODEGUID IN (" + southGuid +
             "," + northGuid + ") THEN -90+k.N*" + band + "+(t.NODEVALUE+90)/" +
             std::to_string(kLatitudeBands) + " ELSE t.NODEVALUE END"},
        {"META_NDDATETIME_" + c, "MetaID,NODEGUID,POSITION,NODEVALUE",
         "t.MetaID+k.N*" + stride + ",t.NODEGUID,t.POSITION,t.NODEVALUE"},
    };
    for (std::int64_t first = 1; first <= copies; first += kCopiesAtOnce) {
      const std::string runOf = " and k.N between " + std::to_string(first) + " and " +
                                std::to_string(first + kCopiesAtOnce - 1);
      for (const auto& t : copied) {
        const bool registry = t.table == "KRDB_META_INFO";
        const std::string id = registry ? "t.META_ID" : "t.MetaID";
        const std::string where =
            (registry ? " WHERE t.COL_ID=" + c + " and " : " WHERE ") + id + "<" + stride + runOf;
        if (!Run("INSERT INTO " + o + t.table + "(" + t.columns + ") SELECT " + t.values +
                 " FROM " + o + t.table + " t, " + o + "BENCH_K k" + where + " ORDER BY k.N," +
                 id)) {
          return false;
        }
      }
    }
    if (!Run("DROP TABLE " + o + "BENCH_K") || set_.RestoreValueIndexes() != 1 ||
        db_->Commit() != 1) {
      return Fail("the copies were not kept");
    }
    return Run("ANALYZE");
  }

  std::filesystem::path folder_;
  bool postgres_;
  bool keep_;           // the SQLite collection stays for the next run
  bool reuse_ = false;  // indexes that are ready are not rebuilt
  bool kept_ = false;   // complete, worth keeping
  std::unique_ptr<metashelf::testing::PgFreshDatabase> pg_;
  std::string file_;
  std::unique_ptr<CHostDataBase> db_;
  COraMetaDataBase catalog_;
  COraMetaDataSet set_;
  sqlite3* direct_ = nullptr;
  std::int32_t colID_ = 0;
  std::string owner_;
  std::int64_t stored_ = 0;
  std::int64_t records_ = 0;
  double storeMillis_ = 0;
  double storeCpu_ = 0;
  double buildCpu_ = 0;
};

// The last word of `title` (letters and digits).
std::string LastWord(const std::string& title) {
  std::size_t end = title.size();
  const auto word = [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  };
  while (end > 0 && !word(title[end - 1])) --end;
  std::size_t begin = end;
  while (begin > 0 && word(title[begin - 1])) --begin;
  return title.substr(begin, end - begin);
}

// Runs every search at each size on one backend; false on a failure.
bool RunBackend(bool postgres, const std::vector<std::int64_t>& sizes, bool keep,
                const std::string& only) {
  const char* title = "/metadata/idinfo/citation/citeinfo/title";
  std::vector<Search> searches = {
      {"like on titles", title, "like", "Census", ""},
      {"equal title (one record)", title, "=", "", ""},
      {"equal keyword", "/metadata/idinfo/keywords/theme/themekey", "=", "Transportation", ""},
      {"range on west bound", "/metadata/idinfo/spdom/bounding/westbc", "between", "-80", "-75"},
      {"[i] free text, selective", "", "text", "", "", true},
      {"[i] like on titles, selective", title, "like", "", "", true},
      {"[i] like on titles", title, "like", "Census", "", true},
      {"[i] like on titles, common", title, "like", "the ", "", true},
      {"like on titles, common", title, "like", "the ", ""},
      {"[i] box intersects, selective", "", "intersects", "", "", true},
      {"[i] box intersects, broad", "", "intersects", "-105.02,-90,-105,90", "", true},
      {"[i] free text, rare word", "", "text", "", "", true},
      {"[i] free text, rare and common", "", "text", "", "", true},
  };
  std::map<std::string, std::vector<double>> library;
  std::vector<double> builds;
  std::printf("== %s\n", postgres ? "PostgreSQL" : "SQLite");
  std::printf("%-32s %9s %8s %12s %12s %7s\n", "search", "records", "ids", "library ms",
              "direct ms", "ratio");
  for (std::int64_t size : sizes) {
    // Runs at once (of other worktrees too) each get a folder of their
    // own; a kept one is named by its size alone, to be found again.
    const std::string name =
        keep ? "metashelf-search-bench-kept-" + std::to_string(size)
             : "metashelf-search-bench-" + std::to_string(size) + "-" + std::to_string(getpid());
    const auto folder = std::filesystem::temp_directory_path() / name;
    Collection collection(folder, postgres, keep);
    if (!only.empty()) collection.ReuseIndexes();
    const auto start = std::chrono::steady_clock::now();
    if (!collection.Build(size)) return false;
    std::printf("-- %lld records built in %.1f s\n", static_cast<long long>(collection.records()),
                Millis(start) / 1000);
    const double build = collection.BuildIndexes();
    if (build < 0) return false;
    builds.push_back(build);
    std::printf(
        "-- search indexes built over the rows: %.3f ms a record (%.1f s); storing a "
        "record: %.3f ms; build / store %.2f\n",
        build, build * static_cast<double>(collection.records()) / 1000, collection.storeMillis(),
        build / collection.storeMillis());
    std::printf("-- processor time of this process: build %.3f ms a record, storing %.3f; %.2f\n",
                collection.buildCpu(), collection.storeCpu(),
                collection.buildCpu() / collection.storeCpu());
    const std::string first = collection.FirstTitle();
    const std::string marked = CopyWord(kMarkedCopy);
    searches[1].value1 = first + " #1 " + CopyWord(1);
    // Two words each in most records, side by side in one.
    searches[4].value1 = "\"" + LastWord(first) + " " + std::to_string(kMarkedCopy) + "\"";
    searches[5].value1 = first + " #" + std::to_string(kMarkedCopy) + " " + marked;
    searches[11].value1 = marked;
    searches[12].value1 = LastWord(first) + " " + marked;
    // A point of Philadelphia in the marked copy's band: the few boxes of
    // that copy around it and those that span the globe.
    searches[9].value1 = "-75.116," + LatitudeOfBand(kMarkedCopy, 39.9399) + ",-75.114," +
                         LatitudeOfBand(kMarkedCopy, 39.9401);
    for (const Search& s : searches) {
      if (std::string(s.name).find(only) == std::string::npos) continue;
      std::int64_t viaLibrary = 0;
      std::int64_t viaDirect = 0;
      const double lib = collection.ThroughLibrary(s, &viaLibrary);
      const double direct = collection.Directly(s, &viaDirect);
      if (lib < 0 || direct < 0 || (direct > 0 && viaLibrary != viaDirect)) {
        std::fprintf(stderr, "%s: failed or the two runs disagree (%lld and %lld ids)\n", s.name,
                     static_cast<long long>(viaLibrary), static_cast<long long>(viaDirect));
        return false;
      }
      library[s.name].push_back(lib);
      std::printf("%-32s %9lld %8lld %12.3f %12.3f %7.2f\n", s.name,
                  static_cast<long long>(collection.records()), static_cast<long long>(viaLibrary),
                  lib, direct, direct > 0 ? lib / direct : 0);
    }
  }
  if (sizes.size() < 2) return true;
  std::printf("-- growth of the library time from %lld to %lld records\n",
              static_cast<long long>(sizes[0]), static_cast<long long>(sizes[1]));
  for (const Search& s : searches) {
    const auto& t = library[s.name];
    if (t.size() < 2) continue;
    std::printf("%-32s x%.2f\n", s.name, t[0] > 0 ? t[1] / t[0] : 0);
  }
  std::printf("%-32s x%.2f\n", "index build, per record",
              builds[0] > 0 ? builds[1] / builds[0] : 0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::filesystem::is_directory(std::filesystem::path(METASHELF_CORPUS_DIR) / "fgdc")) {
    std::printf("corpus folder %s is absent: nothing measured\n", METASHELF_CORPUS_DIR);
    return 0;
  }
  std::vector<std::int64_t> sizes;
  bool postgresOnly = false;
  bool keep = false;
  std::string only;
  for (int k = 1; k < argc; ++k) {
    if (std::string(argv[k]) == "--postgresql") {
      postgresOnly = true;
    } else if (std::string(argv[k]) == "--keep") {
      keep = true;
    } else if (std::string(argv[k]) == "--only" && k + 1 < argc) {
      only = argv[++k];
    } else {
      char* end = nullptr;
      const long long size = std::strtoll(argv[k], &end, 10);
      if (end == argv[k] || *end != '\0' || size <= 0) {
        std::fprintf(stderr,
                     "usage: search_bench [small [large]] [--postgresql] [--keep] [--only NAME]\n");
        return 2;
      }
      sizes.push_back(size);
    }
  }
  if (sizes.empty()) sizes = {10000, 100000};
  std::printf("[i]: through MsSearch and the search indexes\n");
  if (!postgresOnly && !RunBackend(false, sizes, keep, only)) return 1;
  if (metashelf::testing::PgServerConninfo() == nullptr) {
    std::printf("METASHELF_PG_CONNINFO is not set: PostgreSQL not measured\n");
    return 0;
  }
  return RunBackend(true, sizes, false, only) ? 0 : 1;
}

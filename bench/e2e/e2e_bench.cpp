// The whole path on SQLite and PostgreSQL, at one or more collection sizes:
// records synthesised from the FGDC corpus are imported by the command-line
// tool (run as a subprocess, its default transaction shape: one per
// record), the same rows are written again by the floor (with every index
// in place, and with the value indexes built after the rows), then two
// identical passes: every value of the title node is read, records are read
// back and rebuilt to XML, four searches are timed through the library and
// as the same SQL run directly. The first pass follows the writes; the warm
// pass comes after it and, on SQLite, after the database files were read
// through once, so it shows each size without the writes before it. Last,
// the tool imports the same records again into an empty database of their
// own with the value indexes the other way (--value-indexes in-place on
// SQLite, where its default builds them after the rows of a large import;
// after on PostgreSQL, where it keeps them in place).
// Every import but one goes without the search indexes (free text,
// substrings, boxes), which the floor does not write either; the search
// indexes are built once over the first import's rows (MsReindex, what the
// first search of a database written without them costs), and one more
// import into a database of its own keeps them as the tool does by default
// (on PostgreSQL their rows with the records and their indexes at its end;
// on SQLite the build after it counts too), against the first import.
// Prints a Markdown table per backend, a column per size. Not a test:
// it prints figures and fails only when a step does not work (a wrong match
// count included). PostgreSQL needs METASHELF_PG_CONNINFO (run under
// scripts/with-postgres.sh); each size gets a fresh database there.
//
// With --budget, a size that would end the run later than that many seconds
// after its start (projected from the sizes before it) is made smaller or
// left out, and so is a second import that would not fit; the table's title
// says so.
//
//   e2e_bench [--backend sqlite|postgresql|both] [--records N[,N...]]
//             [--budget SECONDS] [--tool PATH] [--work DIR] [--keep]
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/model.h"
#include "metashelf/search.h"
#include "search/query_builder.h"
#include "size_budget.h"
#include "store.h"
#include "synth.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using metashelf::bench::FloorResult;
using metashelf::bench::Store;
using metashelf::bench::Synthesiser;
using Clock = std::chrono::steady_clock;

constexpr int kRepeats = 5;
constexpr std::int64_t kMostReads = 2000;
constexpr const char* kTitlePath = "/metadata/idinfo/citation/citeinfo/title";

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// The table: rows in the order first reported, a value per size.
class Report {
 public:
  void Set(const std::string& row, std::size_t column, const std::string& value) {
    if (values_.find(row) == values_.end()) order_.push_back(row);
    auto& cells = values_[row];
    if (cells.size() <= column) cells.resize(column + 1);
    cells[column] = value;
  }
  void Print(const std::vector<std::int64_t>& sizes) const {
    std::printf("| measure |");
    for (std::int64_t s : sizes) std::printf(" %lld records |", static_cast<long long>(s));
    std::printf("\n|---|");
    for (std::size_t i = 0; i < sizes.size(); ++i) std::printf("---:|");
    std::printf("\n");
    for (const std::string& row : order_) {
      std::printf("| %s |", row.c_str());
      const auto& cells = values_.at(row);
      for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::printf(" %s |", i < cells.size() ? cells[i].c_str() : "");
      }
      std::printf("\n");
    }
  }

 private:
  std::vector<std::string> order_;
  std::map<std::string, std::vector<std::string>> values_;
};

// The high-water mark of a running process's resident memory, kB (0 when
// it cannot be read, as of a process that has just ended).
long PeakRssKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return 0;
}

// Runs the tool; its exit status, -1 when it could not run. `rssKb` gets
// its peak resident memory. That is read from the running tool's own
// high-water mark, not from wait4: the kernel counts a spawned child's
// peak from its parent's memory until the exec, so wait4 would report this
// program's own peak whenever it is the larger.
// Starts the tool; its process id, 0 when it could not start.
pid_t SpawnTool(const std::string& tool, const std::vector<std::string>& args) {
  std::vector<std::string> all = {tool};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The tool's output goes to our standard error, away from the table.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, 2, 1);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return spawned == 0 ? pid : 0;
}

int RunTool(const std::string& tool, const std::vector<std::string>& args, long* rssKb) {
  const pid_t pid = SpawnTool(tool, args);
  if (pid == 0) return -1;
  int status = 0;
  long peak = 0;
  for (;;) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) break;
    if (ended < 0) return -1;
    peak = std::max(peak, PeakRssKb(pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (rssKb != nullptr) *rssKb = peak;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Search {
  std::string name;
  std::string expression;
  std::vector<SearchNode> nodes;
  std::int64_t expected = 0;
};

SearchNode Condition(std::int32_t id, const char* path, const char* op, std::string v1,
                     std::string v2 = "") {
  SearchNode n;
  n.condID = id;
  n.nodePath = path;
  n.op = op;
  n.value1 = std::move(v1);
  n.value2 = std::move(v2);
  return n;
}

std::vector<Search> Searches(const Synthesiser& synth) {
  const auto& t = Synthesiser::Targets();
  const char* keyword = "/metadata/idinfo/keywords/theme/themekey";
  const char* west = "/metadata/idinfo/spdom/bounding/westbc";
  const std::string low = Format("%g", t.rangeLow), high = Format("%g", t.rangeHigh);
  return {
      {"equality on keyword", "1", {Condition(1, keyword, "=", t.keyword)}, synth.CountKeyword()},
      {"range on west bound", "1", {Condition(1, west, "between", low, high)}, synth.CountRange()},
      {"like on titles", "1", {Condition(1, kTitlePath, "like", t.titlePart)}, synth.CountTitle()},
      {"(keyword or title) and range",
       "(1 or 2) and 3",
       {Condition(1, keyword, "=", t.keyword), Condition(2, kTitlePath, "like", t.titlePart),
        Condition(3, west, "between", low, high)},
       synth.CountCombined()},
  };
}

// Each size's second import through the tool: its value indexes the other
// way from the tool's default there, into an empty database of its own.
struct SecondImport {
  std::string mode;  // the tool's --value-indexes
  // A new empty database (a folder for SQLite, a fresh database on the
  // server for PostgreSQL); null with the reason when it cannot be made.
  std::function<std::unique_ptr<Store>(const fs::path& folder, std::string* error)> fresh;
  // What is left of the run's time budget, seconds (infinite without one).
  std::function<double()> secondsLeft;
  // Whether the size also gets an import by several processes at once into
  // one catalog (a shared server's case).
  bool concurrent = false;
};

constexpr int kConcurrentImports = 4;

// The bench collection of the database at `uri`, opened.
struct BenchCollection {
  std::unique_ptr<CHostDataBase> db;
  COraMetaDataBase catalog;
  COraMetaDataSet set;
  bool Open(const std::string& uri, std::string* error) {
    db = CHostDataBase::Open(uri, error);
    char name[] = "bench";
    std::int32_t colID = 0;
    return db && catalog.mtdb_Open(db.get(), db->FindMtdb("default"), 0) == 1 &&
           catalog.mds_GetID(name, &colID) == 1 && set.Open(&catalog, colID) == 1;
  }
  BenchCollection() = default;
  BenchCollection(const BenchCollection&) = delete;
  BenchCollection& operator=(const BenchCollection&) = delete;
  ~BenchCollection() {
    set.Close();
    catalog.mtdb_Close();
  }
};

// One size on one backend: everything measured into column `column` of
// `report`.
class Run {
 public:
  Run(const fs::path& work, Store& store, const std::string& tool, const SecondImport& second,
      Report& report, std::size_t column)
      : work_(work),
        store_(store),
        tool_(tool),
        second_(second),
        report_(report),
        column_(column) {}
  ~Run() {
    set_.Close();
    catalog_.mtdb_Close();
  }

  bool Go(std::int64_t records, Synthesiser& synth) {
    const fs::path files = work_ / "records";
    auto start = Clock::now();
    if (!synth.Write(files, records, 20261207)) return Fail("cannot write the records");
    std::fprintf(stderr, "  %lld records synthesised in %.1f s\n", static_cast<long long>(records),
                 Seconds(start));
    if (!Import(records, files)) return false;
    if (!Floor(records)) return false;
    if (!SearchImport(files)) return false;
    if (!Open()) return false;
    if (!BuildSearchIndexes()) return false;
    if (!Pass(records, synth, "first pass")) return false;
    if (!Warm()) return false;
    if (!Pass(records, synth, "warm")) return false;
    return Second(records, files) && Concurrent(records, files);
  }

  // Seconds the second import took (0 when it did not run).
  double secondSeconds() const { return secondSeconds_; }
  // Why the second import did not run; empty when it did.
  const std::string& leftOut() const { return leftOut_; }

 private:
  bool Fail(const std::string& what) {
    std::fprintf(stderr, "e2e_bench (%s): %s\n", store_.name(), what.c_str());
    return false;
  }
  void Put(const std::string& row, const std::string& value) { report_.Set(row, column_, value); }

  std::string SecondRow(const char* what) const {
    return "import --value-indexes " + second_.mode + ": " + what;
  }

  // The catalog, the FGDC schema and the empty collection, by the tool.
  bool Prepare(const std::string& uri) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--db", uri, "-q", "init"},
          std::vector<std::string>{"--db", uri, "-q", "schema", "add", "fgdc"},
          std::vector<std::string>{"--db", uri, "-q", "collection", "create", "bench", "--schema",
                                   "fgdc"}}) {
      if (RunTool(tool_, args, nullptr) != 0)
        return Fail("the tool failed: " + args[3] + " " + args[4]);
    }
    return true;
  }

  // A database of its own in `folder` for a later import, prepared as the
  // first one was; null (the reason said) when it cannot be made.
  std::unique_ptr<Store> FreshPrepared(const fs::path& folder, const std::string& what) {
    std::string error;
    std::unique_ptr<Store> store = second_.fresh(folder, &error);
    if (!store) {
      Fail(what + " database: " + error);
      return nullptr;
    }
    if (!Prepare(store->Uri())) return nullptr;
    return store;
  }

  bool Import(std::int64_t records, const fs::path& files) {
    const std::string uri = store_.Uri();
    if (!Prepare(uri)) return false;
    if (!store_.BeforeImport()) return Fail(store_.error());
    const std::int64_t before = store_.Bytes();
    long rss = 0;
    const auto start = Clock::now();
    const int status = RunTool(
        tool_,
        {"--db", uri, "-q", "import", "bench", files.string(), "--no-notes", "--no-search-indexes"},
        &rss);
    importSeconds_ = Seconds(start);
    if (status != 0) return Fail("the import failed");
    const std::int64_t after = store_.Bytes();
    if (before < 0 || after < 0) return Fail("cannot size the database: " + store_.error());
    Put("import: records/s (tool, its defaults but --no-search-indexes: batches of 256 records, "
        "--value-indexes auto)",
        Format("%.0f", records / importSeconds_));
    Put(SecondRow("records/s (into an empty database of its own)"), "not run");
    Put("import: peak resident memory of the tool, MB", Format("%.1f", rss / 1024.0));
    Put("database bytes per record", Format("%.0f", static_cast<double>(after - before) / records));
    return true;
  }

  bool Floor(std::int64_t records) {
    FloorResult floor;
    if (!store_.Floor(&floor)) return Fail(store_.error());
    const double all = floor.allIndexes.total(), late = floor.lateIndexes.total();
    Put("import: leaf rows/s (tool)", Format("%.0f", floor.leafRows / importSeconds_));
    leafRows_ = floor.leafRows;
    Put("rows written per record (all tables)",
        Format("%.1f", static_cast<double>(floor.rows) / records));
    Put("floor: records/s (one transaction; " + floor.how + ")", Format("%.0f", records / all));
    Put("import time / floor time (target 1.5)", Format("%.2f", importSeconds_ / all));
    Put("bulk floor: records/s (one transaction, COPY in binary)",
        floor.hasBulk ? Format("%.0f", records / floor.bulk.total()) : "none");
    Put("import time / bulk floor time",
        floor.hasBulk ? Format("%.2f", importSeconds_ / floor.bulk.total()) : "none");
    Put(SecondRow("time / floor time"), "not run");
    floorSeconds_ = all;
    Put("floor, every index in place: s", Format("%.3f", all));
    Put("floor, value indexes built after the rows: s (rows + indexes)",
        Format("%.3f", late) + " (" + Format("%.3f", floor.lateIndexes.rows) + " + " +
            Format("%.3f", floor.lateIndexes.indexes) + ", " +
            std::to_string(floor.lateIndexes.indexesBuilt) + " indexes)");
    Put("value indexes after the rows / in place", Format("%.2f", late / all));
    return true;
  }

  bool Open() {
    std::string error;
    db_ = CHostDataBase::Open(store_.Uri(), &error);
    if (!db_) return Fail("open: " + error);
    const std::int32_t mtdb = db_->FindMtdb("default");
    if (mtdb <= 0 || catalog_.mtdb_Open(db_.get(), mtdb, 0) != 1) return Fail("catalog");
    char name[] = "bench";
    std::int32_t colID = 0;
    if (catalog_.mds_GetID(name, &colID) != 1 || set_.Open(&catalog_, colID) != 1) {
      return Fail("collection");
    }
    set_.GetCSchemaPtr(&schema_);
    return schema_ != nullptr;
  }

  // The same records imported again into a database of their own, the
  // value indexes the other way; left out when it would not fit in the
  // budget.
  bool Second(std::int64_t records, const fs::path& files) {
    const double left = second_.secondsLeft();
    if (!metashelf::bench::SecondImportFits(importSeconds_, left)) {
      leftOut_ = "the import with --value-indexes " + second_.mode + " at " +
                 std::to_string(records) + " records would take about " +
                 Format("%.0f", metashelf::bench::ProjectSecondImport(importSeconds_)) +
                 " s, beyond the " + Format("%.0f", left) + " s left: left out";
      std::fprintf(stderr, "e2e_bench: %s\n", leftOut_.c_str());
      Put(SecondRow("records/s (into an empty database of its own)"), "left out");
      Put(SecondRow("time / floor time"), "left out");
      return true;
    }
    const fs::path folder = work_ / "second";
    bool ok = false;
    {
      std::unique_ptr<Store> store = FreshPrepared(folder, "second");
      if (!store) return false;
      const std::string uri = store->Uri();
      const auto start = Clock::now();
      ok = RunTool(tool_,
                   {"--db", uri, "-q", "import", "bench", files.string(), "--no-notes",
                    "--no-search-indexes", "--value-indexes", second_.mode},
                   nullptr) == 0;
      secondSeconds_ = Seconds(start);
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!ok) return Fail("the import with --value-indexes " + second_.mode + " failed");
    Put(SecondRow("records/s (into an empty database of its own)"),
        Format("%.0f", records / secondSeconds_));
    Put(SecondRow("time / floor time"), Format("%.2f", secondSeconds_ / floorSeconds_));
    return true;
  }

  // The records split in four, imported by four tools at once into one
  // collection of a database of their own: the sum of their rates, and
  // every record there once, whole (ids distinct, as many node rows as the
  // first import wrote).
  bool Concurrent(std::int64_t records, const fs::path& files) {
    if (!second_.concurrent) return true;
    const std::string row = "import, " + std::to_string(kConcurrentImports) +
                            " tools at once into one catalog: records/s (all together)";
    const double left = second_.secondsLeft();
    if (!metashelf::bench::SecondImportFits(importSeconds_, left)) {
      Put(row, "left out");
      std::fprintf(stderr, "e2e_bench: the concurrent import would not fit: left out\n");
      return true;
    }
    const fs::path folder = work_ / "concurrent";
    std::vector<fs::path> parts;
    std::error_code ec;
    for (int p = 0; p < kConcurrentImports; ++p) {
      parts.push_back(folder / ("part" + std::to_string(p)));
      fs::create_directories(parts.back(), ec);
    }
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(files)) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    for (std::size_t i = 0; i < names.size(); ++i) {
      fs::create_hard_link(names[i], parts[i % parts.size()] / names[i].filename(), ec);
      if (ec) return Fail("cannot split the records: " + ec.message());
    }
    bool ok = false;
    std::string what;
    {
      std::unique_ptr<Store> store = FreshPrepared(folder, "concurrent");
      if (!store) return false;
      const std::string uri = store->Uri();
      std::string error;
      const auto start = Clock::now();
      std::vector<pid_t> pids;
      for (const fs::path& part : parts) {
        pids.push_back(SpawnTool(tool_, {"--db", uri, "-q", "import", "bench", part.string(),
                                         "--no-notes", "--no-search-indexes"}));
      }
      ok = true;
      for (pid_t pid : pids) {
        int status = 0;
        ok = pid != 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
             WEXITSTATUS(status) == 0 && ok;
      }
      const double seconds = Seconds(start);
      if (ok) {
        Put(row, Format("%.0f", records / seconds));
        const std::int64_t leaf = store->LeafRows();
        std::set<std::int64_t> ids;
        {
          BenchCollection bench;
          CSmartArray<std::int64_t> list;
          ok = bench.Open(uri, &error) && bench.set.GetIDList(list) == 1;
          for (std::int32_t i = 0; ok && i < list.GetSize(); ++i) ids.insert(list[i]);
        }
        if (static_cast<std::int64_t>(ids.size()) != records || leaf != leafRows_) {
          ok = false;
          what = std::to_string(ids.size()) + " distinct records of " + std::to_string(records) +
                 ", " + std::to_string(leaf) + " node rows where one import wrote " +
                 std::to_string(leafRows_);
        }
      } else {
        what = "a tool failed";
      }
    }
    fs::remove_all(folder, ec);
    if (!ok) return Fail("the concurrent import: " + what);
    return true;
  }

  // Node values, reads and searches; `pass` names the rows.
  bool Pass(std::int64_t records, const Synthesiser& synth, const std::string& pass) {
    return NodeValues(records, pass) && Reads(pass) && Searches(synth, pass) &&
           IndexedSearches(synth, pass);
  }

  // The search indexes (free text, substrings, boxes) built once over the
  // rows of the import without them: what the first search of a database
  // written without them costs.
  bool BuildSearchIndexes() {
    const auto start = Clock::now();
    std::int64_t indexed = 0;
    if (MsReindex(&set_, &indexed) != 1) {
      return Fail("the search indexes were not built: " + db_->LastStatementError().message);
    }
    Put("search indexes built after the rows (MsReindex): s", Format("%.3f", Seconds(start)));
    return true;
  }

  // The same records imported by the tool with the search indexes, as it
  // does by default, into a database of its own: until they are ready,
  // the build after the import included where the tool leaves them to the
  // first search.
  bool SearchImport(const fs::path& files) {
    const fs::path folder = work_ / "searchable";
    double seconds = 0;
    double build = 0;
    std::string what;
    {
      std::unique_ptr<Store> store = FreshPrepared(folder, "searchable");
      if (!store) return false;
      const std::string uri = store->Uri();
      const auto start = Clock::now();
      if (RunTool(tool_, {"--db", uri, "-q", "import", "bench", files.string(), "--no-notes"},
                  nullptr) != 0) {
        what = "the import failed";
      }
      seconds = Seconds(start);
      BenchCollection bench;
      std::string error;
      if (what.empty() && !bench.Open(uri, &error)) what = "open: " + error;
      if (what.empty() && MsSearchIndexesReady(&bench.set) != 1) {
        const auto built = Clock::now();
        if (MsReindex(&bench.set, nullptr) != 1) what = "the search indexes were not built";
        build = Seconds(built);
      }
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!what.empty()) return Fail("the import with the search indexes: " + what);
    Put("import with the search indexes: s (the tool + a build after it where it leaves them)",
        Format("%.3f", seconds) + " + " + Format("%.3f", build));
    Put("import + search index build / import (target 1.25)",
        Format("%.2f", (seconds + build) / importSeconds_));
    return true;
  }

  // Searches answered from the search indexes, through MsSearch.
  bool IndexedSearches(const Synthesiser& synth, const std::string& pass) {
    const auto& t = Synthesiser::Targets();
    auto node = [](const char* op, const std::string& value, const char* path = "") {
      SearchNode n = Condition(1, path, op, value);
      return n;
    };
    const std::string box = Format("%g", t.boxWest) + "," + Format("%g", t.boxSouth) + "," +
                            Format("%g", t.boxEast) + "," + Format("%g", t.boxNorth);
    const struct {
      const char* name;
      SearchNode node;
      std::int64_t expected;
    } searches[] = {
        {"free text, selective", node("text", t.selectivePart), synth.CountSelective()},
        {"free text, two words, selective", node("text", "survey " + t.selectivePart),
         synth.CountSelective()},
        {"like on titles, selective (trigram index)", node("like", t.selectivePart, kTitlePath),
         synth.CountSelective()},
        {"like on titles (trigram index)", node("like", t.titlePart, kTitlePath),
         synth.CountTitle()},
        {"box intersects, selective", node("intersects", box), synth.CountBox()},
    };
    for (const auto& s : searches) {
      std::vector<double> times;
      std::int64_t found = 0;
      for (int r = 0; r < kRepeats; ++r) {
        std::vector<MsSearchHit> hits;
        MsSearchOptions options;
        options.orderByScore = true;
        const auto start = Clock::now();
        if (MsSearch(&set_, "1", {s.node}, options, &hits, nullptr) != 1) {
          return Fail(std::string(s.name) + " failed");
        }
        times.push_back(Seconds(start));
        found = static_cast<std::int64_t>(hits.size());
      }
      if (found != s.expected) {
        return Fail(std::string(s.name) + ": " + std::to_string(found) + " found, " +
                    std::to_string(s.expected) + " expected");
      }
      Put("indexed search " + std::string(s.name) + ", " + pass + ": ms (matches)",
          Format("%.3f", Median(times) * 1000) + " (" + std::to_string(found) + ")");
    }
    return true;
  }

  bool Warm() {
    const auto start = Clock::now();
    const std::int64_t bytes = store_.Warm();
    const double seconds = Seconds(start);
    if (bytes < 0) return Fail(store_.error());
    if (bytes > 0) {
      Put("warm-up: database files read through, MB (s)",
          Format("%.0f", bytes / 1e6) + " (" + Format("%.2f", seconds) + ")");
    }
    return true;
  }

  // GetNodeDataByGuid on the title, which every record has; keeps the ids
  // (the first pass) or checks them (the warm pass).
  bool NodeValues(std::int64_t records, const std::string& pass) {
    CNodeInfo info;
    std::int32_t guid = 0;
    if (schema_->GetNodeInfoByPath(kTitlePath, &info) != 1 || info.GetNodeGUID(guid) != 1) {
      return Fail("no title node");
    }
    std::vector<NodeDataStrcT> values(static_cast<std::size_t>(records) + 1);
    std::vector<double> times;
    for (int r = 0; r < 3; ++r) {
      std::memset(values.data(), 0, values.size() * sizeof(NodeDataStrcT));
      const auto start = Clock::now();
      if (set_.GetNodeDataByGuid(guid, 1, values.data(),
                                 static_cast<std::int32_t>(values.size())) != 1) {
        return Fail("GetNodeDataByGuid failed");
      }
      times.push_back(Seconds(start));
    }
    std::vector<std::int64_t> ids;
    for (const NodeDataStrcT& v : values) {
      if (v.metaID != 0) ids.push_back(v.metaID);
    }
    if (static_cast<std::int64_t>(ids.size()) != records) {
      return Fail("GetNodeDataByGuid gave " + std::to_string(ids.size()) + " values");
    }
    if (sample_.empty()) {
      // The same records are read in both passes.
      sample_ = ids;
      std::mt19937 random(7);
      std::shuffle(sample_.begin(), sample_.end(), random);
      if (static_cast<std::int64_t>(sample_.size()) > kMostReads) sample_.resize(kMostReads);
    }
    Put("GetNodeDataByGuid(title), " + pass + ": ms for all records",
        Format("%.1f", Median(times) * 1000));
    return true;
  }

  bool Reads(const std::string& pass) {
    std::size_t bytes = 0;
    const auto start = Clock::now();
    for (std::int64_t id : sample_) {
      CBaseMetaData record(schema_);
      std::string xml;
      if (set_.GetMetaData(id, &record) != 1 || record.ToXml(xml) != 1) {
        return Fail("cannot read record " + std::to_string(id));
      }
      bytes += xml.size();
    }
    const double seconds = Seconds(start);
    Put("read, " + pass + ": GetMetaData + XML, records/s (up to " + std::to_string(kMostReads) +
            " random)",
        Format("%.0f", sample_.size() / seconds));
    return bytes > 0;
  }

  bool Searches(const Synthesiser& synth, const std::string& pass) {
    for (Search& s : ::Searches(synth)) {
      std::vector<double> library, direct;
      std::int64_t viaLibrary = 0, viaDirect = 0;
      for (int r = 0; r < kRepeats; ++r) {
        CSmartArray<std::int64_t> ids;
        const auto start = Clock::now();
        if (set_.SearchMetaData(s.expression, s.nodes, ids) != 1) return Fail(s.name + " failed");
        library.push_back(Seconds(start));
        viaLibrary = ids.GetSize();
      }
      CQueryBuilder builder(&set_);
      std::string sql;
      if (builder.BuildSql(s.expression, s.nodes, sql) != 1) return Fail(s.name + ": no statement");
      for (int r = 0; r < kRepeats; ++r) {
        double seconds = 0;
        if (!store_.Direct(sql, &viaDirect, &seconds)) return Fail(store_.error());
        direct.push_back(seconds);
      }
      if (viaLibrary != s.expected || viaDirect != s.expected) {
        return Fail(s.name + ": " + std::to_string(viaLibrary) + " ids through the library, " +
                    std::to_string(viaDirect) + " directly, " + std::to_string(s.expected) +
                    " expected");
      }
      const double lib = Median(library), dir = Median(direct);
      Put("search " + s.name + ", " + pass + ": ms (matches)",
          Format("%.3f", lib * 1000) + " (" + std::to_string(viaLibrary) + ")");
      Put("search " + s.name + ", " + pass + ": library / direct SQL",
          Format("%.2f", dir > 0 ? lib / dir : 0));
    }
    return true;
  }

  fs::path work_;
  Store& store_;
  std::string tool_;
  const SecondImport& second_;
  Report& report_;
  std::size_t column_;
  double importSeconds_ = 0;
  double floorSeconds_ = 0;
  std::int64_t leafRows_ = 0;  // node rows the import wrote
  double secondSeconds_ = 0;
  std::string leftOut_;
  std::unique_ptr<CHostDataBase> db_;
  COraMetaDataBase catalog_;
  COraMetaDataSet set_;
  CSchema* schema_ = nullptr;
  std::vector<std::int64_t> sample_;  // the records read, in their order
};

std::vector<std::int64_t> ParseSizes(const std::string& text) {
  std::vector<std::int64_t> sizes;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = text.find(',', at);
    const std::string part =
        text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    const long long n = std::atoll(part.c_str());
    if (n > 0) sizes.push_back(n);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return sizes;
}

// Every size on one backend; prints its table. With a budget (seconds
// from `started`, 0 for none), a size that would not fit is made smaller or
// left out, and the table's title says so. False when a step failed.
bool RunBackend(bool postgresql, std::vector<std::int64_t> sizes, Synthesiser& synth,
                const fs::path& work, const std::string& tool, bool keep, double budget,
                Clock::time_point started) {
  Report report;
  const char* label = postgresql ? "PostgreSQL" : "SQLite";
  std::string note;
  double perRecord = 0;
  // The tool keeps PostgreSQL's value indexes in place by default and
  // builds SQLite's after the rows of an import this large.
  SecondImport second;
  // The tool's default builds the value indexes after the rows from 1,000
  // records on SQLite and 10,000 on PostgreSQL (bench/run's sizes): the
  // second import keeps them in place on both.
  second.mode = "in-place";
  second.fresh = [postgresql](const fs::path& folder, std::string* error) {
    return postgresql ? metashelf::bench::NewPgStore(error)
                      : metashelf::bench::NewSqliteStore(folder);
  };
  second.concurrent = postgresql;
  second.secondsLeft = [budget, started] {
    return budget > 0 ? budget - Seconds(started) : std::numeric_limits<double>::infinity();
  };
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    if (budget > 0 && i > 0) {
      const double left = budget - Seconds(started);
      const std::int64_t fit = metashelf::bench::FitSize(sizes[i], sizes[i - 1], perRecord, left);
      if (fit != sizes[i]) {
        note += " (" + std::to_string(sizes[i]) + " records would take about " +
                Format("%.0f", metashelf::bench::ProjectSeconds(sizes[i], perRecord)) +
                " s, beyond the " + Format("%.0f", left) +
                " s left: " + (fit > 0 ? std::to_string(fit) + " ran instead)" : "left out)");
        std::fprintf(stderr, "e2e_bench:%s\n", note.c_str());
        if (fit == 0) {
          sizes.resize(i);
          break;
        }
        sizes[i] = fit;
      }
    }
    std::fprintf(stderr, "e2e_bench: %lld records (%s, %zu templates)\n",
                 static_cast<long long>(sizes[i]), label, synth.templates());
    const fs::path folder =
        work / (std::string(postgresql ? "pg-" : "sqlite-") + std::to_string(sizes[i]));
    const auto start = Clock::now();
    bool ok = false;
    double secondSeconds = 0;
    {
      std::string error;
      std::unique_ptr<Store> store = second.fresh(folder, &error);
      if (!store) {
        std::fprintf(stderr, "e2e_bench (%s): %s\n", label, error.c_str());
      } else {
        Run run(folder, *store, tool, second, report, i);
        ok = run.Go(sizes[i], synth);
        secondSeconds = run.secondSeconds();
        if (!run.leftOut().empty()) note += " (" + run.leftOut() + ")";
      }
    }
    std::error_code ec;
    if (!keep) fs::remove_all(folder, ec);
    if (!ok) return false;
    // The next size is projected without the second import, which is
    // fitted on its own.
    perRecord = (Seconds(start) - secondSeconds) / static_cast<double>(sizes[i]);
  }
  std::printf("%s, %zu corpus templates%s\n\n", label, synth.templates(), note.c_str());
  report.Print(sizes);
  std::fflush(stdout);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: e2e_bench [--backend sqlite|postgresql|both] [--records N[,N...]]\n"
      "                 [--budget SECONDS] [--tool PATH] [--work DIR] [--keep]\n";
  std::vector<std::int64_t> sizes = {10000};
  std::string tool = METASHELF_TOOL;
  std::string backend = "both";
  fs::path work;
  bool keep = false;
  double budget = 0;
  const auto started = Clock::now();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--records" && i + 1 < argc) {
      sizes = ParseSizes(argv[++i]);
    } else if (a == "--budget" && i + 1 < argc) {
      budget = std::atof(argv[++i]);
    } else if (a == "--backend" && i + 1 < argc) {
      backend = argv[++i];
    } else if (a == "--tool" && i + 1 < argc) {
      tool = argv[++i];
    } else if (a == "--work" && i + 1 < argc) {
      work = argv[++i];
    } else if (a == "--keep") {
      keep = true;
    } else {
      std::fputs(usage, stderr);
      return 2;
    }
  }
  if (backend != "sqlite" && backend != "postgresql" && backend != "both") {
    std::fputs(usage, stderr);
    return 2;
  }
  if (sizes.empty()) {
    std::fprintf(stderr, "e2e_bench: --records needs sizes above 0\n");
    return 2;
  }
  const fs::path corpus = fs::path(METASHELF_CORPUS_DIR) / "fgdc";
  if (!fs::is_directory(corpus)) {
    std::printf("corpus folder %s is absent: nothing measured\n", corpus.c_str());
    return 0;
  }
  Synthesiser synth;
  if (!synth.LoadTemplates(corpus, 4)) {
    std::fprintf(stderr, "e2e_bench: no usable corpus record\n");
    return 1;
  }
  if (work.empty()) {
    work = fs::temp_directory_path() / ("metashelf-e2e-" + std::to_string(std::random_device()()));
  }
  bool ok = true;
  if (backend != "postgresql")
    ok = RunBackend(false, sizes, synth, work, tool, keep, budget, started);
  if (ok && backend != "sqlite") {
    if (backend == "both") std::printf("\n");
    ok = RunBackend(true, sizes, synth, work, tool, keep, budget, started);
  }
  std::error_code ec;
  if (!keep) fs::remove_all(work, ec);
  return ok ? 0 : 1;
}

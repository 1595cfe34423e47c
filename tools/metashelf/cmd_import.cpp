// import: records from files and folders into a collection. Each record is
// read and validated first (a record whose root is not the schema's, or
// none of whose values has a place in it, is rejected; values that stay
// inline or lie under paths the schema does not know are reported per file
// and, by path, in the summary), then written in batches (batch_writer.h:
// 256 records per transaction unless --batch says otherwise) whose failure
// is undone whole and retried record by record, so that a failed record
// leaves no trace and the others go on. Where the backend writes through
// several connections at once (PostgreSQL), the batches go to writers of
// their own (writer_pool.h) while this thread reads on. A large import
// builds the collection's value indexes once after its rows (index_plan.h);
// on PostgreSQL the search indexes' rows are written with the records and
// their indexes made once at the end (value_indexes.h).
// SIGINT and SIGTERM stop it between records: what was read is written and
// the indexes are built before it ends. Ends with a summary; the exit
// status is 0 only when every record was stored and the indexes are in
// place, 128 + the signal when interrupted.
#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <tuple>
#include <utility>

#include "batch_writer.h"
#include "commands.h"
#include "file_io.h"
#include "import_results.h"
#include "index_plan.h"
#include "interrupt.h"
#include "metashelf/base/numbers.h"
#include "metashelf/writer_policy.h"
#include "progress.h"
#include "value_indexes.h"
#include "writer_pool.h"

namespace metashelf::cli {
namespace {

constexpr std::size_t kIssuesShown = 5;
// Rows of the summary's table of paths the schema does not know.
constexpr std::size_t kUnplacedPathsShown = 20;

std::string LocalName(const std::string& name) {
  const std::size_t colon = name.find(':');
  return colon == std::string::npos ? name : name.substr(colon + 1);
}

// The root of a refused record for messages: its namespace is named when
// no prefix shows it, or when only the namespace tells it from the
// schema's root.
std::string RootText(const RecordFit& fit, const std::string& schemaRoot) {
  const bool prefixed = fit.root.find(':') != std::string::npos;
  if (LocalName(fit.root) != LocalName(schemaRoot)) {
    return prefixed || fit.rootUri.empty() ? fit.root : fit.root + " {" + fit.rootUri + "}";
  }
  return fit.root + (fit.rootUri.empty() ? " (no namespace)" : " {" + fit.rootUri + "}");
}

// The reading side: reads and checks each file, reports what it refuses
// and what stays unsearchable, and hands the records on in batches.
class Importer {
 public:
  using Sink = std::function<void(ImportBatch&)>;

  Importer(Collection& collection, const ImportOptions& options, ImportResults& results, Sink write)
      : collection_(collection), options_(options), results_(results), write_(std::move(write)) {}

  // Reads and validates one file (the `order`th given); queues it for
  // writing.
  void Add(std::size_t order, const std::string& file) {
    auto record = std::make_unique<CBaseMetaData>(&collection_.schema());
    std::string data;
    try {
      data = ReadFile(file);
    } catch (const ToolError& e) {
      results_.Reject(order, file, e.what(), false);
      return;
    }
    if (record->LoadXml(data.data(), data.size()) != 1) {
      results_.Reject(order, file, "not a readable XML record: " + record->LastError());
      return;
    }
    const RecordFit fit = record->Fit();
    if (!fit.rootKnown) {
      const std::string root = SchemaRoot();
      results_.Reject(order, file,
                      "root " + RootText(fit, root) + " is not the root of schema " +
                          collection_.schemaName() + " (" + root + ")");
      return;
    }
    std::int32_t leaves = 0;
    record->GetLeafNodeListSize(leaves);
    const std::vector<ValidationIssue> issues = record->Validate();
    if (leaves == 0 && (fit.unplacedValues > 0 || !issues.empty())) {
      results_.Reject(order, file,
                      "not one of its " + std::to_string(fit.unplacedValues + issues.size()) +
                          " value(s) has a place in schema " + collection_.schemaName());
      return;
    }
    if (fit.unplacedValues > 0) NoteUnplaced(file, fit);
    if (!issues.empty()) {
      std::string note = file + ": " + std::to_string(issues.size()) +
                         " value(s) kept in the record but not stored as searchable leaves:";
      for (std::size_t i = 0; i < issues.size() && i < kIssuesShown; ++i) {
        note += "\n  " + issues[i].path + ": " + issues[i].reason;
        if (!issues[i].value.empty()) note += " (\"" + Shorten(issues[i].value) + "\")";
      }
      if (issues.size() > kIssuesShown) {
        note += "\n  ... and " + std::to_string(issues.size() - kIssuesShown) + " more";
      }
      if (!options_.quietNotes) results_.Note(note);
    }
    batch_.push_back(ImportRecord{order, file, std::move(record), !issues.empty()});
    if (batch_.size() >= static_cast<std::size_t>(options_.batch)) Flush();
  }

  // Hands on what is queued.
  void Flush() {
    if (!batch_.empty()) write_(batch_);
    batch_.clear();
  }

  std::size_t withUnplaced() const { return withUnplaced_; }
  std::int64_t unplacedValues() const { return unplacedValues_; }
  // Path, values, records: the most values first.
  std::vector<std::tuple<std::string, std::int64_t, std::int64_t>> UnplacedPaths() const {
    std::vector<std::tuple<std::string, std::int64_t, std::int64_t>> rows;
    for (const auto& [path, counts] : unplaced_)
      rows.emplace_back(path, counts.first, counts.second);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const auto& a, const auto& b) { return std::get<1>(a) > std::get<1>(b); });
    return rows;
  }

 private:
  static std::string Shorten(const std::string& value) {
    std::string s = value.size() > 60 ? value.substr(0, 57) + "..." : value;
    for (char& c : s) {
      if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    }
    return s;
  }

  // The first root of the collection's schema, for messages.
  std::string SchemaRoot() {
    CNodeInfo root;
    if (collection_.schema().GetNodeInfoAt(0, &root) != 1) return "no root";
    return root.Name();
  }

  void NoteUnplaced(const std::string& file, const RecordFit& fit) {
    ++withUnplaced_;
    unplacedValues_ += fit.unplacedValues;
    for (const auto& [path, values] : fit.unplaced) {
      auto& counts = unplaced_[path];
      counts.first += values;
      ++counts.second;
    }
    if (options_.quietNotes) return;
    std::string note = file + ": " + std::to_string(fit.unplacedValues) +
                       " value(s) under paths that schema " + collection_.schemaName() +
                       " does not know (kept, not searchable):";
    for (std::size_t i = 0; i < fit.unplaced.size() && i < kIssuesShown; ++i) {
      note += "\n  " + fit.unplaced[i].first + " (" + std::to_string(fit.unplaced[i].second) + ")";
    }
    if (fit.unplaced.size() > kIssuesShown) {
      note += "\n  ... and " + std::to_string(fit.unplaced.size() - kIssuesShown) + " more path(s)";
    }
    results_.Note(note);
  }

  Collection& collection_;
  const ImportOptions& options_;
  ImportResults& results_;
  Sink write_;
  ImportBatch batch_;
  std::size_t withUnplaced_ = 0;
  std::int64_t unplacedValues_ = 0;
  std::map<std::string, std::pair<std::int64_t, std::int64_t>> unplaced_;  // values, records
};

// Records per transaction at most.
constexpr int kMaxBatch = 100000;
// Writers at most.
constexpr int kMaxWriters = 64;

// The writers an import of `files` runs: --writers, or the backend's
// choice; never more than the backend writes at once (said unless quiet),
// nor than there are batches to write.
int ChooseWriters(const ImportOptions& options, const MsWriterPolicy& policy, std::size_t files,
                  bool quiet, Progress& progress) {
  int writers = options.writers > 0 ? options.writers : std::max<int>(1, policy.writers);
  if (policy.maxWriters > 0 && writers > policy.maxWriters) {
    if (options.writers > 0 && !quiet) {
      progress.Note("this database takes " + std::to_string(policy.maxWriters) +
                    " writer(s) at a time: writing with " + std::to_string(policy.maxWriters));
    }
    writers = policy.maxWriters;
  }
  const std::size_t batches = (files + static_cast<std::size_t>(options.batch) - 1) /
                              static_cast<std::size_t>(options.batch);
  return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(writers), batches));
}

}  // namespace

int RunImport(const Globals& globals, const ImportOptions& options) {
  if (options.batch < 1 || options.batch > kMaxBatch) {
    UsageFail("--batch takes a whole number from 1 to " + std::to_string(kMaxBatch));
  }
  if (options.writers < 0 || options.writers > kMaxWriters) {
    UsageFail("--writers takes a whole number from 1 to " + std::to_string(kMaxWriters));
  }
  ValueIndexMode mode = ValueIndexMode::kAuto;
  if (!ParseValueIndexMode(options.valueIndexes, &mode)) {
    UsageFail("import: --value-indexes must be auto, after or in-place");
  }
  const std::vector<std::string> files = CollectXmlFiles(options.paths);
  if (files.empty()) Fail("import: no XML files among the paths given");
  Session session(globals);
  Collection collection(session, options.collection);
  MsValueIndexPolicy policy;
  if (MsGetValueIndexPolicy(&collection.set(), &policy) != 1) {
    Fail("collection '" + options.collection + "' is not a stored collection");
  }
  // The record count matters only to the automatic choice.
  const bool after = BuildValueIndexesAfter(
      mode, policy, files.size(), mode == ValueIndexMode::kAuto ? collection.RecordCount() : 0);

  ImportOptions effective = options;
  effective.quietNotes = options.quietNotes || globals.quiet;
  Progress progress(std::cerr, ChooseProgressMode(globals.quiet, 2), files.size(), "import");
  MsWriterPolicy writerPolicy;
  MsGetWriterPolicy(&collection.set(), &writerPolicy);
  const int writers = ChooseWriters(options, writerPolicy, files.size(), globals.quiet, progress);
  ImportResults results(progress);
  // Held from before the indexes may be dropped until after they are built
  // (not while the database is opened: a signal then ends the tool at once).
  InterruptPoint interrupt;
  // Where the backend says it costs nothing when they are all there, every
  // import first builds value indexes that an interrupted one left dropped.
  ImportValueIndexes indexes(collection, policy.restoreBeforeImport, after,
                             !options.noSearchIndexes, progress, effective.quietNotes);
  // One writer writes on the reading thread, through the collection opened
  // above; several each have a session of their own, opened once the
  // indexes are dropped and made while the signals are held.
  BatchWriter here(collection, effective, results);
  std::unique_ptr<WriterPool> pool;
  if (writers > 1) {
    pool = std::make_unique<WriterPool>(globals, options.collection, writers, effective, results);
  }
  Importer importer(collection, effective, results, [&](ImportBatch& batch) {
    if (pool) {
      pool->Push(batch);
    } else {
      here.Write(batch);
    }
  });
  std::size_t read = 0;
  for (const std::string& file : files) {
    if (interrupt.Taken() || results.stopped()) break;
    importer.Add(read, file);
    ++read;
    results.ShowProgress();
  }
  importer.Flush();
  if (pool) {
    // Every writer's connection is closed before the indexes are built.
    pool->Finish();
    pool.reset();
  }
  const bool indexed = indexes.Finish();
  // A signal that came during the last records or the index build is
  // reported here; held until the end, it would end the process before
  // the summary left its buffer.
  interrupt.Taken();
  results.ShowProgress();
  progress.Finish();
  const double elapsed = progress.Elapsed();

  const std::size_t stored = results.stored();
  const std::vector<std::pair<std::string, std::string>> rejections = results.Rejected();
  const std::size_t rejected = rejections.size();
  const std::string rate = base::FormatDouble(elapsed > 0 ? stored / elapsed : 0.0, 'f', 1);
  std::cout << "stored " << stored << " of " << files.size() << " record(s) in '"
            << collection.name() << "' in " << FormatDuration(elapsed) << " (" << rate
            << " records/s); " << rejected << " rejected";
  if (results.withInline() > 0) {
    std::cout << "; " << results.withInline()
              << " with values kept inline (stored, but those values are not searchable)";
  }
  if (importer.withUnplaced() > 0) {
    std::cout << "; " << importer.withUnplaced() << " with " << importer.unplacedValues()
              << " value(s) under paths the schema does not know (stored, but not searchable)";
  }
  std::cout << "\n";
  for (const auto& [file, reason] : rejections) std::cout << "  rejected " << reason << "\n";
  if (importer.withUnplaced() > 0) {
    // Always shown (--no-notes hides only the lines per record): the paths
    // a schema grown from these records would make searchable.
    const auto rows = importer.UnplacedPaths();
    std::cout << "paths that schema " << collection.schemaName()
              << " does not know (values kept and returned whole, not searchable; "
                 "'schema from-samples --extend' grows a schema that knows them):\n"
              << "  VALUES\tRECORDS\tPATH\n";
    for (std::size_t i = 0; i < rows.size() && i < kUnplacedPathsShown; ++i) {
      std::cout << "  " << std::get<1>(rows[i]) << "\t" << std::get<2>(rows[i]) << "\t"
                << std::get<0>(rows[i]) << "\n";
    }
    if (rows.size() > kUnplacedPathsShown) {
      std::int64_t rest = 0;
      for (std::size_t i = kUnplacedPathsShown; i < rows.size(); ++i) rest += std::get<1>(rows[i]);
      std::cout << "  ... and " << rows.size() - kUnplacedPathsShown << " more path(s) with "
                << rest << " value(s)\n";
    }
  }
  const std::size_t notStored = files.size() - stored - rejected;
  if (const std::string full = results.fullReason(); !full.empty()) {
    std::cout << "stopped: the disk is full (" << full << "); " << stored << " record(s) stored, "
              << notStored << " not stored; free some space and import the rest again\n";
    return kExitFailure;
  }
  if (const std::string failed = results.failedReason(); !failed.empty()) {
    std::cout << "stopped: " << failed << "; " << stored << " record(s) stored, " << notStored
              << " not stored; import the rest again\n";
    return kExitFailure;
  }
  if (interrupt.signal() != 0) {
    // Every record read was written or rejected; the rest were not read.
    std::cout << "interrupted by " << (interrupt.signal() == SIGINT ? "SIGINT" : "SIGTERM") << ": "
              << files.size() - read << " record(s) not read\n";
    return 128 + interrupt.signal();
  }
  return rejected == 0 && indexed ? 0 : kExitFailure;
}

void AddImportCommand(CLI::App& app, Globals& globals, Action& action) {
  auto options = std::make_shared<ImportOptions>();
  CLI::App* importCmd = app.add_subcommand(
      "import", "import XML records from files and folders (recursively) into a collection");
  importCmd->add_option("COLLECTION", options->collection, "collection name")->required();
  importCmd->add_option("PATH", options->paths, "record files or folders")->required();
  importCmd->add_option("--batch", options->batch,
                        "records per transaction, 256 unless given (a failed batch is retried "
                        "record by record)");
  importCmd
      ->add_option(
          "--value-indexes", options->valueIndexes,
          "auto (the default: on SQLite, an import of 1,000 records or more, and at "
          "least half as many as the collection holds, builds the value indexes once after "
          "its rows), after, or in-place (kept up to date row by row)")
      ->check(CLI::IsMember({"auto", "after", "in-place"}));
  importCmd
      ->add_option(
          "--writers", options->writers,
          "connections that write at once, each its own batches in its own transactions: the "
          "backend's choice unless given (2 on PostgreSQL; SQLite writes with one). With more than "
          "one, records get their ids in the order they are written, not in the order of the files")
      ->check(CLI::Range(1, kMaxWriters));
  importCmd->add_flag(
      "--no-search-indexes", options->noSearchIndexes,
      "import without the search indexes (free text, substrings, boxes): those there are "
      "dropped, and the first search or 'metashelf reindex' builds them. Otherwise, on "
      "PostgreSQL, an import into a collection that is empty or whose search indexes are ready "
      "writes their rows with its records and makes the indexes once when it ends");
  importCmd->add_flag("--no-notes", options->quietNotes,
                      "do not list, per record, values that stay inline or lie under paths the "
                      "schema does not know (rejections and the summary are always listed)");
  importCmd->callback(
      [&, options] { action = [&, options] { return RunImport(globals, *options); }; });
}

}  // namespace metashelf::cli

// import: records from files and folders into a collection. Each record is
// read and validated first (a record whose root is not the schema's, or
// none of whose values has a place in it, is rejected; values that stay
// inline or lie under paths the schema does not know are reported per file
// and, by path, in the summary), then written in batches (256 records per transaction unless
// --batch says otherwise, each a batch unit of work in which a record's own
// unit costs nothing) whose failure is undone whole and retried record by
// record, so that a failed record leaves no trace and the others go on. A large import
// on SQLite builds the collection's value indexes once after its rows
// (index_plan.h). SIGINT and SIGTERM stop it between records: what was
// read is written and the indexes are built before it ends. Ends with a
// summary; the exit status is 0 only when every record was stored and the
// indexes are in place, 128 + the signal when interrupted.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

#include "commands.h"
#include "file_io.h"
#include "index_plan.h"
#include "interrupt.h"
#include "metashelf/base/numbers.h"
#include "metashelf/record_add.h"
#include "progress.h"
#include "value_indexes.h"

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

struct Pending {
  std::string file;
  std::unique_ptr<CBaseMetaData> record;
  bool inlineValues = false;  // some values stay inline (counted once stored)
};

// Records per transaction at most.
constexpr int kMaxBatch = 100000;

// True when a failure is the disk (or the database's space) running out:
// nothing more can be stored, so the import stops there.
bool DiskFull(const std::string& message, const CHostDataBase::StatementError& failed,
              std::uint64_t failuresBefore) {
  if (failed.number != failuresBefore &&
      failed.native == 1653 /* ORA-01653: no room to extend, on every backend */) {
    return true;
  }
  return message.find("disk is full") != std::string::npos ||
         message.find("No space left") != std::string::npos ||
         message.find("could not extend file") != std::string::npos;
}

class Importer {
 public:
  Importer(Collection& collection, const ImportOptions& options, Progress& progress)
      : collection_(collection), options_(options), progress_(progress) {}

  // Reads and validates one file; queues it for writing.
  void Add(const std::string& file) {
    auto record = std::make_unique<CBaseMetaData>(&collection_.schema());
    std::string data;
    try {
      data = ReadFile(file);
    } catch (const ToolError& e) {
      Reject(file, e.what(), false);
      return;
    }
    if (record->LoadXml(data.data(), data.size()) != 1) {
      Reject(file, "not a readable XML record: " + record->LastError());
      return;
    }
    const RecordFit fit = record->Fit();
    if (!fit.rootKnown) {
      const std::string root = SchemaRoot();
      Reject(file, "root " + RootText(fit, root) + " is not the root of schema " +
                       collection_.schemaName() + " (" + root + ")");
      return;
    }
    std::int32_t leaves = 0;
    record->GetLeafNodeListSize(leaves);
    const std::vector<ValidationIssue> issues = record->Validate();
    if (leaves == 0 && (fit.unplacedValues > 0 || !issues.empty())) {
      Reject(file, "not one of its " + std::to_string(fit.unplacedValues + issues.size()) +
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
      if (!options_.quietNotes) progress_.Note(note);
    }
    batch_.push_back(Pending{file, std::move(record), !issues.empty()});
    if (batch_.size() >= static_cast<std::size_t>(options_.batch)) Flush();
  }

  // Writes what is queued. After a full disk nothing more is tried.
  void Flush() {
    if (batch_.empty() || full()) {
      batch_.clear();
      return;
    }
    if (batch_.size() > 1 && StoreBatch()) {
      for (const Pending& p : batch_) Stored(p);
    } else {
      for (Pending& p : batch_) {
        if (full()) break;
        StoreOne(p);
      }
    }
    batch_.clear();
  }

  // The reason the disk filled up, when it did ("" otherwise).
  bool full() const { return !full_.empty(); }
  const std::string& fullReason() const { return full_; }

  std::size_t stored() const { return stored_; }
  // Records written or rejected so far (queued ones are not yet done).
  std::size_t processed() const { return stored_ + rejected_.size(); }
  std::size_t withInline() const { return withInline_; }
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
  const std::vector<std::pair<std::string, std::string>>& rejected() const { return rejected_; }

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
    progress_.Note(note);
  }

  void Stored(const Pending& p) {
    ++stored_;
    if (p.inlineValues) ++withInline_;
  }

  void Reject(const std::string& file, const std::string& reason, bool prefix = true) {
    const std::string line = prefix ? file + ": " + reason : reason;
    rejected_.emplace_back(file, line);
    progress_.Note("rejected " + line);
  }

  // Adds one record inside the caller's transaction; its id or 0.
  std::int64_t Write(Pending& p) {
    if (options_.remarks) {
      // The file name is kept as the record's remark, registered with the
      // record (one write, one wait on PostgreSQL). A record is stored
      // whether or not the remark could be set: when the add with the
      // remark fails, the record is added again and the remark set after.
      std::string remark = std::filesystem::path(p.file).filename().string();
      const std::int64_t id = MsAddMetaData(&collection_.set(), p.record.get(), remark.c_str());
      if (id > 0) return id;
    }
    const std::int64_t id = collection_.set().AddMetaData(p.record.get());
    if (id <= 0) return 0;
    if (options_.remarks) {
      std::string remark = std::filesystem::path(p.file).filename().string();
      collection_.session().catalog().meta_UpdateRemark(id, remark.data());
    }
    return id;
  }

  // Writes the queued records as one batch (gis_SQLBeginBatch): a record's
  // own unit of work then costs nothing, and a failure anywhere undoes the
  // batch, which Flush retries record by record. A failed batch, full disk
  // or not, is retried so: smaller transactions may still fit, and the
  // first record that does not stops the import.
  bool StoreBatch() {
    gis_SQLHDBC_STRU* hdbc = collection_.session().db().HDBC();
    if (gis_SQLBeginBatch(hdbc) != GIS_SQL_SUCCESS) return false;
    for (Pending& p : batch_) {
      if (Write(p) <= 0) {
        gis_SQLEndUnit(hdbc, 0);
        return false;
      }
    }
    return gis_SQLEndUnit(hdbc, 1) == GIS_SQL_SUCCESS;
  }

  // Records a full disk from the failure just seen.
  void NoteFull(const std::string& message, std::uint64_t failuresBefore) {
    CHostDataBase& db = collection_.session().db();
    const CHostDataBase::StatementError failed = db.LastStatementError();
    if (!DiskFull(message, failed, failuresBefore)) return;
    full_ = failed.number != failuresBefore && !failed.message.empty() ? failed.message : message;
  }

  void StoreOne(Pending& p) {
    CHostDataBase& db = collection_.session().db();
    try {
      Transaction tx(db);
      const std::uint64_t failuresBefore = db.LastStatementError().number;
      if (Write(p) <= 0) {
        // The database's reason when a statement of this record failed.
        const CHostDataBase::StatementError failed = db.LastStatementError();
        const std::string detail =
            failed.number != failuresBefore ? failed.message : db.LastError();
        tx.Rollback();
        NoteFull(detail, failuresBefore);
        if (full()) return;  // not the record's fault: said once, in the summary
        Reject(p.file, "the collection refused the record" +
                           (detail.empty() ? std::string() : ": " + detail));
        return;
      }
      tx.Commit();
      Stored(p);
    } catch (const ToolError& e) {
      NoteFull(e.what(), db.LastStatementError().number);
      if (!full()) Reject(p.file, e.what());
    }
  }

  Collection& collection_;
  const ImportOptions& options_;
  Progress& progress_;
  std::vector<Pending> batch_;
  std::size_t stored_ = 0;
  std::size_t withInline_ = 0;
  std::size_t withUnplaced_ = 0;
  std::int64_t unplacedValues_ = 0;
  std::map<std::string, std::pair<std::int64_t, std::int64_t>> unplaced_;  // values, records
  std::vector<std::pair<std::string, std::string>> rejected_;
  std::string full_;
};

}  // namespace

int RunImport(const Globals& globals, const ImportOptions& options) {
  if (options.batch < 1 || options.batch > kMaxBatch) {
    UsageFail("--batch takes a whole number from 1 to " + std::to_string(kMaxBatch));
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
  // Held from before the indexes may be dropped until after they are built
  // (not while the database is opened: a signal then ends the tool at once).
  InterruptPoint interrupt;
  // Where the backend says it costs nothing when they are all there, every
  // import first builds value indexes that an interrupted one left dropped.
  ImportValueIndexes indexes(collection, policy.restoreBeforeImport, after, progress,
                             effective.quietNotes);
  Importer importer(collection, effective, progress);
  std::size_t read = 0;
  for (const std::string& file : files) {
    if (interrupt.Taken() || importer.full()) break;
    importer.Add(file);
    ++read;
    progress.Update(importer.processed());
  }
  importer.Flush();
  const bool indexed = indexes.Finish();
  // A signal that came during the last records or the index build is
  // reported here; held until the end, it would end the process before
  // the summary left its buffer.
  interrupt.Taken();
  progress.Update(importer.processed());
  progress.Finish();
  const double elapsed = progress.Elapsed();

  const std::size_t rejected = importer.rejected().size();
  const std::string rate =
      base::FormatDouble(elapsed > 0 ? importer.stored() / elapsed : 0.0, 'f', 1);
  std::cout << "stored " << importer.stored() << " of " << files.size() << " record(s) in '"
            << collection.name() << "' in " << FormatDuration(elapsed) << " (" << rate
            << " records/s); " << rejected << " rejected";
  if (importer.withInline() > 0) {
    std::cout << "; " << importer.withInline()
              << " with values kept inline (stored, but those values are not searchable)";
  }
  if (importer.withUnplaced() > 0) {
    std::cout << "; " << importer.withUnplaced() << " with " << importer.unplacedValues()
              << " value(s) under paths the schema does not know (stored, but not searchable)";
  }
  std::cout << "\n";
  for (const auto& [file, reason] : importer.rejected())
    std::cout << "  rejected " << reason << "\n";
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
  if (importer.full()) {
    std::cout << "stopped: the disk is full (" << importer.fullReason() << "); "
              << importer.stored() << " record(s) stored, "
              << files.size() - importer.stored() - rejected
              << " not stored; free some space and import the rest again\n";
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
  importCmd->add_flag("--no-notes", options->quietNotes,
                      "do not list, per record, values that stay inline or lie under paths the "
                      "schema does not know (rejections and the summary are always listed)");
  importCmd->callback(
      [&, options] { action = [&, options] { return RunImport(globals, *options); }; });
}

}  // namespace metashelf::cli

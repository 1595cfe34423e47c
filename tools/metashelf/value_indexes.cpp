// Dropping and building a collection's value indexes around an import.
#include "value_indexes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "metashelf/metashelf.h"

namespace metashelf::cli {
namespace {

// The native code of a failure to make an object whose name is taken.
constexpr std::int32_t kNameTaken = 955;

// Joins a thread when it goes out of scope, if it was started.
class Joined {
 public:
  explicit Joined(std::thread& thread) : thread_(thread) {}
  ~Joined() {
    if (thread_.joinable()) thread_.join();
  }
  Joined(const Joined&) = delete;
  Joined& operator=(const Joined&) = delete;

 private:
  std::thread& thread_;
};

}  // namespace

ImportValueIndexes::ImportValueIndexes(Collection& collection, bool restoreFirst, bool after,
                                       bool search, Progress& progress, bool quiet)
    : collection_(collection),
      name_(collection.name()),
      progress_(progress),
      quiet_(quiet),
      collectionSet_(&collection.set()) {
  if (restoreFirst || after) {
    std::int32_t created = 0;
    std::string reason;
    if (!Restore(collection_, &created, &reason)) {
      Fail("cannot build the missing value indexes of '" + name_ + "'" + reason);
    }
    if (created > 0) {
      progress_.Note("built " + std::to_string(created) + " value index(es) of '" + name_ +
                     "' that an earlier import left missing");
    }
  }
  if (after) {
    dropped_ = true;
    if (MsDropValueIndexes(collectionSet_) != 1) {
      // Whatever was dropped is made again; the import keeps them in place.
      if (!Finish()) Fail("cannot build the value indexes of '" + name_ + "' again");
      if (!quiet_) progress_.Note("keeping the value indexes of '" + name_ + "' in place");
    }
  }
  if (!search) {
    if (MsDropSearchIndexes(collectionSet_) != 1) {
      Fail("cannot drop the search indexes of '" + name_ + "'");
    }
    return;
  }
  std::int32_t deferred = 0;
  if (MsDeferSearchIndexes(collectionSet_, &deferred) != 1) {
    Fail("cannot prepare the search indexes of '" + name_ + "' for the import");
  }
  searchDeferred_ = deferred == 1;
  // Where they are kept row by row, ready ones are built anew over all
  // rows at the end when the value indexes are.
  if (!searchDeferred_ && dropped_ && MsSearchIndexesReady(collectionSet_) == 1) {
    searchDropped_ = MsDropSearchIndexes(collectionSet_) == 1;
  }
}

ImportValueIndexes::~ImportValueIndexes() {
  if (!dropped_ && !searchDeferred_) return;
  try {
    Finish();
  } catch (...) {
    // A note that cannot be printed must not end the program here.
  }
}

bool ImportValueIndexes::Finish() {
  if (dropped_ && searchDeferred_) {
    // Neither end reads what the other makes: the value indexes are built
    // on a connection of their own while this one (and its sibling) make
    // the search indexes, so that the steps of each fill the cores the
    // other leaves idle. Without a second connection they come one after
    // the other.
    std::unique_ptr<Session> session;
    std::unique_ptr<Collection> collection;
    try {
      session = std::make_unique<Session>(collection_.session().globals());
      collection = std::make_unique<Collection>(*session, name_);
    } catch (const ToolError&) {
      collection.reset();
    }
    if (collection) return FinishTogether(*collection);
  }
  bool restored = true;
  if (dropped_) {
    dropped_ = false;
    // The value indexes come first: the search index build then reads each
    // node's values in order through them instead of sorting every text
    // row.
    if (!quiet_) progress_.Note("building the value indexes of '" + name_ + "' over its rows");
    std::string reason;
    restored = Restore(collection_, nullptr, &reason);
    if (!restored) NoteNotRestored(reason);
  }
  // Another import still writing into the collection makes deferred
  // indexes when it ends; a build commits in steps of its own and marks the
  // indexes ready last, so one cut short leaves them to the next search.
  if (std::exchange(searchDeferred_, false)) {
    SearchStep("making the search indexes of '" + name_ + "' over its rows", "make",
               [this] { return MsEndDeferredSearchIndexes(collectionSet_, nullptr); });
  }
  if (std::exchange(searchDropped_, false)) {
    SearchStep("building the search indexes of '" + name_ + "'", "build",
               [this] { return MsReindex(collectionSet_, nullptr); });
  }
  return restored;
}

bool ImportValueIndexes::FinishTogether(Collection& other) {
  dropped_ = false;
  searchDeferred_ = false;
  if (!quiet_) {
    progress_.Note("building the value indexes of '" + name_ +
                   "' and making its search indexes over its rows");
  }
  bool restored = false;
  std::string reason;
  // Set once the value indexes are built: until then the search indexes
  // are made on one connection, so that two statements run at once, then
  // on two.
  std::atomic<bool> valuesBuilt{false};
  const auto restore = [&] {
    restored = Restore(other, nullptr, &reason);
    valuesBuilt = true;
  };
  // The thread only runs statements; notes are made here, after it ended.
  // One that cannot be started leaves the value indexes to this thread.
  std::thread values;
  try {
    values = std::thread(restore);
  } catch (const std::system_error&) {
    valuesBuilt = true;
  }
  const bool started = values.joinable();
  {
    // Joined on every way out of the step, a throw included.
    const Joined joined(values);
    SearchStep(std::string(), "make", [this, &valuesBuilt] {
      return MsEndDeferredSearchIndexesBeside(
          collectionSet_, nullptr,
          [](void* built) -> std::int32_t {
            return static_cast<std::atomic<bool>*>(built)->load() ? 1 : 0;
          },
          &valuesBuilt);
    });
  }
  if (!started) restore();
  if (!restored) NoteNotRestored(reason);
  return restored;
}

void ImportValueIndexes::NoteNotRestored(const std::string& reason) {
  progress_.Note("could not build the value indexes of '" + name_ + "'" + reason +
                 "; searches stay correct but slow until the next import builds them");
}

void ImportValueIndexes::SearchStep(const std::string& note, const char* verb,
                                    const std::function<std::int32_t()>& step) {
  if (!quiet_ && !note.empty()) progress_.Note(note);
  if (step() != 1) {
    progress_.Note(std::string("could not ") + verb + " the search indexes of '" + name_ +
                   "'; the next search builds them");
  }
}

bool ImportValueIndexes::Restore(Collection& collection, std::int32_t* created,
                                 std::string* reason) {
  CHostDataBase& db = collection.session().db();
  const std::uint64_t before = db.LastStatementError().number;
  if (MsRestoreValueIndexes(&collection.set(), created) == 1) return true;
  // An index that is there already fails too (955, the name is taken),
  // tolerated: a reason is only given when the last failure is not such.
  const CHostDataBase::StatementError failed = db.LastStatementError();
  if (failed.number != before && failed.native != kNameTaken && !failed.message.empty()) {
    *reason = ": " + failed.message;
  }
  return false;
}

}  // namespace metashelf::cli

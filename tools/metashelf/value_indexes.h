// The value indexes of a collection for the length of one import. When the
// import builds them after its rows, they are dropped before the first
// batch and built once when the import ends, on every way out (a failure
// that ends the command included). Batches commit as they go, so a process
// killed in between leaves them dropped: searches stay correct, only slower,
// and the next import on SQLite (or with --value-indexes after) builds
// whichever is missing before anything else.
//
// The search indexes go with them: where the backend makes them once over
// the rows for less than it keeps them row by row (PostgreSQL), an import
// into a collection that is empty or whose search indexes are ready writes
// their rows with its records and makes the indexes when it ends
// (MsDeferSearchIndexes); elsewhere ready ones are dropped and built again
// when the value indexes are built after the rows. An import without them
// drops them, and the first search builds them.
#ifndef METASHELF_TOOLS_VALUE_INDEXES_H_
#define METASHELF_TOOLS_VALUE_INDEXES_H_

#include <functional>
#include <string>

#include "progress.h"
#include "session.h"

namespace metashelf::cli {

class ImportValueIndexes {
 public:
  // Restores missing indexes first when `restoreFirst`, then drops them
  // when `after` (when they cannot all be dropped, they are made again and
  // the import keeps them in place); the search indexes are kept, made
  // after the rows or, without `search`, dropped. Notes go to `progress`
  // unless `quiet`.
  ImportValueIndexes(Collection& collection, bool restoreFirst, bool after, bool search,
                     Progress& progress, bool quiet);
  // Builds them if Finish was not called.
  ~ImportValueIndexes();
  ImportValueIndexes(const ImportValueIndexes&) = delete;
  ImportValueIndexes& operator=(const ImportValueIndexes&) = delete;

  // Builds the dropped value indexes, then the search indexes whose making
  // waits for the end; false (with a note) when the value indexes could
  // not be built (search indexes that could not be made are noted: the
  // next search builds them). True at once when nothing waits.
  bool Finish();

 private:
  // Restores the indexes of `collection`: ok, or a note of why not (the
  // database's reason when a statement failed). Static: a thread of Finish
  // runs it on a connection of its own.
  static bool Restore(Collection& collection, std::int32_t* created, std::string* reason);
  // Builds the value indexes on `other` (the same collection, opened on a
  // second connection) while the search indexes are made on this one.
  bool FinishTogether(Collection& other);
  void NoteNotRestored(const std::string& reason);
  // Notes `note` (unless empty), runs `step` and notes when it failed to
  // `verb` the search indexes.
  void SearchStep(const std::string& note, const char* verb,
                  const std::function<std::int32_t()>& step);

  Collection& collection_;
  std::string name_;
  Progress& progress_;
  bool quiet_;
  bool dropped_ = false;
  // The search indexes were there and are rebuilt by Finish.
  bool searchDropped_ = false;
  // Writes keep the search indexes' rows; Finish makes the indexes.
  bool searchDeferred_ = false;
  CMetaDataSet_abs* collectionSet_;
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_VALUE_INDEXES_H_

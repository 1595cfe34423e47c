// Dropping and building a collection's value indexes around an import.
#include "value_indexes.h"

#include "metashelf/metashelf.h"

namespace metashelf::cli {

ImportValueIndexes::ImportValueIndexes(Collection& collection, bool restoreFirst, bool after,
                                       Progress& progress, bool quiet)
    : set_(dynamic_cast<COraMetaDataSet*>(&collection.set())),
      name_(collection.name()),
      progress_(progress),
      quiet_(quiet) {
  if (set_ == nullptr) Fail("collection '" + name_ + "' is not a stored collection");
  if (restoreFirst || after) {
    std::int32_t created = 0;
    if (set_->RestoreValueIndexes(&created) != 1) {
      Fail("cannot build the missing value indexes of '" + name_ + "'");
    }
    if (created > 0) {
      progress_.Note("built " + std::to_string(created) + " value index(es) of '" + name_ +
                     "' that an earlier import left missing");
    }
  }
  if (!after) return;
  dropped_ = true;
  if (set_->DropValueIndexes() != 1) {
    // Whatever was dropped is made again; the import keeps them in place.
    if (!Finish()) Fail("cannot build the value indexes of '" + name_ + "' again");
    if (!quiet_) progress_.Note("keeping the value indexes of '" + name_ + "' in place");
  }
}

ImportValueIndexes::~ImportValueIndexes() {
  if (!dropped_) return;
  try {
    Finish();
  } catch (...) {
    // A note that cannot be printed must not end the program here.
  }
}

bool ImportValueIndexes::Finish() {
  if (!dropped_) return true;
  dropped_ = false;
  if (!quiet_) progress_.Note("building the value indexes of '" + name_ + "' over its rows");
  if (set_->RestoreValueIndexes() == 1) return true;
  progress_.Note("could not build the value indexes of '" + name_ +
                 "': searches stay correct but slow until the next import builds them");
  return false;
}

}  // namespace metashelf::cli

// The writing side of an import on one connection: a batch of records in
// one transaction (gis_SQLBeginBatch: a record's own unit of work then costs
// nothing); a batch that fails is undone whole and written again record by
// record, each in a transaction of its own, so that a failed record leaves
// no trace and the others are stored. Each record's result goes to the
// import's results; a full disk stops the import there.
#ifndef METASHELF_TOOLS_BATCH_WRITER_H_
#define METASHELF_TOOLS_BATCH_WRITER_H_

#include <cstdint>
#include <string>

#include "commands.h"
#include "import_results.h"
#include "session.h"

namespace metashelf::cli {

class BatchWriter {
 public:
  // Writes into `collection`, which only this writer uses while it writes.
  BatchWriter(Collection& collection, const ImportOptions& options, ImportResults& results)
      : collection_(collection), options_(options), results_(results) {}

  // Writes `batch` and reports each record; writes nothing once the import
  // has stopped. The batch is left empty.
  void Write(ImportBatch& batch);

 private:
  // Adds one record inside the caller's transaction; its id or 0.
  std::int64_t Add(ImportRecord& r);
  bool StoreBatch(ImportBatch& batch);
  void StoreOne(ImportRecord& r);
  // Stops the import when the failure just seen is the disk running out;
  // true when it was.
  bool StopWhenFull(const std::string& message, std::uint64_t failuresBefore);

  Collection& collection_;
  const ImportOptions& options_;
  ImportResults& results_;
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_BATCH_WRITER_H_

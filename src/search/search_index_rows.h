// What an index build reads of the stored records: for a run of record ids
// at once, each record's structure document, its text values and the
// numbers of its box nodes, with one statement per table instead of a
// dozen per record. The build turns them into the text and boxes the
// search indexes hold, as the write path does from a record object.
#ifndef METASHELF_SRC_SEARCH_SEARCH_INDEX_ROWS_H_
#define METASHELF_SRC_SEARCH_SEARCH_INDEX_ROWS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "search/search_index.h"

struct MdsContext;
struct gis_SQLHDBC_STRU;

namespace metashelf {
namespace search {

// Records read at once by a build: enough to keep round trips rare, few
// enough that their documents and values fit easily in memory.
constexpr std::size_t kBuildBatch = 256;
// Records a build writes in one unit of work: few commits (each costs a
// checkpoint on SQLite), and no journal grows past a few hundred MB.
constexpr std::size_t kBuildUnit = 4096;

// Runs `select` (columns MetaID, NODEGUID, POSITION, NODEVALUE of a number
// table) and appends each row's bound to `(*bounds)[MetaID]`; NULL and NaN
// values bound nothing. False when a statement failed (its error drained).
bool ReadBounds(gis_SQLHDBC_STRU* hdbc, const std::string& select,
                std::unordered_map<std::int64_t, std::vector<BoxBound>>* bounds);

struct StoredRecord {
  std::int64_t id = 0;
  std::string structure;
  TextViews texts;  // views of the reader's buffer, good until its next Read
  std::vector<BoxBound> bounds;
};

class StoredRecordReader {
 public:
  // Reads on `hdbc`, the collection's connection when null (or another
  // connection to the same database, for a reader in a thread of its own).
  explicit StoredRecordReader(MdsContext* ctx, gis_SQLHDBC_STRU* hdbc = nullptr);
  ~StoredRecordReader();
  StoredRecordReader(const StoredRecordReader&) = delete;
  StoredRecordReader& operator=(const StoredRecordReader&) = delete;

  // The records ids[first] .. ids[last - 1] (ascending) into `out`, in
  // that order; a record without its structure row is left out. Their text
  // values lie in one buffer of the reader, which the next Read reuses.
  // False when a statement failed.
  bool Read(const std::vector<std::int64_t>& ids, std::size_t first, std::size_t last,
            std::vector<StoredRecord>* out);

 private:
  // The run's text values into each record's texts (views of values_).
  bool ReadTexts(const std::string& range, const std::unordered_map<std::int64_t, std::size_t>& at,
                 std::vector<StoredRecord>* records);

  gis_SQLHDBC_STRU* hdbc_;
  BoxNodes box_;
  std::string table_;  // "OWNER.META_" ; the table's stem and id follow
  std::string id_;
  std::string values_;  // the text values of the last Read, one after the other

 public:
  struct Buffers;

 private:
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_SEARCH_INDEX_ROWS_H_

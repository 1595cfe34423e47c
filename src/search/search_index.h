// The search indexes of one collection, behind one small interface with an
// implementation per database engine: SQLite keeps an FTS5 table of record
// words (MS_FTS_<id>), an FTS5 trigram table of the same text for
// substrings (MS_TRI_<id>) and an R*Tree of boxes (MS_BOX_<id>);
// PostgreSQL keeps one table of record text with a tsvector under GIN and
// the text under a pg_trgm GIN index (MS_FTS_<id>) and a table of boxes
// under GiST (MS_BOX_<id>). Each engine also keeps MS_READY_<id>, made last
// by a complete build: without it the indexes are rebuilt before use.
//
// The tables are the system's own, beside the collection's five; records
// are keyed by their id, a record's box parts by id * 16 + part.
#ifndef METASHELF_SRC_SEARCH_SEARCH_INDEX_H_
#define METASHELF_SRC_SEARCH_SEARCH_INDEX_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "metashelf/driver.h"
#include "search/index_text.h"

class CBaseMetaData;
class CMetaDataBase_abs;
class COraMetaDataSet;
class CSchema;
struct MdsContext;

namespace metashelf {
namespace search {

// Box parts kept per record (a box across the antimeridian takes two).
constexpr int kMaxBoxParts = 16;

// A date of reduced precision of a date node, as the period it names.
struct DatedPeriod {
  std::int32_t guid = 0;
  std::string first;  // YYYY-MM-DD
  std::string last;
};

// What the indexes hold of one record.
struct IndexedRecord {
  std::string text;                // every word of the record
  std::vector<GeoBox> boxes;       // usable boxes only
  std::vector<DatedPeriod> dates;  // values kept inline for their precision
};

// The text and boxes of `record`: its XML's character data, and the k-th
// values of the nodes aliased westbc/southbc/eastbc/northbc as its k-th box;
// with `datesInline` (the schema has date nodes), also its dates of reduced
// precision.
bool DescribeRecord(const CBaseMetaData& record, const CSchema* schema, IndexedRecord* out,
                    bool datesInline);
// Whether any node of `schema` holds dates.
bool HasDateNodes(const CSchema* schema);

class SearchIndex {
 public:
  virtual ~SearchIndex() = default;

  // Whether the index tables exist (then every write maintains them).
  virtual bool Present() = 0;
  // Whether a build completed.
  virtual bool Ready() = 0;
  // Drops every index table that exists; true when none is left.
  virtual bool Drop() = 0;
  // Creates the index tables (empty, not ready).
  virtual bool Create() = 0;
  // Marks a build complete.
  virtual bool MarkReady() = 0;
  // Replaces what the indexes hold of record `id`; with `fresh` (a build
  // into empty tables) nothing is there to replace.
  virtual bool Put(std::int64_t id, const IndexedRecord& record, bool fresh = false) = 0;
  virtual bool Remove(std::int64_t id) = 0;

  // Sub-selects yielding METAID, for the search statement.
  virtual std::string TextIds(const std::vector<TextTerm>& terms) = 0;
  virtual std::string BoxIds(const GeoBox& box, bool within) = 0;
  // Ids of records whose text may hold `value` as a substring (a superset
  // of the answer), or "" when the index cannot narrow it.
  virtual std::string SubstringCandidates(const std::string& value) = 0;
  // Ids of records with a period of node `guid` that meets `condition`
  // (a PeriodCondition).
  virtual std::string PeriodIds(std::int32_t guid, const std::string& condition) = 0;
  // Adds each record's score for `terms` to `scores`.
  virtual bool AddScores(const std::vector<TextTerm>& terms,
                         std::map<std::int64_t, double>* scores) = 0;
};

// The indexes of the collection `mdsID` of `owner` on the catalog's
// connection, or null when the engine keeps none (the scripted test backend)
// or the catalog is not a host database's.
std::unique_ptr<SearchIndex> SearchIndexOf(CMetaDataBase_abs* catalog, gis_SQLHDBC_STRU* hdbc,
                                           const char* owner, std::int32_t mdsID);
std::unique_ptr<SearchIndex> NewSqliteSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                  std::int32_t mdsID);
std::unique_ptr<SearchIndex> NewPostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                    std::int32_t mdsID);

// The statements that keep the periods table of `table` (owner-qualified):
// its creation, the rows of one record, their removal, a sub-select. The
// same text serves both engines.
std::vector<std::string> CreatePeriodTable(const std::string& table);
std::vector<std::string> InsertPeriods(const std::string& table, std::int64_t id,
                                       const std::vector<DatedPeriod>& dates);
std::string DeletePeriods(const std::string& table, std::int64_t id);
std::string PeriodSubSelect(const std::string& table, std::int32_t guid,
                            const std::string& condition);

// Runs each text; true when every one ran.
bool RunAll(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& texts);
// The integer of the first row's first column; false when none was read.
bool QueryInt(gis_SQLHDBC_STRU* hdbc, const std::string& sql, std::int64_t* value);
// Every row of (id, number) of `sql`, the number added to scores[id].
bool AddRowScores(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                  std::map<std::int64_t, double>* scores);

// The set's write path: keeps the indexes of the set's collection in step
// with a record written or deleted, when they exist. True when there are
// none or they were brought up to date.
bool IndexRecord(MdsContext* ctx, std::int64_t metaID, const CBaseMetaData& record);
bool UnindexRecord(MdsContext* ctx, std::int64_t metaID);
// Drops the indexes of collection `colID` (removing the collection).
void DropSearchIndexes(CMetaDataBase_abs* catalog, std::int32_t colID);

// Builds the indexes of the set's collection from its stored records.
bool BuildSearchIndexes(COraMetaDataSet* set, MdsContext* ctx, std::int64_t* records);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_SEARCH_INDEX_H_

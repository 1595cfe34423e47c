// The search indexes of one collection, behind one small interface with an
// implementation per database engine. Both keep the record words (SQLite an
// FTS5 table, PostgreSQL a tsvector under GIN: MS_FTS_<id>), the distinct
// text values of each node for substrings (MS_VAL_<id>; under an FTS5
// trigram table MS_TRI_<id> with its counts MS_TRC_<id> on SQLite, a pg_trgm
// GIN index on PostgreSQL),
// the boxes (an R*Tree, or GiST over the box type: MS_BOX_<id>) and the
// dates of reduced precision (MS_DATE_<id>). Each also keeps MS_READY_<id>
// holding the layout, made last by a complete build: without it, or with
// another layout in it, the indexes are rebuilt before use.
//
// The tables are the system's own, beside the collection's five; records
// are keyed by their id, a record's box parts by id * 16 + part.
#ifndef METASHELF_SRC_SEARCH_SEARCH_INDEX_H_
#define METASHELF_SRC_SEARCH_SEARCH_INDEX_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "metashelf/driver.h"
#include "search/finishing_steps.h"
#include "search/index_text.h"
#include "search/taken_words.h"

class CBaseMetaData;
class CHostDataBase;
class CMetaDataBase_abs;
class COraMetaDataSet;
class CSchema;
struct ValidationIssue;
struct MdsContext;

namespace metashelf {
namespace dataset {
struct RecordRows;
}
namespace search {

// The layout of the index tables; MS_READY_<id> holds it once a build of
// this layout completed, so that tables of another are built anew (3: the
// SQLite trigram index keeps case, and its counts beside it).
constexpr int kSearchLayout = 3;

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

// The nodes a record's boxes are read from (aliased westbc, southbc,
// eastbc, northbc in the schema); all -1 when the schema names no box.
struct BoxNodes {
  std::int32_t guids[4] = {-1, -1, -1, -1};
  bool Named() const { return guids[0] >= 0 && guids[1] >= 0 && guids[2] >= 0 && guids[3] >= 0; }
};
BoxNodes BoxNodesOf(const CSchema* schema);

// A stored number of a box node.
struct BoxBound {
  std::int32_t guid = 0;
  std::int32_t position = 0;
  double value = 0;
};

// What describing a record needs of its schema, learnt once: whether it
// has date nodes, and its box nodes.
struct SchemaFacts {
  bool dates = false;
  BoxNodes box;
};
SchemaFacts FactsOf(const CSchema* schema);

// What the indexes hold of a record, from what is stored of it: its
// structure document, its text values by LeafKey and the numbers of its box
// nodes. The text is that of its text values and of what stays inline, in
// document order (numbers and dates are found by value conditions, not as
// words); the k-th box takes the k-th value of each of the four box nodes.
// When the schema has date nodes (`facts.dates`), also its dates of reduced
// precision; `known`, when not null, lists the values that stayed inline
// when the record was taken apart (else it is taken apart again when its
// structure may hold such a date).
bool DescribeStored(const CSchema* schema, const std::string& structure, const TextViews& texts,
                    const std::vector<BoxBound>& bounds, const SchemaFacts& facts,
                    const std::vector<ValidationIssue>* known, IndexedRecord* out);
// The same as DescribeStored from the rows a write takes a record apart
// into (the write path), the record itself asked only for the values that
// stay inline.
bool DescribeRecord(const CBaseMetaData& record, const dataset::RecordRows& rows,
                    const SchemaFacts& facts, const CSchema* schema, IndexedRecord* out);

// What both engines share: the record walk of Put and Remove, the
// bookkeeping of a complete build (MS_READY) and the dropping of every
// table; each engine says how its tables are made, written and queried.
class SearchIndex {
 public:
  SearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID);
  virtual ~SearchIndex();
  SearchIndex(const SearchIndex&) = delete;
  SearchIndex& operator=(const SearchIndex&) = delete;

  // Whether the index tables exist (then every write maintains them).
  // Tables of an earlier layout (no MS_VAL, or what the engine's own
  // layout lacks) are neither kept by writes nor ready: the next search
  // builds the indexes anew.
  virtual bool Present() { return Exists("MS_VAL_"); }
  // Whether a build of the current layout completed.
  bool Ready();
  // Drops every index table that exists; true when none is left.
  bool Drop();
  // Creates the index tables (empty, not ready).
  virtual bool Create() = 0;
  // Makes the indexes of the tables over the rows a build wrote, then
  // marks the build complete.
  bool MarkReady();
  // Marks the build complete, once the indexes of FinishingSteps are made.
  bool MarkStepsReady();
  // Around a build: what the engine needs to read and write many rows at
  // once (a larger page cache on SQLite), and its undoing.
  virtual void BeginBuild() {}
  virtual void EndBuild() {}
  // What the engine does once every row of a build is written, before the
  // indexes count as ready (SQLite merges its FTS5 segments into one).
  virtual bool FinishBuild() { return true; }
  // A second connection to the same database that sees what this one
  // does, so that a build reads the stored records in a thread of its own
  // while it writes on this one (and, where the engine splits the end of a
  // build, FinishingSteps, writes there too); null when the engine offers
  // none, or when that connection would not see what this one wrote (the
  // build runs in a transaction of the caller's). `host` is the host object
  // of this one's connection. Asked once the build's first unit ended.
  virtual std::unique_ptr<CHostDataBase> OpenReading(CHostDataBase* host);
  // What ends a build once its rows are committed, but for the ready mark
  // (AddValues(-1), FinishBuild and MarkReady's indexes), as steps that
  // this connection and the one OpenReading gave take in turn, each
  // committed on its own, so that the engine's longest steps share two
  // cores: the longest first, each after the one it needs. Empty when the
  // engine does them in one unit on one connection.
  virtual std::vector<FinishingStep> FinishingSteps() { return {}; }
  // Writes what the indexes hold of record `id`, which holds nothing there
  // (a record just added, one removed, or a build's into empty tables:
  // `fresh`, whose words the engine may keep for later).
  bool Put(std::int64_t id, const IndexedRecord& record, bool fresh = false);
  // A record's words may be taken by the engine, written its own way, or
  // in a build (Put with `fresh`) kept and written many records at a time:
  // `*held` says whether it took them, else the words insert writes them.
  // FlushWords writes what it keeps; a build calls it before each of its
  // units ends. False when a statement failed.
  virtual bool HoldWords(std::int64_t /*id*/, const std::string& /*text*/, bool /*fresh*/,
                         bool* held) {
    *held = false;
    return true;
  }
  virtual bool FlushWords() { return true; }
  // A taker of records' words for a thread that reads a build's records,
  // or null when the engine takes them as it writes (each reading thread
  // asks for its own).
  virtual std::unique_ptr<WordsTaker> NewWordsTaker() { return nullptr; }
  // The words of record `id` as a taker took them, for the build's Put of
  // that id that follows: its HoldWords keeps these instead of taking them
  // from the text. `*words` gets back room to reuse.
  virtual void OfferWords(std::int64_t /*id*/, TakenWords* /*words*/) {}
  virtual bool Remove(std::int64_t id) = 0;
  // Adds the distinct text values of record `id` (of every record when
  // `id` is negative) that the substring index lacks, from the stored rows.
  // Values are never taken out: one no record holds any more only makes a
  // candidate that the value test refuses.
  virtual bool AddValues(std::int64_t id) = 0;

  // Rows kept without their indexes (deferred_indexes.h): an import writes
  // the words, box and period rows of its records and the indexes are made
  // once at its end. An engine that keeps its indexes row by row never
  // enters that state; only PostgreSQL's does.
  virtual bool DefersIndexes() const { return false; }
  // Whether the state's mark is set: writes then keep the rows but not the
  // distinct values. Reading the mark holds it until the transaction ends,
  // so that the state's end waits for every writer that read it.
  virtual bool RowsOnly() { return false; }
  // In a unit, over tables of the current layout: sets the mark and drops
  // the ready mark and the indexes the rows are written without (the
  // tables' keys and the periods' indexes stay, so that a record's rows
  // are still replaced by its id).
  virtual bool DeferIndexes() { return false; }
  // In a unit, before the indexes are made again: waits for the writers
  // that read the mark, removes it, empties the distinct values (taken
  // anew from every record) and drops every index left, which the end
  // makes again.
  virtual bool UndeferIndexes() { return false; }
  // The number of records without a words row, and of words rows of no
  // record (0 when every record was written in the state or before it).
  virtual std::string UncoveredQuery() { return std::string(); }
  // Whether this connection's transaction holds writes not yet committed
  // (a caller's transaction is open), which no other connection sees.
  virtual bool WritesPending() { return false; }
  // The writers of a collection in the state, counted by the database so
  // that the last to end makes the indexes: kJoin (held until kLeave or
  // the end of the connection), kLeave, kLast (a query, 1 when no other
  // writer is joined, which keeps others from joining until kRelease),
  // kRelease, and kSerialize (held until the unit ends: starts and ends
  // run one at a time).
  enum class Writers { kJoin, kLeave, kLast, kRelease, kSerialize };
  virtual std::string WritersText(Writers /*step*/) { return std::string(); }

  // Sub-selects yielding METAID, for the search statement.
  virtual std::string TextIds(const std::vector<TextTerm>& terms) = 0;
  std::string BoxIds(const GeoBox& box, bool within);
  // A condition on NODEVALUE of a row of node `guid` that holds for every
  // value with `value` as a substring (and for few others), or "" when the
  // index cannot narrow them or a scan of the node's values is cheaper.
  virtual std::string SubstringCandidates(std::int32_t guid, const std::string& value) = 0;
  // Ids of records with a period of node `guid` that meets `condition`
  // (a PeriodCondition).
  std::string PeriodIds(std::int32_t guid, const std::string& condition);
  // Adds the score for `terms` of each record of `ids` that they match to
  // `scores`: only the records a search found are ranked.
  bool AddScores(const std::vector<TextTerm>& terms, const std::set<std::int64_t>& ids,
                 std::map<std::int64_t, double>* scores);
  // Every record that `terms` match, with its score, from one statement.
  bool MatchScores(const std::vector<TextTerm>& terms, std::map<std::int64_t, double>* scores);

 protected:
  // The owner-qualified name of the collection's table `stem`.
  std::string Table(const char* stem) const { return owner_ + "." + stem + id_; }
  virtual bool Exists(const char* stem) = 0;
  // The condition on a row of MS_BOX that its part meets (`within` false)
  // or lies within (true) query box `q`, which does not cross the
  // antimeridian.
  virtual std::string BoxPartCondition(const GeoBox& q, bool within) = 0;
  // The stems of every table the engine keeps, dropped in this order.
  virtual std::vector<const char*> Stems() const = 0;
  // The indexes of the tables, made once a build wrote its rows.
  virtual std::vector<std::string> IndexTexts() = 0;
  // The ready mark, made last.
  std::vector<std::string> ReadyTexts() const;
  // A statement of rows (id, score) of the records `terms` match; the
  // engine may limit it to ids that meet `idCondition` (" in (...)", or ""
  // for every record) where that costs less than ranking every match.
  virtual std::string ScoreQuery(const std::vector<TextTerm>& terms,
                                 const std::string& idCondition) = 0;
  // The insert of a record's words: :1 its id, :2 its text; "" when the
  // engine takes every record's words itself (HoldWords).
  virtual std::string WordsInsert() = 0;
  // The insert of one box part: :1 its key, :2 the record's part count,
  // :3 west, :4 south, :5 east, :6 north.
  virtual std::string BoxInsert() = 0;

  gis_SQLHDBC_STRU* hdbc_;
  std::string owner_;
  std::string id_;

 private:
  struct Inserts;
  std::unique_ptr<Inserts> inserts_;  // prepared by the first Put
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

// The indexes of an opened set's collection on its connection; null when
// the set is not open or the engine keeps none.
std::unique_ptr<SearchIndex> IndexOfContext(MdsContext* ctx);

// The statements that keep the periods table of `table` (owner-qualified):
// its creation, its indexes (made when a build ends), the rows of one
// record, their removal, a sub-select. The same text serves both engines.
std::vector<std::string> CreatePeriodTable(const std::string& table);
std::vector<std::string> CreatePeriodIndexes(const std::string& table);
std::vector<std::string> InsertPeriods(const std::string& table, std::int64_t id,
                                       const std::vector<DatedPeriod>& dates);
std::string DeletePeriods(const std::string& table, std::int64_t id);
std::string PeriodSubSelect(const std::string& table, std::int32_t guid,
                            const std::string& condition);

// Runs each text; true when every one ran.
bool RunAll(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& texts);
// The integer of the first row's first column; false when none was read.
bool QueryInt(gis_SQLHDBC_STRU* hdbc, const std::string& sql, std::int64_t* value);
// Hands each row of the first two columns of `sql` to `row` as text (null
// for NULL, values cut to 63 bytes).
bool ReadPairs(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
               const std::function<void(const char*, const char*)>& row);
// Every row of (id, number) of `sql`, the number added to scores[id].
bool AddRowScores(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                  std::map<std::int64_t, double>* scores);

// What the set's write path keeps while the set is open: the facts of its
// schema and the index object, made anew once the tables it prepared
// against may have changed (the connection's shape serial).
struct WritePath {
  SchemaFacts facts;
  std::unique_ptr<SearchIndex> index;
  std::uint64_t madeUnder = 0;
};

// The set's write path: keeps the indexes of the set's collection in step
// with a record written (`added`: just registered, so that the indexes
// hold nothing of it) or deleted, when they exist. True when there are
// none or they were brought up to date.
bool IndexRecord(MdsContext* ctx, std::int64_t metaID, const CBaseMetaData& record,
                 const dataset::RecordRows& rows, bool added);
bool UnindexRecord(MdsContext* ctx, std::int64_t metaID);
// Drops the indexes of collection `colID` (removing the collection).
void DropSearchIndexes(CMetaDataBase_abs* catalog, std::int32_t colID);

// Builds the indexes of the set's collection from its stored records.
bool BuildSearchIndexes(COraMetaDataSet* set, MdsContext* ctx, std::int64_t* records);
// Makes the indexes over the rows written, each statement committed on its
// own, and marks them ready last: FinishingSteps on `hdbc` and `second`
// (OpenReading's, which takes none until `mayShare` allows it, when given)
// where the engine splits them, else in one unit on `hdbc`.
bool MakeIndexes(SearchIndex* index, gis_SQLHDBC_STRU* hdbc, CHostDataBase* second,
                 const std::function<bool()>& mayShare);
// The host object of the set's catalog; null when it is not a host
// database's.
CHostDataBase* HostOf(MdsContext* ctx);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_SEARCH_INDEX_H_

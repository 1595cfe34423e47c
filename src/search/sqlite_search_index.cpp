// The search indexes on SQLite: FTS5 with unicode61 (diacritics folded) for
// words, an R*Tree for boxes, and for substrings the distinct text values
// of each node (MS_VAL) under a contentless FTS5 trigram table (MS_TRI)
// that keeps only which values hold each trigram, case kept as the value
// test keeps it, with how many values held each trigram when a build ended
// (MS_TRC). The R*Tree keeps 32-bit coordinates rounded outward, so each
// part also keeps its exact bounds and every box condition is checked on
// them.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <map>

#include "db/statement.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "search/id_text.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

// More than a 32-bit float's rounding of any coordinate up to 180.
constexpr double kSlack = 0.001;
// A substring whose rarest trigram is in more than one value in this many
// is tested on the node's values without the index.
constexpr std::int64_t kScanShare = 8;
// Trigrams matched against the index: the rarest ones narrow the most, and
// each more costs a walk of its list.
constexpr std::size_t kMatchedTrigrams = 3;
// How many values hold a trigram is counted up to this many: past it the
// trigram is common, and how common matters little, while counting its
// whole list would cost in proportion to the collection.
constexpr std::int64_t kCountCap = 512;
// Candidates few enough to be tested one by one: the rarest trigram alone
// is matched (each further one would cost a walk of a longer list).
constexpr std::int64_t kFewCandidates = 256;
// With the counts a build kept, a further trigram is matched when it is in
// at most this many times as many values as the rarest: its list costs
// little to walk, and where it lies apart from the rarest in the value it
// can leave far fewer candidates to test.
constexpr std::int64_t kNarrowing = 8;
// Room for the path of the database file and its NUL.
constexpr std::size_t kPathBuffer = 4097;
// How much of the file the reading connection of a build maps.
constexpr std::int64_t kReadingMapBytes = std::int64_t{1} << 31;
// The page cache of a build, in KiB.
constexpr std::int64_t kBuildCacheKiB = 131072;
// What FTS5 keeps in memory before writing a segment, during a build.
constexpr std::int64_t kBuildHashBytes = 32 << 20;
// Segments of one level that make FTS5 merge them even while a build has
// merging turned off (it refuses more than 2000 in all).
constexpr int kBuildCrisisMerge = 256;
// Trigrams of a long value weighed by their kept counts.
constexpr std::size_t kLookedUpTrigrams = 256;
// Trigrams of a long value weighed by counting them through the index.
constexpr std::size_t kWeighedTrigrams = 24;
// Values added since the counts were kept beyond which they no longer tell
// rare trigrams from common ones: the trigrams are counted through the
// index instead.
constexpr std::int64_t kStaleValues = 256;
// The key of MS_TRC's row that holds the highest value id counted (no
// trigram has a single character).
constexpr char kCountedKey[] = "-";

// Up to `most` of `trigrams`, spread over the value.
std::vector<std::string> Spread(std::vector<std::string> trigrams, std::size_t most) {
  if (trigrams.size() <= most) return trigrams;
  std::vector<std::string> spread;
  for (std::size_t k = 0; k < most; ++k) {
    spread.push_back(trigrams[k * (trigrams.size() - 1) / (most - 1)]);
  }
  return spread;
}

std::string Number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The bound conditions of a part against query box `q` (which does not
// cross the antimeridian): the R*Tree's own columns narrow, the exact ones
// decide.
std::string PartCondition(const GeoBox& q, bool within) {
  const std::string w = Number(q.west), e = Number(q.east), s = Number(q.south),
                    n = Number(q.north);
  if (within) {
    // Outward rounding can put a stored bound just outside a query bound
    // that the exact one meets: the narrowing allows for it.
    const std::string lw = Number(q.west - kSlack), le = Number(q.east + kSlack),
                      ls = Number(q.south - kSlack), ln = Number(q.north + kSlack);
    return "W>=" + lw + " and E<=" + le + " and S>=" + ls + " and N<=" + ln + " and W0>=" + w +
           " and E0<=" + e + " and S0>=" + s + " and N0<=" + n;
  }
  return "W<=" + e + " and E>=" + w + " and S<=" + n + " and N>=" + s + " and W0<=" + e +
         " and E0>=" + w + " and S0<=" + n + " and N0>=" + s;
}

class SqliteSearchIndex : public SearchIndex {
 public:
  SqliteSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID)
      : SearchIndex(hdbc, owner, mdsID) {}

  bool Create() override {
    std::vector<std::string> texts = {
        "CREATE VIRTUAL TABLE " + Table("MS_FTS_") +
            " USING fts5(BODY, tokenize='unicode61 remove_diacritics 2')",
        // Contentless: a candidate value is read from MS_VAL by its id.
        "CREATE VIRTUAL TABLE " + Table("MS_TRI_") +
            " USING fts5(BODY, tokenize='trigram case_sensitive 1', detail=column, content='')",
        "CREATE VIRTUAL TABLE " + Table("MS_TRV_") + " USING fts5vocab('" + Bare("MS_TRI_") +
            "', 'row')",
        "CREATE TABLE " + Table("MS_TRC_") + "(T TEXT NOT NULL, N NUMBER NOT NULL)",
        "CREATE TABLE " + Table("MS_VAL_") +
            "(VID NUMBER NOT NULL, NODEGUID NUMBER NOT NULL, NODEVALUE TEXT NOT NULL)",
        "CREATE VIRTUAL TABLE " + Table("MS_BOX_") +
            " USING rtree(ID, W, E, S, N, +PARTS, +W0, +E0, +S0, +N0)",
    };
    for (std::string& text : CreatePeriodTable(Table("MS_DATE_"))) texts.push_back(std::move(text));
    return RunAll(hdbc_, texts);
  }

  // The connection's page cache is made large for the build (the rows it
  // reads and the index pages it writes are many), then as it was. FTS5
  // keeps words in memory up to its hash size, writes them out as a
  // segment, and merges segments as they pile up: during a build it keeps
  // more in memory and merges nothing, and FinishBuild merges every
  // segment once, so that each entry is written out fewer times and every
  // later query walks one list per word instead of one per segment.
  void BeginBuild() override {
    std::int64_t pages = 0;
    if (QueryInt(hdbc_, "PRAGMA cache_size", &pages)) {
      cacheSize_ = pages;
      RunAll(hdbc_, {"PRAGMA cache_size=-" + std::to_string(kBuildCacheKiB)});
    }
    RunAll(hdbc_, MergeSettings(kBuildHashBytes, 0, kBuildCrisisMerge));
  }
  // The counts of the trigrams are taken once the trigram index is merged:
  // FTS5's vocabulary walks every list once here, where a search could
  // only walk the lists of its own trigrams each time.
  bool FinishBuild() override {
    return RunAll(hdbc_, {FtsCommand("MS_FTS_", "'optimize'"), FtsCommand("MS_TRI_", "'optimize'"),
                          "INSERT INTO " + Table("MS_TRC_") + "(T,N) SELECT term,doc FROM " +
                              Table("MS_TRV_"),
                          "INSERT INTO " + Table("MS_TRC_") + "(T,N) SELECT '" + kCountedKey +
                              "',coalesce(max(VID),0) FROM " + Table("MS_VAL_")});
  }
  // Another connection of this process to the same file, read-only. What
  // it sees is what was committed: when the build's first unit, which made
  // the tables anew, is not among it (a transaction of the caller's holds
  // it), the schema versions of the two differ and the build reads here.
  std::unique_ptr<CHostDataBase> OpenReading(CHostDataBase* /*host*/) override {
    std::string file;
    if (!MainFile(&file) || file.empty() || file.find('?') != std::string::npos) return nullptr;
    std::string error;
    std::unique_ptr<CHostDataBase> reading =
        CHostDataBase::Open("sqlite:" + file, CHostDataBase::OpenMode::kReadOnly, &error);
    std::int64_t mine = 0;
    std::int64_t theirs = -1;
    if (!reading || !QueryInt(hdbc_, "PRAGMA schema_version", &mine) ||
        !QueryInt(reading->HDBC(), "PRAGMA schema_version", &theirs) || mine != theirs) {
      return nullptr;
    }
    // The rows are read through a map of the file: no system call and no
    // copy per page.
    RunAll(reading->HDBC(), {"PRAGMA mmap_size=" + std::to_string(kReadingMapBytes)});
    return reading;
  }
  void EndBuild() override {
    if (cacheSize_ != 0) RunAll(hdbc_, {"PRAGMA cache_size=" + std::to_string(cacheSize_)});
    cacheSize_ = 0;
    // FTS5's own defaults, for the writes of single records.
    RunAll(hdbc_, MergeSettings(1048576, 4, 16));
  }

  bool Remove(std::int64_t id) override {
    const std::string key = std::to_string(id);
    // The R*Tree finds rows by equal ids only (a range would scan it all):
    // the first part's row tells how many parts there are.
    const std::int64_t base = id * kMaxBoxParts;
    std::int64_t parts = 0;
    if (!QueryInt(hdbc_,
                  "select count(*)+coalesce(max(PARTS),0) from " + Table("MS_BOX_") +
                      " where ID=" + std::to_string(base),
                  &parts)) {
      return false;
    }
    std::vector<std::string> texts = {
        "DELETE FROM " + Table("MS_FTS_") + " WHERE rowid=" + key,
        DeletePeriods(Table("MS_DATE_"), id),
    };
    // count(*) + PARTS: 0 without a row, 1 + PARTS with one.
    for (std::int64_t k = 0; k + 1 < parts && k < kMaxBoxParts; ++k) {
      texts.push_back("DELETE FROM " + Table("MS_BOX_") + " WHERE ID=" + std::to_string(base + k));
    }
    return RunAll(hdbc_, texts);
  }

  std::string TextIds(const std::vector<TextTerm>& terms) override {
    return "select rowid as METAID from " + Table("MS_FTS_") + " where BODY match '" +
           QuoteDoubled(Fts5Query(terms)) + "'";
  }

  bool AddValues(std::int64_t id) override {
    // The values new to MS_VAL get ids above those it had; the trigram
    // table takes those.
    std::int64_t before = 0;
    if (!QueryInt(hdbc_, "select coalesce(max(VID),0) from " + Table("MS_VAL_"), &before)) {
      return false;
    }
    const std::string values = owner_ + ".META_NDTEXT_" + id_;
    std::string distinct =
        "SELECT DISTINCT NODEGUID,NODEVALUE FROM " + values + " T WHERE length(NODEVALUE)>=3";
    if (id >= 0) {
      distinct += " AND METAID=" + std::to_string(id) + " AND NOT EXISTS (SELECT 1 FROM " +
                  Table("MS_VAL_") + " V WHERE V.NODEGUID=T.NODEGUID AND V.NODEVALUE=T.NODEVALUE)";
    }
    const std::string insert = "INSERT INTO " + Table("MS_VAL_") +
                               "(VID,NODEGUID,NODEVALUE) SELECT " + std::to_string(before) +
                               "+row_number() over (),NODEGUID,NODEVALUE FROM (" + distinct +
                               ") DV";
    return RunAll(hdbc_, {insert, "INSERT INTO " + Table("MS_TRI_") +
                                      "(rowid,BODY) SELECT VID,NODEVALUE FROM " + Table("MS_VAL_") +
                                      " WHERE VID>" + std::to_string(before)});
  }

  std::string SubstringCandidates(std::int32_t guid, const std::string& value) override {
    std::vector<std::string> trigrams = Spread(Trigrams(value), kLookedUpTrigrams);
    if (trigrams.empty()) return std::string();
    std::int64_t values = 0;
    if (!QueryInt(hdbc_, "select coalesce(max(VID),0) from " + Table("MS_VAL_"), &values)) {
      return std::string();
    }
    std::vector<std::int64_t> counts;
    const bool kept = KeptCounts(trigrams, values, &counts);
    if (!kept) {
      trigrams = Spread(std::move(trigrams), kWeighedTrigrams);
      if (!CountedCounts(trigrams, &counts)) return std::string();
    }
    std::vector<std::pair<std::int64_t, std::size_t>> rarest;
    for (std::size_t k = 0; k < trigrams.size(); ++k) rarest.emplace_back(counts[k], k);
    std::sort(rarest.begin(), rarest.end());
    // When even the rarest trigram is in a large share of all values (or,
    // counted no further than the cap, may be), the candidates are most of
    // the node's values: reading those through the index costs more than
    // testing the node's values one by one.
    if (rarest.front().first * kScanShare > values) return std::string();
    const std::int64_t fewest = rarest.front().first;
    std::vector<std::string> chosen = {trigrams[rarest.front().second]};
    for (std::size_t k = 1; k < rarest.size() && chosen.size() < kMatchedTrigrams; ++k) {
      if (kept ? rarest[k].first > fewest * kNarrowing : fewest <= kFewCandidates) break;
      chosen.push_back(trigrams[rarest[k].second]);
    }
    // The candidates are found by their ids; the node is only checked (a
    // plain NODEGUID= would let the planner walk all the node's values).
    return "NODEVALUE in (select NODEVALUE from " + Table("MS_VAL_") +
           " where +NODEGUID=" + std::to_string(guid) + " and VID in (select rowid from " +
           Table("MS_TRI_") + " where BODY match '" + QuoteDoubled(TrigramQuery(chosen)) + "'))";
  }

  // FTS5 ranks every match of the query faster than it looks up named
  // rows with it (it matches the whole query once per named id), so the
  // ids are left to the caller.
  std::string ScoreQuery(const std::vector<TextTerm>& terms,
                         const std::string& /*idCondition*/) override {
    return "select rowid,-rank from " + Table("MS_FTS_") + " where BODY match '" +
           QuoteDoubled(Fts5Query(terms)) + "'";
  }

 protected:
  std::string BoxPartCondition(const GeoBox& q, bool within) override {
    return PartCondition(q, within);
  }

  // MS_TRV (the vocabulary of MS_TRI) goes before the table it reads.
  std::vector<const char*> Stems() const override {
    return {"MS_READY_", "MS_TRV_", "MS_TRC_", "MS_FTS_",
            "MS_TRI_",   "MS_VAL_", "MS_BOX_", "MS_DATE_"};
  }

  // The indexes of the plain tables, made over the rows a build wrote.
  std::vector<std::string> IndexTexts() override {
    return {"CREATE UNIQUE INDEX " + Table("MS_VAL_") + "_NV ON " + Table("MS_VAL_") +
                "(NODEGUID,NODEVALUE)",
            "CREATE UNIQUE INDEX " + Table("MS_VAL_") + "_ID ON " + Table("MS_VAL_") + "(VID)",
            "CREATE UNIQUE INDEX " + Table("MS_TRC_") + "_T ON " + Table("MS_TRC_") + "(T)"};
  }

  std::string WordsInsert() override {
    return "INSERT INTO " + Table("MS_FTS_") + "(rowid,BODY) VALUES (:1,:2)";
  }

  // The R*Tree's own columns round outward; the exact bounds go beside them.
  std::string BoxInsert() override {
    return "INSERT INTO " + Table("MS_BOX_") +
           "(ID,PARTS,W,S,E,N,W0,S0,E0,N0) VALUES (:1,:2,:3,:4,:5,:6,:3,:4,:5,:6)";
  }

 private:
  // The name of table `stem` as the database file spells it.
  std::string Bare(const char* stem) const {
    std::string name = owner_ + "." + stem + id_;
    for (char& c : name) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return name;
  }

  // How many values hold each of `trigrams`, from the counts kept by the
  // last build: no more than the count, no more than the count and the
  // values added since (`values` is the highest value id; values are never
  // taken out). False when too many values came since, or the counts
  // cannot be read.
  bool KeptCounts(const std::vector<std::string>& trigrams, std::int64_t values,
                  std::vector<std::int64_t>* counts) {
    std::string keys = std::string("'") + kCountedKey + "'";
    for (const std::string& t : trigrams) keys += ",'" + QuoteDoubled(t) + "'";
    std::map<std::string, std::int64_t> kept;
    if (!ReadPairs(hdbc_, "select T,N from " + Table("MS_TRC_") + " where T in (" + keys + ")",
                   [&](const char* t, const char* n) {
                     if (t != nullptr && n != nullptr) {
                       kept[t] = ParseIdText(n, std::strlen(n) + 1);
                     }
                   })) {
      return false;
    }
    const auto counted = kept.find(kCountedKey);
    if (counted == kept.end() || values - counted->second > kStaleValues) return false;
    const std::int64_t since = values - counted->second;
    counts->clear();
    for (const std::string& t : trigrams) {
      const auto found = kept.find(t);
      counts->push_back((found == kept.end() ? 0 : found->second) + since);
    }
    return true;
  }

  // How many values hold each of `trigrams`, counted by the index itself up
  // to kCountCap, all in one statement.
  bool CountedCounts(const std::vector<std::string>& trigrams, std::vector<std::int64_t>* counts) {
    std::string sql;
    for (std::size_t k = 0; k < trigrams.size(); ++k) {
      if (!sql.empty()) sql += " union all ";
      sql += "select " + std::to_string(k) + ",(select count(*) from (select 1 from " +
             Table("MS_TRI_") + " where BODY match '" + QuoteDoubled(TrigramQuery({trigrams[k]})) +
             "' limit " + std::to_string(kCountCap) + "))";
    }
    counts->assign(trigrams.size(), -1);
    if (!ReadPairs(hdbc_, sql, [&](const char* k, const char* count) {
          if (k == nullptr || count == nullptr) return;
          const auto at = static_cast<std::size_t>(ParseIdText(k, std::strlen(k) + 1));
          if (at < counts->size()) (*counts)[at] = ParseIdText(count, std::strlen(count) + 1);
        })) {
      return false;
    }
    return std::find(counts->begin(), counts->end(), -1) == counts->end();
  }

  // A command to the FTS5 table `stem`: its hidden column is named as the
  // table, as the database file spells it.
  std::string FtsCommand(const char* stem, const std::string& values) const {
    const std::string name = Bare(stem);
    const bool setting = values.find(',') != std::string::npos;
    return "INSERT INTO " + Table(stem) + "(\"" + name + "\"" + (setting ? ",rank" : "") +
           ") VALUES (" + values + ")";
  }

  // The hash size and merge settings of both FTS5 tables.
  std::vector<std::string> MergeSettings(std::int64_t hashBytes, int automerge,
                                         int crisisMerge) const {
    std::vector<std::string> texts;
    for (const char* stem : {"MS_FTS_", "MS_TRI_"}) {
      texts.push_back(FtsCommand(stem, "'hashsize'," + std::to_string(hashBytes)));
      texts.push_back(FtsCommand(stem, "'automerge'," + std::to_string(automerge)));
      texts.push_back(FtsCommand(stem, "'crisismerge'," + std::to_string(crisisMerge)));
    }
    return texts;
  }

  // The path of the database file this connection has open.
  bool MainFile(std::string* file) {
    db::Statement stmt(hdbc_);
    if (!stmt.ok()) return false;
    char name[16] = {};
    std::string path(kPathBuffer, '\0');
    std::int16_t nameIndicator = 0;
    std::int16_t pathIndicator = 0;
    if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), "PRAGMA database_list", GIS_SQL_NTS)) ||
        !db::Succeeded(
            gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_STRING, name, sizeof name, &nameIndicator)) ||
        !db::Succeeded(gis_SQLBindCol(stmt.get(), 3, GIS_TYPE_STRING, &path[0],
                                      static_cast<std::int32_t>(path.size()), &pathIndicator))) {
      stmt.DrainError();
      return false;
    }
    for (;;) {
      const std::int16_t rc = gis_SQLFetch(stmt.get());
      if (!db::Succeeded(rc)) {
        if (rc != GIS_SQL_NO_DATA) stmt.DrainError();
        return false;
      }
      if (nameIndicator != -1 && pathIndicator != -1 && std::strcmp(name, "main") == 0) {
        // A path as long as the buffer may have been cut.
        const std::size_t length = std::strlen(path.c_str());
        if (length + 1 >= path.size()) return false;
        file->assign(path.c_str(), length);
        return true;
      }
    }
  }

  bool Exists(const char* stem) override {
    const std::string name = std::string(stem) + id_;
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from " + owner_ +
                        ".sqlite_master where type='table' and name in ('" + name + "','" + owner_ +
                        "." + name + "')",
                    &count) &&
           count > 0;
  }

  std::int64_t cacheSize_ = 0;  // the connection's, while a build runs
};

}  // namespace

std::unique_ptr<SearchIndex> NewSqliteSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                  std::int32_t mdsID) {
  return std::make_unique<SqliteSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

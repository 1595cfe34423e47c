// The search indexes on PostgreSQL: one tsvector per record under GIN
// ('simple' configuration: words are lower-cased and never stemmed, so that
// no language is favoured; diacritics removed by unaccent, on the record's
// text and on the query alike), the distinct text values of each node
// (MS_VAL) under a pg_trgm GIN index for substrings, and boxes as the
// built-in box type under GiST. PostGIS is never needed; pg_trgm and
// unaccent are trusted extensions, which a database owner may create.
//
// Beside each record's tsvector lie the pairs of words at adjacent positions
// in it (PAIRS, under GIN of their own), so that a phrase of words that are
// each in most records is looked up by its pairs: the records holding both
// words are many, those holding them side by side few, and only those have
// their tsvector read to test the phrase itself.
#include <charconv>
#include <map>
#include <vector>

#include "db/statement.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "search/postgresql_build_words.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

// The most candidate values of a substring named in a search.
constexpr std::size_t kNamedCandidates = 64;
// A substring in more than one value in this many is tested on the node's
// rows without the index: reading that many candidates through it costs
// more than the test of every row.
constexpr std::int64_t kScanShare = 8;
// The characters of a stored text value that its node's index keys (the
// PostgreSQL host's rule for the value tables' NODEVALUE).
constexpr int kKeyedChars = 512;
// Room for the longest stored text value (4,000 bytes) and its NUL.
constexpr std::size_t kTextRoom = 4096;
// A pair is kept as its two words with a blank between, cut to this many
// characters: a GIN entry must fit a third of a page, and a cut pair only
// stands for more pairs than its own.
constexpr int kPairChars = 256;
// The position to_tsvector gives every word from here on: words there are
// not adjacent to one another, whatever the text says.
constexpr int kLastPosition = 16383;
// The most pairs of a phrase a search names (any of them narrows).
constexpr std::size_t kNamedPairs = 32;
// The statistics target of the words table's columns.
constexpr int kWordsStatistics = 10;

std::string Number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// The whole number `text` holds, or `otherwise` (for NULL or other text).
std::int64_t WholeNumber(const char* text, std::int64_t otherwise) {
  if (text == nullptr) return otherwise;
  const char* end = text + std::char_traits<char>::length(text);
  std::int64_t value = 0;
  const auto result = std::from_chars(text, end, value);
  return result.ec == std::errc() && result.ptr == end ? value : otherwise;
}

std::string BoxValue(const GeoBox& b) {
  return "box(point(" + Number(b.west) + "," + Number(b.south) + "),point(" + Number(b.east) + "," +
         Number(b.north) + "))";
}

// Rows K of the pairs of tsvector `vector`: each word at a position it
// keeps, a blank and the word at the next position, in byte order (sorting
// them by the database's language would cost more than finding them). The
// same words at the same positions make the same pair in a record and in a
// query; with `adjacent`, pairs that end at the last position (where every
// later word lies) are left out. (The step between positions is written as
// a cast: a number after a sign would be read as a numeric parameter, and
// the join would compare numerics.)
std::string PairRows(const std::string& vector, bool adjacent) {
  const std::string positions =
      "(select lexeme,unnest(positions) as P from unnest(" + vector + ") L)";
  return "select substr(A.lexeme||' '||B.lexeme,1," + std::to_string(kPairChars) +
         ") collate ucs_basic as K from " + positions + " A join " + positions +
         " B on B.P=A.P+cast(1 as smallint)" +
         (adjacent ? " where B.P<" + std::to_string(kLastPosition) : "");
}

// The words of `term` that the tsquery reads as a phrase (a prefix word
// is read apart), joined by blanks as TsQueryExpression joins them; ""
// when they cannot make a pair: one word of ASCII letters and digits is
// one word to the server too.
std::string PhraseText(const TextTerm& term) {
  const std::size_t count = term.words.size() - (term.prefix ? 1 : 0);
  std::string text;
  for (std::size_t k = 0; k < count; ++k) text += (k > 0 ? " " : "") + term.words[k];
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return text;
  }
  return std::string();
}

class PostgresSearchIndex : public SearchIndex {
 public:
  PostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID)
      : SearchIndex(hdbc, owner, mdsID) {}

  bool Create() override {
    // Builds that run at once on one database may both create an
    // extension: the one that loses finds it there.
    for (const char* extension : {"pg_trgm", "unaccent"}) {
      if (!HasExtension(extension) &&
          !RunAll(hdbc_, {std::string("CREATE EXTENSION IF NOT EXISTS ") + extension}) &&
          !HasExtension(extension)) {
        return false;
      }
    }
    // The indexes of the tables come with MarkReady, over the rows a build
    // wrote: one pass over them costs less than keeping them row by row.
    std::vector<std::string> texts = {
        "CREATE TABLE " + Table("MS_FTS_") +
            "(METAID BIGINT PRIMARY KEY,TSV TSVECTOR,PAIRS TEXT[] COLLATE ucs_basic)",
        // The values compare in binary order, as the value tables' do, so
        // that their prefixes match those the node's value index keys.
        "CREATE TABLE " + Table("MS_VAL_") + "(NODEGUID INTEGER NOT NULL,NODEVALUE CLOB NOT NULL)",
        "CREATE TABLE " + Table("MS_BOX_") + "(ID BIGINT PRIMARY KEY,PARTS INTEGER,BX BOX)",
    };
    for (std::string& text : CreatePeriodTable(Table("MS_DATE_"))) texts.push_back(std::move(text));
    return RunAll(hdbc_, texts);
  }

  bool Remove(std::int64_t id) override {
    const std::string first = std::to_string(id * kMaxBoxParts);
    const std::string last = std::to_string(id * kMaxBoxParts + kMaxBoxParts - 1);
    return RunAll(
        hdbc_, {
                   "DELETE FROM " + Table("MS_FTS_") + " WHERE METAID=" + std::to_string(id),
                   "DELETE FROM " + Table("MS_BOX_") + " WHERE ID>=" + first + " AND ID<=" + last,
                   DeletePeriods(Table("MS_DATE_"), id),
               });
  }

  std::string TextIds(const std::vector<TextTerm>& terms) override {
    return "select METAID from " + Table("MS_FTS_") + " where " + TextCondition(terms);
  }

  // Tables made before the words kept their pairs (no PAIRS) are of an
  // earlier layout.
  bool Present() override {
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from pg_attribute where attrelid=to_regclass('" +
                        Table("MS_FTS_") + "') and attname='pairs' and not attisdropped and " +
                        "to_regclass('" + Table("MS_VAL_") + "') is not null",
                    &count) &&
           count > 0;
  }

  bool AddValues(std::int64_t id) override { return RunAll(hdbc_, {ValuesInsert(id)}); }

  // The insert of the distinct text values of record `id` (every record's
  // when negative) that MS_VAL lacks.
  std::string ValuesInsert(std::int64_t id) {
    std::string insert = "INSERT INTO " + Table("MS_VAL_") +
                         "(NODEGUID,NODEVALUE) SELECT DISTINCT NODEGUID,NODEVALUE FROM " + owner_ +
                         ".META_NDTEXT_" + id_ + " T WHERE length(NODEVALUE)>=3";
    if (id >= 0) {
      // Two writers may add the same value at once: a value twice only
      // names the same records twice.
      insert += " AND METAID=" + std::to_string(id) + " AND NOT EXISTS (SELECT 1 FROM " +
                Table("MS_VAL_") +
                " V WHERE V.NODEGUID=T.NODEGUID AND md5(V.NODEVALUE)=md5(T.NODEVALUE) AND "
                "V.NODEVALUE=T.NODEVALUE)";
    }
    return insert;
  }

  // The candidate values are read first and, when they are few, named one
  // by one: each equality is served by the prefix index of the node's
  // values. More are matched by their prefixes against an array of them,
  // which the same index serves, as long as they are few against all
  // values; past that, or when the index cannot narrow the pattern, the
  // node's rows are tested without it. (Against an IN sub-select the
  // planner guesses the candidates from the pattern, often four times too
  // many, and at 100,000 records hashes the node's every row instead: 1.4 s
  // where the array's index lookups take 40 ms.)
  std::string SubstringCandidates(std::int32_t guid, const std::string& value) override {
    if (Trigrams(value).empty()) return std::string();
    const std::string matching =
        "from " + Table("MS_VAL_") + " where NODEGUID=" + std::to_string(guid) +
        " and NODEVALUE like '%" + QuoteDoubled(LikeLiteral(value, '!')) + "%' escape '!'";
    std::vector<std::string> values;
    if (!ReadValues(
            "select NODEVALUE " + matching + " limit " + std::to_string(kNamedCandidates + 1),
            &values)) {
      return std::string();
    }
    if (values.empty()) return "1=0";
    if (values.size() <= kNamedCandidates) {
      std::string condition;
      for (const std::string& v : values) {
        condition +=
            (condition.empty() ? "(" : " or ") + std::string("NODEVALUE='") + QuoteDoubled(v) + "'";
      }
      return condition + ")";
    }
    // One question: an eighth of the values (from the table's row
    // estimate), and the candidates counted up to it when it is enough to
    // pay for the sub-select.
    const std::string share =
        "select cast(greatest(reltuples,0) as bigint)/" + std::to_string(kScanShare) +
        " as M from pg_class where oid=to_regclass(lower('" + Table("MS_VAL_") + "'))";
    std::int64_t most = -1;
    std::int64_t found = 0;
    if (!ReadPairs(hdbc_,
                   "with S as (" + share + ") select M,case when M>" +
                       std::to_string(kNamedCandidates) + " then (select count(*) from (select 1 " +
                       matching + " limit (select M from S)) C) else 0 end from S",
                   [&](const char* m, const char* count) {
                     most = WholeNumber(m, -1);
                     found = WholeNumber(count, -1);
                   }) ||
        most <= static_cast<std::int64_t>(kNamedCandidates) || found < 0 || found >= most) {
      return std::string();
    }
    const std::string keyed = "left(NODEVALUE," + std::to_string(kKeyedChars) + ")";
    return keyed + " = any(array(select " + keyed + " " + matching + "))";
  }

  std::string ScoreQuery(const std::vector<TextTerm>& terms,
                         const std::string& idCondition) override {
    const std::string query = "(" + TsQueryExpression(terms) + ")";
    return "select METAID,cast(ts_rank(TSV," + query + ") as double precision) from " +
           Table("MS_FTS_") + " where " +
           (idCondition.empty() ? "" : "METAID" + idCondition + " and ") + TextCondition(terms);
  }

 protected:
  std::string BoxPartCondition(const GeoBox& q, bool within) override {
    return std::string("BX ") + (within ? "<@ " : "&& ") + BoxValue(q);
  }

  std::vector<const char*> Stems() const override {
    return {"MS_READY_", "MS_FTS_", "MS_VAL_", "MS_BOX_", "MS_DATE_"};
  }

  // One pass over the rows a build wrote costs less than keeping the
  // indexes row by row; the planner learns the new rows before any search.
  std::vector<std::string> IndexTexts() override {
    return {WordsIndex(),       PairsIndex(),       ValuesIndex(),
            ValuesKeyIndex(),   BoxIndex(),         WordsStatistics(),
            Analyze("MS_FTS_"), Analyze("MS_VAL_"), Analyze("MS_BOX_")};
  }

  // The same steps and the distinct values, as two lanes whose longest
  // steps (the pairs' GIN beside the values, the words' GIN and the rest)
  // run side by side. The words table's statistics come first: ANALYZE
  // and an index creation on one table wait for each other, two index
  // creations do not.
  std::vector<std::vector<std::string>> FinishingLanes() override {
    std::vector<std::string> rest = {ValuesInsert(-1),  WordsIndex(),       ValuesIndex(),
                                     ValuesKeyIndex(),  Analyze("MS_VAL_"), BoxIndex(),
                                     Analyze("MS_BOX_")};
    for (std::string& text : CreatePeriodIndexes(Table("MS_DATE_"))) {
      rest.push_back(std::move(text));
    }
    return {{WordsStatistics(), Analyze("MS_FTS_"), PairsIndex()}, rest};
  }

  // Another connection of the host's, used only when it sees the tables
  // the build's first unit made: inside a transaction of the caller's it
  // sees none, or those of an earlier build, another table by its oid.
  std::unique_ptr<CHostDataBase> OpenReading(CHostDataBase* host) override {
    if (host == nullptr) return nullptr;
    std::string error;
    std::unique_ptr<CHostDataBase> sibling = host->OpenSibling(&error);
    const std::string oid = "select cast(to_regclass('" + Table("MS_FTS_") + "') as oid)";
    std::int64_t mine = 0;
    std::int64_t theirs = -1;
    if (!sibling || !QueryInt(hdbc_, oid, &mine) || !QueryInt(sibling->HDBC(), oid, &theirs) ||
        mine == 0 || mine != theirs) {
      return nullptr;
    }
    return sibling;
  }

  // The statements of the end of a build, named once for both orders.
  std::string Analyze(const char* stem) { return "ANALYZE " + Table(stem); }
  // The words table's statistics are taken from a sample of 3,000 rows
  // (30,000 by default), a third of the time at 10,000 records and an
  // eighth at 100,000; the searches' plans are the same either way.
  std::string WordsStatistics() {
    const std::string target = " SET STATISTICS " + std::to_string(kWordsStatistics);
    return "ALTER TABLE " + Table("MS_FTS_") + " ALTER COLUMN METAID" + target +
           ", ALTER COLUMN TSV" + target + ", ALTER COLUMN PAIRS" + target;
  }
  std::string WordsIndex() {
    return "CREATE INDEX " + Table("MS_FTS_") + "_TSV ON " + Table("MS_FTS_") + " USING GIN (TSV)";
  }
  std::string PairsIndex() {
    return "CREATE INDEX " + Table("MS_FTS_") + "_PR ON " + Table("MS_FTS_") + " USING GIN (PAIRS)";
  }

  std::string ValuesIndex() {
    return "CREATE INDEX " + Table("MS_VAL_") + "_TRG ON " + Table("MS_VAL_") +
           " USING GIN (NODEVALUE gin_trgm_ops)";
  }
  std::string ValuesKeyIndex() {
    return "CREATE INDEX " + Table("MS_VAL_") + "_NV ON " + Table("MS_VAL_") +
           "(NODEGUID,md5(NODEVALUE))";
  }
  std::string BoxIndex() {
    return "CREATE INDEX " + Table("MS_BOX_") + "_BX ON " + Table("MS_BOX_") + " USING GIST (BX)";
  }

  // The words once (the offset keeps the planner from writing their
  // expression into each place that names them), their pairs from them.
  std::string WordsInsert() override {
    return "INSERT INTO " + Table("MS_FTS_") + "(METAID,TSV,PAIRS) SELECT cast(:1 as bigint),W.V," +
           "(select array_agg(distinct K) from (" + PairRows("W.V", false) +
           ") PK) from (select to_tsvector('simple',unaccent(:2)) as V offset 0) W";
  }

  bool HoldWords(std::int64_t id, const std::string& text, bool* held) override {
    if (!words_) {
      words_ = std::make_unique<PgBuildWords>(hdbc_, Table("MS_FTS_"), WordsInsert(), kPairChars);
    }
    *held = true;
    return words_->Add(id, text);
  }

  bool FlushWords() override { return !words_ || words_->Flush(); }

  // Rows kept by a build that ended before writing them are let go.
  void EndBuild() override { words_.reset(); }

  std::string BoxInsert() override {
    return "INSERT INTO " + Table("MS_BOX_") +
           "(ID,PARTS,BX) VALUES (:1,:2,box(point(:3,:4),point(:5,:6)))";
  }

 private:
  // The condition on a row of MS_FTS that `terms` match. A phrase's pairs
  // are each in every record that holds the phrase, and the records that
  // hold them all are few where the records holding the words are many:
  // when every term is such a phrase, the pairs alone choose the rows
  // (the phrase test is written so that no index serves it), else both
  // indexes may.
  std::string TextCondition(const std::vector<TextTerm>& terms) {
    const std::string query = "(" + TsQueryExpression(terms) + ")";
    std::vector<std::string> pairs;
    bool everyTerm = true;
    for (const TextTerm& term : terms) {
      const std::vector<std::string>& own = PairsOf(PhraseText(term));
      everyTerm = everyTerm && !own.empty();
      for (const std::string& pair : own) {
        if (pairs.size() < kNamedPairs) pairs.push_back(pair);
      }
    }
    if (pairs.empty()) return "TSV @@ " + query;
    std::string named;
    for (const std::string& pair : pairs) {
      named += (named.empty() ? "'" : ",'") + QuoteDoubled(pair) + "'";
    }
    return "PAIRS @> ARRAY[" + named + "] and " +
           (everyTerm ? "ts_match_vq(TSV," + query + ")" : "TSV @@ " + query);
  }

  // The pairs of a phrase's words as the server reads them, asked once per
  // phrase; none for "" or when they could not be read (then the words'
  // own index serves, as it always may).
  const std::vector<std::string>& PairsOf(const std::string& text) {
    auto known = phrasePairs_.find(text);
    if (known != phrasePairs_.end()) return known->second;
    std::vector<std::string> pairs;
    if (!text.empty() &&
        !ReadValues(
            "select distinct K from (" +
                PairRows("to_tsvector('simple',unaccent('" + QuoteDoubled(text) + "'))", true) +
                ") PK",
            &pairs)) {
      pairs.clear();
    }
    return phrasePairs_.emplace(text, std::move(pairs)).first->second;
  }

  // The text of every row of `sql` (one column) into `values`; false when
  // it failed or a value was longer than a stored text can be.
  bool ReadValues(const std::string& sql, std::vector<std::string>* values) {
    db::Statement stmt(hdbc_);
    if (!stmt.ok()) return false;
    std::vector<char> text(kTextRoom);
    std::int16_t indicator = 0;
    if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
        !db::Succeeded(gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, text.data(),
                                      static_cast<std::int32_t>(text.size()), &indicator))) {
      stmt.DrainError();
      return false;
    }
    for (;;) {
      const std::int16_t rc = gis_SQLFetch(stmt.get());
      if (rc == GIS_SQL_NO_DATA) return true;
      if (rc != GIS_SQL_SUCCESS) {
        if (!db::Succeeded(rc)) stmt.DrainError();
        return false;  // a failure, or a value cut to the buffer
      }
      if (indicator != -1) values->push_back(text.data());
    }
  }

  bool HasExtension(const char* name) {
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    std::string("select count(*) from pg_extension where extname='") + name + "'",
                    &count) &&
           count > 0;
  }

  bool Exists(const char* stem) override {
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from pg_tables where schemaname=lower('" + owner_ +
                        "') and tablename=lower('" + stem + id_ + "')",
                    &count) &&
           count > 0;
  }

  std::map<std::string, std::vector<std::string>> phrasePairs_;  // by phrase text
  std::unique_ptr<PgBuildWords> words_;                          // a build's, from its first record
};

}  // namespace

std::unique_ptr<SearchIndex> NewPostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                    std::int32_t mdsID) {
  return std::make_unique<PostgresSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

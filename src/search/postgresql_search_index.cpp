// The search indexes on PostgreSQL: one tsvector per record under GIN, the
// distinct text values of each node (MS_VAL) under a pg_trgm GIN index for
// substrings, and boxes as the built-in box type under GiST. PostGIS is
// never needed; pg_trgm is a trusted extension, which a database owner may
// create.
//
// The words are taken on this side by the tokenizer SQLite's index uses
// (case folded, diacritics removed, never stemmed, so that no language is
// favoured), from a record's text and from a query alike, so that both
// engines find the same records; the server parses no text, it casts the
// tsvector and the tsquery written here (tsvector_text.h). Beside each
// record's tsvector lie the keys of the pairs of words at adjacent
// positions in it (PAIRS, under GIN of their own), so that a phrase of
// words that are each in most records is looked up by its pairs: the
// records holding both words are many, those holding them side by side
// few, and only those have their tsvector read to test the phrase itself.
#include <algorithm>
#include <charconv>
#include <vector>

#include "db/statement.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "metashelf/words/word_tokenizer.h"
#include "search/postgresql_record_words.h"
#include "search/search_index.h"
#include "search/tsvector_text.h"

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

class PostgresSearchIndex : public SearchIndex {
 public:
  PostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID)
      : SearchIndex(hdbc, owner, mdsID) {}

  bool Create() override {
    // Builds that run at once on one database may both create an
    // extension: the one that loses finds it there.
    if (!HasExtension("pg_trgm") && !RunAll(hdbc_, {"CREATE EXTENSION IF NOT EXISTS pg_trgm"}) &&
        !HasExtension("pg_trgm")) {
      return false;
    }
    // The indexes of the tables come with MarkReady, over the rows a build
    // wrote: one pass over them costs less than keeping them row by row.
    std::vector<std::string> texts = {
        "CREATE TABLE " + Table("MS_FTS_") +
            "(METAID BIGINT PRIMARY KEY,TSV TSVECTOR,PAIRS BIGINT[])",
        WordsStorage(),
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

  // Rows kept without their indexes. The mark is a row of MS_ROWS, a
  // table that stays once made (only Drop takes it), so that no writer
  // ever reads one that an ending state is taking away.
  bool DefersIndexes() const override { return true; }

  bool RowsOnly() override {
    std::int64_t count = 0;
    return Exists("MS_ROWS_") &&
           QueryInt(hdbc_, "select count(*) from " + Table("MS_ROWS_"), &count) && count > 0;
  }

  bool DeferIndexes() override {
    std::vector<std::string> texts;
    if (!Exists("MS_ROWS_"))
      texts.push_back("CREATE TABLE " + Table("MS_ROWS_") + "(HOLDS NUMBER)");
    texts.push_back("INSERT INTO " + Table("MS_ROWS_") + "(HOLDS) VALUES (1)");
    texts.push_back("DROP TABLE IF EXISTS " + Table("MS_READY_"));
    // A table of an earlier version gets the storage here, where dropping
    // its indexes locks it anyway; rows it has stay as they were written.
    texts.push_back(WordsStorage());
    return RunAll(hdbc_, texts) && DropIndexesOf({"MS_FTS_", "MS_VAL_", "MS_BOX_"});
  }

  // The lock waits for every transaction that read the mark, and keeps
  // new ones from reading it until the end's unit is committed: a writer
  // then adds its own distinct values again.
  bool UndeferIndexes() override {
    return RunAll(hdbc_,
                  {"LOCK TABLE " + Table("MS_ROWS_") + " IN ACCESS EXCLUSIVE MODE",
                   "DELETE FROM " + Table("MS_ROWS_"), "TRUNCATE TABLE " + Table("MS_VAL_")}) &&
           DropIndexesOf({"MS_FTS_", "MS_VAL_", "MS_BOX_", "MS_DATE_"});
  }

  std::string UncoveredQuery() override {
    return "select count(*) from " + Table("MS_FTS_") + " F full join (select META_ID from " +
           owner_ + ".KRDB_META_INFO where COL_ID=" + id_ +
           ") R on F.METAID=R.META_ID where F.METAID is null or R.META_ID is null";
  }

  bool WritesPending() override {
    std::int64_t pending = 0;
    return QueryInt(hdbc_, "select case when txid_current_if_assigned() is null then 0 else 1 end",
                    &pending) &&
           pending != 0;
  }

  // Advisory locks keyed by the mark's name: a session's shared lock for
  // each writer joined, which ends with its connection (an import killed
  // leaves none), and a lock of the unit's own for starts and ends.
  std::string WritersText(Writers step) override {
    const std::string key = "hashtext(lower('" + Table("MS_ROWS_") + "')),";
    switch (step) {
      case Writers::kJoin:
        return "select pg_advisory_lock_shared(" + key + "1)";
      case Writers::kLeave:
        return "select pg_advisory_unlock_shared(" + key + "1)";
      case Writers::kLast:
        return "select cast(pg_try_advisory_lock(" + key + "1) as integer)";
      case Writers::kRelease:
        return "select pg_advisory_unlock(" + key + "1)";
      case Writers::kSerialize:
        return "select pg_advisory_xact_lock(" + key + "2)";
    }
    return std::string();
  }

  // "" when the query's words could not be taken.
  std::string TextIds(const std::vector<TextTerm>& terms) override {
    Query query;
    if (!QueryOf(terms, &query)) return std::string();
    return "select METAID from " + Table("MS_FTS_") + " where " + query.condition;
  }

  // Tables made before the words kept the keys of their pairs (no PAIRS,
  // or the pairs' words as text, with the words the server's parser took)
  // are of an earlier layout.
  bool Present() override {
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from pg_attribute where attrelid=to_regclass('" +
                        Table("MS_FTS_") + "') and attname='pairs' and not attisdropped and " +
                        "atttypid=cast('bigint[]' as regtype) and to_regclass('" +
                        Table("MS_VAL_") + "') is not null",
                    &count) &&
           count > 0;
  }

  bool AddValues(std::int64_t id) override { return RunAll(hdbc_, {ValuesInsert(id)}); }

  // The insert of the distinct text values of record `id` (every record's
  // when negative) that MS_VAL lacks.
  std::string ValuesInsert(std::int64_t id) {
    // A value of fewer than three bytes holds no three characters; one of
    // three bytes or more but fewer characters is kept and never matched
    // (counting bytes costs a fifth of the scan that counting characters
    // does).
    std::string insert = "INSERT INTO " + Table("MS_VAL_") +
                         "(NODEGUID,NODEVALUE) SELECT DISTINCT NODEGUID,NODEVALUE FROM " + owner_ +
                         ".META_NDTEXT_" + id_ + " T WHERE octet_length(NODEVALUE)>=3";
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

  // "" when the query's words could not be taken.
  std::string ScoreQuery(const std::vector<TextTerm>& terms,
                         const std::string& idCondition) override {
    Query query;
    if (!QueryOf(terms, &query)) return std::string();
    const std::string score = query.tsquery.empty() ? "0" : "ts_rank(TSV," + query.tsquery + ")";
    return "select METAID,cast(" + score + " as double precision) from " + Table("MS_FTS_") +
           " where " + (idCondition.empty() ? "" : "METAID" + idCondition + " and ") +
           query.condition;
  }

 protected:
  std::string BoxPartCondition(const GeoBox& q, bool within) override {
    return std::string("BX ") + (within ? "<@ " : "&& ") + BoxValue(q);
  }

  std::vector<const char*> Stems() const override {
    return {"MS_ROWS_", "MS_READY_", "MS_FTS_", "MS_VAL_", "MS_BOX_", "MS_DATE_"};
  }

  // One pass over the rows a build wrote costs less than keeping the
  // indexes row by row; the planner learns the new rows before any search.
  std::vector<std::string> IndexTexts() override {
    return {WordsIndex(),      PairsIndex(),   ValuesIndex(),      ValuesKeyIndex(),  BoxIndex(),
            WordsStatistics(), WordsAnalyze(), Analyze("MS_VAL_"), Analyze("MS_BOX_")};
  }

  // The same steps and the distinct values, the longest first, each after
  // the one it needs: ANALYZE and an index creation on one table wait for
  // each other, and a table's indexes are made over its rows. Two index
  // creations on one table run at once. At 10,000 records, alone: the
  // pairs' GIN 0.95 s, the words' 0.73 s, the distinct values 0.6 s, the
  // rest about 0.3 s; at 100,000 about 12, 10, 5.5 and 3 s.
  std::vector<FinishingStep> FinishingSteps() override {
    std::vector<FinishingStep> steps = {
        {{WordsStatistics()}, -1},
        {{WordsAnalyze()}, 0},
        {{PairsIndex()}, 1},
        {{WordsIndex()}, 1},
        // The distinct values compile nothing: at 100,000 records they
        // cost ten times the server's first threshold and would be compiled
        // at every build, which the one run never repays. Without
        // statistics of the text values the planner may take them for
        // 40,000 of 548 bytes and sort every row on disk rather than hash
        // them (10,000 records, alone: 1.2-1.4 s against 0.5 s, the values
        // 11,000 of about 40 bytes); with room for its guess it hashes, and
        // a hash that outgrows its room spills to disk as a sort would.
        {{"SET LOCAL jit = off", "SET LOCAL work_mem = '32MB'", ValuesInsert(-1)}, -1},
        {{ValuesIndex()}, 4},
        {{ValuesKeyIndex()}, 4},
        {{Analyze("MS_VAL_")}, 6},
        {{BoxIndex()}, -1},
        {{Analyze("MS_BOX_")}, 8},
    };
    for (std::string& text : CreatePeriodIndexes(Table("MS_DATE_"))) {
      steps.push_back({{std::move(text)}, -1});
    }
    return steps;
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

  // A record's words are kept out of line and never compressed: the
  // server's compression takes a few percent off a tsvector and nothing off
  // the pair keys, and cost a third of each insert and a tenth of the
  // words' GIN build, which had to decompress every row again.
  std::string WordsStorage() {
    return "ALTER TABLE " + Table("MS_FTS_") +
           " ALTER COLUMN TSV SET STORAGE EXTERNAL, ALTER COLUMN PAIRS SET STORAGE EXTERNAL";
  }

  // The statements of the end of a build, named once for both orders.
  std::string Analyze(const char* stem) { return "ANALYZE " + Table(stem); }
  // The pairs' statistics are not taken: a phrase's keys are each in few
  // records whatever they say, and the plans of searches are the same
  // without them, which took half of the words table's statistics.
  std::string WordsAnalyze() { return "ANALYZE " + Table("MS_FTS_") + "(METAID,TSV)"; }
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

  // Every record's words are taken here (HoldWords).
  std::string WordsInsert() override { return std::string(); }

  // A build's rows are kept and written a run at a time, a write's at once.
  bool HoldWords(std::int64_t id, const std::string& text, bool fresh, bool* held) override {
    *held = true;
    return Words()->Keep(id, text) && (fresh || words_->Flush());
  }

  // A build takes the words where it reads the records.
  std::unique_ptr<WordsTaker> NewWordsTaker() override { return PgWordsTaker::Open(); }
  void OfferWords(std::int64_t id, TakenWords* words) override { Words()->Offer(id, words); }

  bool FlushWords() override { return !words_ || words_->Flush(); }

  // Rows kept by a build that ended before writing them are let go.
  void EndBuild() override { words_.reset(); }

  std::string BoxInsert() override {
    return "INSERT INTO " + Table("MS_BOX_") +
           "(ID,PARTS,BX) VALUES (:1,:2,box(point(:3,:4),point(:5,:6)))";
  }

 private:
  // A free-text query as the words table is asked: the tsquery ("" when
  // a term holds no word) and the condition on a row that it matches.
  struct Query {
    std::string tsquery;
    std::string condition;
  };

  PgRecordWords* Words() {
    if (!words_) words_ = std::make_unique<PgRecordWords>(hdbc_, Table("MS_FTS_"), Tokenizer());
    return words_.get();
  }

  // The tokenizer of the words, opened once; null when SQLite offers none.
  words::WordTokenizer* Tokenizer() {
    if (!tokenizer_) tokenizer_ = words::WordTokenizer::Open();
    return tokenizer_.get();
  }

  // The query of `terms`, their words taken as a record's are; false when
  // they could not be. A term that holds no word (only separators, such as
  // a dash) is a phrase of nothing, which FTS5 finds in no record: so is
  // the query here. A phrase's pairs are each in every record that holds
  // the phrase, and the records that hold them all are few where the
  // records holding the words are many: when every term is such a phrase,
  // the pairs alone choose the rows (the phrase test is written so that no
  // index serves it), else both indexes may.
  bool QueryOf(const std::vector<TextTerm>& terms, Query* query) {
    words::WordTokenizer* tokenizer = Tokenizer();
    if (tokenizer == nullptr) return false;
    std::vector<LexemeTerm> lexemes;
    for (const TextTerm& term : terms) {
      LexemeTerm taken;
      taken.prefix = term.prefix;
      for (const std::string& word : term.words) {
        if (!tokenizer->Tokenize(
                word, [&taken](std::string_view w) { taken.lexemes.emplace_back(LexemeOf(w)); })) {
          return false;
        }
      }
      if (taken.lexemes.empty()) {
        query->condition = "1=0";
        return true;
      }
      lexemes.push_back(std::move(taken));
    }
    query->tsquery = "cast('" + QuoteDoubled(TsQueryText(lexemes)) + "' as tsquery)";
    std::vector<std::int64_t> keys;
    bool everyTerm = true;
    for (const LexemeTerm& term : lexemes) {
      const std::vector<std::int64_t> own = TermPairKeys(term);
      everyTerm = everyTerm && !own.empty();
      for (const std::int64_t key : own) {
        if (keys.size() < kNamedPairs && std::find(keys.begin(), keys.end(), key) == keys.end()) {
          keys.push_back(key);
        }
      }
    }
    if (keys.empty()) {
      query->condition = "TSV @@ " + query->tsquery;
    } else {
      query->condition =
          "PAIRS @> cast('" + KeyArray(keys) + "' as bigint[]) and " +
          (everyTerm ? "ts_match_vq(TSV," + query->tsquery + ")" : "TSV @@ " + query->tsquery);
    }
    return true;
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

  // Drops every index of the tables `stems` but their keys.
  bool DropIndexesOf(const std::vector<const char*>& stems) {
    std::string tables;
    for (const char* stem : stems) {
      tables += (tables.empty() ? "" : ",") + std::string("to_regclass('") + Table(stem) + "')";
    }
    std::vector<std::string> names;
    if (!ReadValues("select C.RELNAME from pg_index I join pg_class C on C.oid=I.indexrelid "
                    "where not I.indisprimary and I.indrelid in (" +
                        tables + ")",
                    &names)) {
      return false;
    }
    std::vector<std::string> texts;
    for (const std::string& name : names) texts.push_back("DROP INDEX " + owner_ + "." + name);
    return RunAll(hdbc_, texts);
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

  std::unique_ptr<words::WordTokenizer> tokenizer_;  // from the first words taken
  std::unique_ptr<PgRecordWords> words_;             // from the first record written
};

}  // namespace

std::unique_ptr<SearchIndex> NewPostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                    std::int32_t mdsID) {
  return std::make_unique<PostgresSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

// The search indexes on PostgreSQL: one row of text per record with its
// tsvector under GIN ('simple' configuration: words are lower-cased and
// never stemmed, so that no language is favoured) and the text under a
// pg_trgm GIN index for substrings; boxes as the built-in box type under
// GiST. PostGIS is never needed.
#include <charconv>

#include "metashelf/base/sql_quote.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

std::string Number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string BoxValue(const GeoBox& b) {
  return "box(point(" + Number(b.west) + "," + Number(b.south) + "),point(" + Number(b.east) + "," +
         Number(b.north) + "))";
}

class PostgresSearchIndex : public SearchIndex {
 public:
  PostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID)
      : hdbc_(hdbc), owner_(owner), id_(std::to_string(mdsID)) {}

  bool Present() override { return Exists("MS_FTS_"); }
  bool Ready() override { return Exists("MS_READY_"); }

  bool Drop() override {
    std::vector<std::string> texts;
    for (const char* stem : {"MS_READY_", "MS_FTS_", "MS_BOX_", "MS_DATE_"}) {
      texts.push_back("DROP TABLE IF EXISTS " + Table(stem));
    }
    return RunAll(hdbc_, texts);
  }

  bool Create() override {
    // Builds that run at once on one database may both create the
    // extension: the one that loses finds it there.
    if (!HasTrigrams() && !RunAll(hdbc_, {"CREATE EXTENSION IF NOT EXISTS pg_trgm"}) &&
        !HasTrigrams()) {
      return false;
    }
    std::vector<std::string> texts = {
        "CREATE TABLE " + Table("MS_FTS_") + "(METAID BIGINT PRIMARY KEY,DOC TEXT,TSV TSVECTOR)",
        "CREATE INDEX " + Table("MS_FTS_") + "_TSV ON " + Table("MS_FTS_") + " USING GIN (TSV)",
        "CREATE INDEX " + Table("MS_FTS_") + "_TRG ON " + Table("MS_FTS_") +
            " USING GIN (DOC gin_trgm_ops)",
        "CREATE TABLE " + Table("MS_BOX_") + "(ID BIGINT PRIMARY KEY,PARTS INTEGER,BX BOX)",
        "CREATE INDEX " + Table("MS_BOX_") + "_BX ON " + Table("MS_BOX_") + " USING GIST (BX)",
    };
    for (std::string& text : CreatePeriodTable(Table("MS_DATE_"))) texts.push_back(std::move(text));
    return RunAll(hdbc_, texts);
  }

  bool MarkReady() override {
    return RunAll(hdbc_, {"CREATE TABLE " + Table("MS_READY_") + "(DONE INTEGER)"});
  }

  bool Put(std::int64_t id, const IndexedRecord& record, bool fresh) override {
    if (!fresh && !Remove(id)) return false;
    const std::string key = std::to_string(id);
    const std::string text = "'" + QuoteDoubled(record.text) + "'";
    std::vector<std::string> texts = {"INSERT INTO " + Table("MS_FTS_") +
                                      "(METAID,DOC,TSV) VALUES (" + key + "," + text +
                                      ",to_tsvector('simple'," + text + "))"};
    std::vector<GeoBox> parts;
    for (const GeoBox& box : record.boxes) {
      for (const GeoBox& part : SplitAtAntimeridian(box)) parts.push_back(part);
    }
    if (parts.size() > static_cast<std::size_t>(kMaxBoxParts)) parts.resize(kMaxBoxParts);
    for (std::size_t k = 0; k < parts.size(); ++k) {
      texts.push_back("INSERT INTO " + Table("MS_BOX_") + "(ID,PARTS,BX) VALUES (" +
                      std::to_string(id * kMaxBoxParts + static_cast<std::int64_t>(k)) + "," +
                      std::to_string(parts.size()) + "," + BoxValue(parts[k]) + ")");
    }
    for (std::string& text : InsertPeriods(Table("MS_DATE_"), id, record.dates)) {
      texts.push_back(std::move(text));
    }
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
    return "select METAID from " + Table("MS_FTS_") + " where TSV @@ (" + TsQueryExpression(terms) +
           ")";
  }

  std::string BoxIds(const GeoBox& box, bool within) override {
    std::string parts;
    for (const GeoBox& q : SplitAtAntimeridian(box)) {
      if (!parts.empty()) parts += " union all ";
      parts += "select ID/" + std::to_string(kMaxBoxParts) + " as MID,PARTS from " +
               Table("MS_BOX_") + " where BX " + (within ? "<@ " : "&& ") + BoxValue(q);
    }
    if (within) {
      return "select MID as METAID from (" + parts +
             ") BXS group by MID having count(*)=max(PARTS)";
    }
    return "select distinct MID as METAID from (" + parts + ") BXS";
  }

  std::string SubstringCandidates(const std::string& value) override {
    if (TrigramPhrase(value).empty()) return std::string();
    return "select METAID from " + Table("MS_FTS_") + " where DOC like '%" +
           QuoteDoubled(LikeLiteral(value, '!')) + "%' escape '!'";
  }

  std::string PeriodIds(std::int32_t guid, const std::string& condition) override {
    return PeriodSubSelect(Table("MS_DATE_"), guid, condition);
  }

  bool AddScores(const std::vector<TextTerm>& terms,
                 std::map<std::int64_t, double>* scores) override {
    const std::string query = "(" + TsQueryExpression(terms) + ")";
    return AddRowScores(hdbc_,
                        "select METAID,cast(ts_rank(TSV," + query + ") as double precision) from " +
                            Table("MS_FTS_") + " where TSV @@ " + query,
                        scores);
  }

 private:
  std::string Table(const char* stem) const { return owner_ + "." + stem + id_; }

  bool HasTrigrams() {
    std::int64_t count = 0;
    return QueryInt(hdbc_, "select count(*) from pg_extension where extname='pg_trgm'", &count) &&
           count > 0;
  }

  bool Exists(const char* stem) {
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from pg_tables where schemaname=lower('" + owner_ +
                        "') and tablename=lower('" + stem + id_ + "')",
                    &count) &&
           count > 0;
  }

  gis_SQLHDBC_STRU* hdbc_;
  std::string owner_;
  std::string id_;
};

}  // namespace

std::unique_ptr<SearchIndex> NewPostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                    std::int32_t mdsID) {
  return std::make_unique<PostgresSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

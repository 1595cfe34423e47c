// The search indexes on SQLite: FTS5 with unicode61 (diacritics folded) for
// words, FTS5 with the trigram tokenizer for substrings, an R*Tree for
// boxes. The R*Tree keeps 32-bit coordinates rounded outward, so each part
// also keeps its exact bounds and every box condition is checked on them.
#include <charconv>

#include "metashelf/base/sql_quote.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

// More than a 32-bit float's rounding of any coordinate up to 180.
constexpr double kSlack = 0.001;

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
      : hdbc_(hdbc), owner_(owner), id_(std::to_string(mdsID)) {}

  bool Present() override { return Exists("MS_FTS_"); }
  bool Ready() override { return Exists("MS_READY_"); }

  bool Drop() override {
    std::vector<std::string> texts;
    for (const char* stem : {"MS_READY_", "MS_FTS_", "MS_TRI_", "MS_BOX_", "MS_DATE_"}) {
      texts.push_back("DROP TABLE IF EXISTS " + Table(stem));
    }
    return RunAll(hdbc_, texts);
  }

  bool Create() override {
    std::vector<std::string> texts = {
        "CREATE VIRTUAL TABLE " + Table("MS_FTS_") +
            " USING fts5(BODY, tokenize='unicode61 remove_diacritics 2')",
        "CREATE VIRTUAL TABLE " + Table("MS_TRI_") + " USING fts5(BODY, tokenize='trigram')",
        "CREATE VIRTUAL TABLE " + Table("MS_BOX_") +
            " USING rtree(ID, W, E, S, N, +PARTS, +W0, +E0, +S0, +N0)",
    };
    for (std::string& text : CreatePeriodTable(Table("MS_DATE_"))) texts.push_back(std::move(text));
    return RunAll(hdbc_, texts);
  }

  bool MarkReady() override {
    return RunAll(hdbc_, {"CREATE TABLE " + Table("MS_READY_") + "(DONE NUMBER)"});
  }

  bool Put(std::int64_t id, const IndexedRecord& record, bool fresh) override {
    if (!fresh && !Remove(id)) return false;
    const std::string key = std::to_string(id);
    const std::string text = "'" + QuoteDoubled(record.text) + "'";
    std::vector<std::string> texts = {
        "INSERT INTO " + Table("MS_FTS_") + "(rowid,BODY) VALUES (" + key + "," + text + ")",
        "INSERT INTO " + Table("MS_TRI_") + "(rowid,BODY) VALUES (" + key + "," + text + ")",
    };
    std::vector<GeoBox> parts;
    for (const GeoBox& box : record.boxes) {
      for (const GeoBox& part : SplitAtAntimeridian(box)) parts.push_back(part);
    }
    if (parts.size() > static_cast<std::size_t>(kMaxBoxParts)) parts.resize(kMaxBoxParts);
    for (std::size_t k = 0; k < parts.size(); ++k) {
      const GeoBox& p = parts[k];
      const std::string w = Number(p.west), e = Number(p.east), s = Number(p.south),
                        n = Number(p.north);
      texts.push_back("INSERT INTO " + Table("MS_BOX_") +
                      "(ID,W,E,S,N,PARTS,W0,E0,S0,N0) VALUES (" +
                      std::to_string(id * kMaxBoxParts + static_cast<std::int64_t>(k)) + "," + w +
                      "," + e + "," + s + "," + n + "," + std::to_string(parts.size()) + "," + w +
                      "," + e + "," + s + "," + n + ")");
    }
    for (std::string& text : InsertPeriods(Table("MS_DATE_"), id, record.dates)) {
      texts.push_back(std::move(text));
    }
    return RunAll(hdbc_, texts);
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
        "DELETE FROM " + Table("MS_TRI_") + " WHERE rowid=" + key,
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

  std::string BoxIds(const GeoBox& box, bool within) override {
    std::string parts;
    for (const GeoBox& q : SplitAtAntimeridian(box)) {
      if (!parts.empty()) parts += " union all ";
      parts += "select ID/" + std::to_string(kMaxBoxParts) + " as MID,PARTS from " +
               Table("MS_BOX_") + " where " + PartCondition(q, within);
    }
    // Within: every part of the record's boxes lies inside the query box.
    if (within) {
      return "select MID as METAID from (" + parts + ") BX group by MID having count(*)=max(PARTS)";
    }
    return "select distinct MID as METAID from (" + parts + ") BX";
  }

  std::string SubstringCandidates(const std::string& value) override {
    const std::string phrase = TrigramPhrase(value);
    if (phrase.empty()) return std::string();
    return "select rowid from " + Table("MS_TRI_") + " where BODY match '" + QuoteDoubled(phrase) +
           "'";
  }

  std::string PeriodIds(std::int32_t guid, const std::string& condition) override {
    return PeriodSubSelect(Table("MS_DATE_"), guid, condition);
  }

  bool AddScores(const std::vector<TextTerm>& terms,
                 std::map<std::int64_t, double>* scores) override {
    return AddRowScores(hdbc_,
                        "select rowid,-rank from " + Table("MS_FTS_") + " where BODY match '" +
                            QuoteDoubled(Fts5Query(terms)) + "'",
                        scores);
  }

 private:
  std::string Table(const char* stem) const { return owner_ + "." + stem + id_; }

  bool Exists(const char* stem) {
    const std::string name = std::string(stem) + id_;
    std::int64_t count = 0;
    return QueryInt(hdbc_,
                    "select count(*) from " + owner_ +
                        ".sqlite_master where type='table' and name in ('" + name + "','" + owner_ +
                        "." + name + "')",
                    &count) &&
           count > 0;
  }

  gis_SQLHDBC_STRU* hdbc_;
  std::string owner_;
  std::string id_;
};

}  // namespace

std::unique_ptr<SearchIndex> NewSqliteSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                  std::int32_t mdsID) {
  return std::make_unique<SqliteSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

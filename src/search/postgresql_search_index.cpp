// The search indexes on PostgreSQL: one tsvector per record under GIN
// ('simple' configuration: words are lower-cased and never stemmed, so that
// no language is favoured; diacritics removed by unaccent, on the record's
// text and on the query alike), the distinct text values of each node
// (MS_VAL) under a pg_trgm GIN index for substrings, and boxes as the
// built-in box type under GiST. PostGIS is never needed; pg_trgm and
// unaccent are trusted extensions, which a database owner may create.
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
        "CREATE TABLE " + Table("MS_FTS_") + "(METAID BIGINT PRIMARY KEY,TSV TSVECTOR)",
        "CREATE TABLE " + Table("MS_VAL_") + "(NODEGUID INTEGER NOT NULL,NODEVALUE TEXT NOT NULL)",
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

  bool AddValues(std::int64_t id) override {
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
    return RunAll(hdbc_, {insert});
  }

  std::string SubstringValues(std::int32_t guid, const std::string& value) override {
    // The planner chooses between the trigram index and a scan of the
    // values by what it knows of them.
    if (Trigrams(value).empty()) return std::string();
    return "select NODEVALUE from " + Table("MS_VAL_") + " where NODEGUID=" + std::to_string(guid) +
           " and NODEVALUE like '%" + QuoteDoubled(LikeLiteral(value, '!')) + "%' escape '!'";
  }

  bool AddScores(const std::vector<TextTerm>& terms,
                 std::map<std::int64_t, double>* scores) override {
    const std::string query = "(" + TsQueryExpression(terms) + ")";
    return AddRowScores(hdbc_,
                        "select METAID,cast(ts_rank(TSV," + query + ") as double precision) from " +
                            Table("MS_FTS_") + " where TSV @@ " + query,
                        scores);
  }

 protected:
  std::vector<const char*> Stems() const override {
    return {"MS_READY_", "MS_FTS_", "MS_VAL_", "MS_BOX_", "MS_DATE_"};
  }

  // One pass over the rows a build wrote costs less than keeping the
  // indexes row by row; the planner learns the new rows before any search.
  std::vector<std::string> IndexTexts() override {
    return {
        "CREATE INDEX " + Table("MS_FTS_") + "_TSV ON " + Table("MS_FTS_") + " USING GIN (TSV)",
        "CREATE INDEX " + Table("MS_VAL_") + "_TRG ON " + Table("MS_VAL_") +
            " USING GIN (NODEVALUE gin_trgm_ops)",
        "CREATE INDEX " + Table("MS_VAL_") + "_NV ON " + Table("MS_VAL_") +
            "(NODEGUID,md5(NODEVALUE))",
        "CREATE INDEX " + Table("MS_BOX_") + "_BX ON " + Table("MS_BOX_") + " USING GIST (BX)",
        "ANALYZE " + Table("MS_FTS_"),
        "ANALYZE " + Table("MS_VAL_"),
        "ANALYZE " + Table("MS_BOX_"),
    };
  }

  std::string WordsInsert() override {
    return "INSERT INTO " + Table("MS_FTS_") +
           "(METAID,TSV) VALUES (:1,to_tsvector('simple',unaccent(:2)))";
  }

  std::string BoxInsert() override {
    return "INSERT INTO " + Table("MS_BOX_") +
           "(ID,PARTS,BX) VALUES (:1,:2,box(point(:3,:4),point(:5,:6)))";
  }

 private:
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
};

}  // namespace

std::unique_ptr<SearchIndex> NewPostgresSearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner,
                                                    std::int32_t mdsID) {
  return std::make_unique<PostgresSearchIndex>(hdbc, owner, mdsID);
}

}  // namespace search
}  // namespace metashelf

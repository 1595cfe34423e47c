#include "search/postgresql_record_words.h"

#include <utility>

#include "metashelf/words/word_tokenizer.h"

namespace metashelf {
namespace search {
namespace {

// Records whose rows a build keeps before writing them: enough that the
// connection sends them many to a statement, few enough that their texts
// stay small.
constexpr std::size_t kRunRecords = 256;

// Binds `text`, NULL when it is empty (as a bound empty text is anyway).
bool BindText(gis_SQLHSTMT stmt, std::uint16_t number, const std::string& text,
              std::int16_t* indicator) {
  *indicator = text.empty() ? -1 : 0;
  return db::Succeeded(gis_SQLBindParameter(stmt, number, 1, GIS_TYPE_STRING, GIS_TYPE_STRING, 0, 0,
                                            const_cast<char*>(text.c_str()),
                                            static_cast<std::int32_t>(text.size() + 1), indicator));
}

}  // namespace

PgRecordWords::PgRecordWords(gis_SQLHDBC_STRU* hdbc, std::string table,
                             words::WordTokenizer* tokenizer)
    : hdbc_(hdbc), table_(std::move(table)), tokenizer_(tokenizer) {}

bool PgRecordWords::Prepare() {
  if (insert_) return true;
  auto insert = std::make_unique<db::Statement>(hdbc_);
  if (!insert->ok()) return false;
  const std::string text = "INSERT INTO " + table_ +
                           "(METAID,TSV,PAIRS) VALUES (:1,cast(:2 as tsvector),cast(:3 as "
                           "bigint[]))";
  if (!db::Succeeded(gis_SQLPrepare(insert->get(), text.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLBindParameter(insert->get(), 1, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0, 0,
                                          &id_, 8, nullptr))) {
    insert->DrainError();
    return false;
  }
  insert_ = std::move(insert);
  return true;
}

bool PgRecordWords::Keep(std::int64_t id, const std::string& text) {
  if (tokenizer_ == nullptr) return false;
  writer_.Clear();
  if (!tokenizer_->Tokenize(text, [this](std::string_view word) { writer_.Add(word); })) {
    return false;
  }
  if (kept_ == rows_.size()) rows_.emplace_back();
  Row& row = rows_[kept_++];
  row.id = id;
  writer_.Write(&row.tsvector, &row.pairs);
  return kept_ < kRunRecords || Flush();
}

bool PgRecordWords::Flush() {
  if (kept_ == 0) return true;
  if (!Prepare()) return false;
  gis_SQLHSTMT stmt = insert_->get();
  // A run that fails is not sent again.
  const std::size_t kept = kept_;
  kept_ = 0;
  for (std::size_t k = 0; k < kept; ++k) {
    const Row& row = rows_[k];
    id_ = row.id;
    if (!BindText(stmt, 2, row.tsvector, &bound_[0]) || !BindText(stmt, 3, row.pairs, &bound_[1]) ||
        !db::Succeeded(gis_SQLExecute(stmt))) {
      insert_->DrainError();
      return false;
    }
  }
  return true;
}

}  // namespace search
}  // namespace metashelf

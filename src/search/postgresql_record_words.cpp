#include "search/postgresql_record_words.h"

#include <utility>

#include "metashelf/words/word_tokenizer.h"

namespace metashelf {
namespace search {
namespace {

// Records whose rows a build keeps before writing them: enough that the
// connection sends them many to a statement, few enough that their forms
// stay small.
constexpr std::size_t kRunRecords = 256;

// Binds the binary form `bytes`, NULL when it is empty.
bool BindForm(gis_SQLHSTMT stmt, std::uint16_t number, const std::string& bytes,
              std::int16_t* indicator) {
  *indicator = bytes.empty() ? -1 : 0;
  return db::Succeeded(gis_SQLBindParameter(stmt, number, 1, GIS_TYPE_LONGRAW, GIS_TYPE_LONGRAW, 0,
                                            0, const_cast<char*>(bytes.data()),
                                            static_cast<std::int32_t>(bytes.size()), indicator));
}

}  // namespace

bool TakePgWords(words::WordTokenizer* tokenizer, TsvectorWriter* writer, const std::string& text,
                 TakenWords* out) {
  out->taken = false;
  if (tokenizer == nullptr) return false;
  writer->Clear();
  if (!tokenizer->Tokenize(text, [writer](std::string_view word) { writer->Add(word); })) {
    return false;
  }
  writer->Write(&out->words, &out->pairs);
  out->taken = true;
  return true;
}

std::unique_ptr<PgWordsTaker> PgWordsTaker::Open() {
  std::unique_ptr<words::WordTokenizer> tokenizer = words::WordTokenizer::Open();
  if (!tokenizer) return nullptr;
  return std::unique_ptr<PgWordsTaker>(new PgWordsTaker(std::move(tokenizer)));
}

PgWordsTaker::PgWordsTaker(std::unique_ptr<words::WordTokenizer> tokenizer)
    : tokenizer_(std::move(tokenizer)) {}

PgWordsTaker::~PgWordsTaker() = default;

bool PgWordsTaker::Take(const std::string& text, TakenWords* out) {
  return TakePgWords(tokenizer_.get(), &writer_, text, out);
}

PgRecordWords::PgRecordWords(gis_SQLHDBC_STRU* hdbc, std::string table,
                             words::WordTokenizer* tokenizer)
    : hdbc_(hdbc), table_(std::move(table)), tokenizer_(tokenizer) {}

bool PgRecordWords::Prepare() {
  if (insert_) return true;
  auto insert = std::make_unique<db::Statement>(hdbc_);
  if (!insert->ok()) return false;
  // The parameters take the columns' types from the casts, and as binary
  // parameters go to those types' receive functions.
  const std::string text = "INSERT INTO " + table_ +
                           "(METAID,TSV,PAIRS) VALUES (:1,cast(:2 as tsvector),cast(:3 as "
                           "bigint[]))";
  // Inside a host's batch the rows wait for its end and go many to a
  // statement: only statements that name the words table read it.
  if (!db::Succeeded(gis_SQLPrepare(insert->get(), text.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLSetStmtOption(insert->get(), GIS_SQL_ROWS_TO_BATCH_END, 1)) ||
      !db::Succeeded(gis_SQLBindParameter(insert->get(), 1, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0, 0,
                                          &id_, 8, nullptr))) {
    insert->DrainError();
    return false;
  }
  insert_ = std::move(insert);
  return true;
}

void PgRecordWords::Offer(std::int64_t id, TakenWords* words) {
  offeredId_ = id;
  std::swap(offered_, *words);
}

bool PgRecordWords::Keep(std::int64_t id, const std::string& text) {
  if (kept_ == rows_.size()) rows_.emplace_back();
  Row& row = rows_[kept_];
  row.id = id;
  if (offered_.taken && offeredId_ == id) {
    std::swap(row.words, offered_);
  } else if (!TakePgWords(tokenizer_, &writer_, text, &row.words)) {
    offered_.taken = false;
    return false;
  }
  offered_.taken = false;
  ++kept_;
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
    if (!BindForm(stmt, 2, row.words.words, &bound_[0]) ||
        !BindForm(stmt, 3, row.words.pairs, &bound_[1]) || !db::Succeeded(gis_SQLExecute(stmt))) {
      insert_->DrainError();
      return false;
    }
  }
  return true;
}

}  // namespace search
}  // namespace metashelf

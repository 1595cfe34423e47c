#include "search/postgresql_build_words.h"

#include <new>
#include <utility>

#include "search/tsvector_pairs.h"

namespace metashelf {
namespace search {
namespace {

// Records whose words are made by one statement: enough that the
// statements' own cost vanishes, few enough that their texts stay small.
constexpr std::size_t kRunRecords = 256;
// The longest tsvector text read back; a longer one's row is written by the
// one-record insert.
constexpr std::size_t kTsvectorRoom = 1 << 19;

bool BindText(gis_SQLHSTMT stmt, std::uint16_t number, const std::string* text,
              std::int16_t* indicator) {
  *indicator = text == nullptr ? -1 : 0;
  return db::Succeeded(gis_SQLBindParameter(
      stmt, number, 1, GIS_TYPE_STRING, GIS_TYPE_STRING, 0, 0,
      text == nullptr ? const_cast<char*>("") : const_cast<char*>(text->c_str()),
      text == nullptr ? 1 : static_cast<std::int32_t>(text->size() + 1), indicator));
}

}  // namespace

PgBuildWords::PgBuildWords(gis_SQLHDBC_STRU* hdbc, std::string table, std::string single,
                           int pairChars)
    : hdbc_(hdbc),
      table_(std::move(table)),
      singleText_(std::move(single)),
      pairChars_(pairChars) {}

bool PgBuildWords::Add(std::int64_t id, const std::string& text) {
  ids_.push_back(id);
  texts_.push_back(text);
  return ids_.size() < kRunRecords || Flush();
}

bool PgBuildWords::Prepare() {
  if (select_) return true;
  auto select = std::make_unique<db::Statement>(hdbc_);
  auto insert = std::make_unique<db::Statement>(hdbc_);
  auto single = std::make_unique<db::Statement>(hdbc_);
  if (!select->ok() || !insert->ok() || !single->ok()) return false;
  room_.assign(kTsvectorRoom, '\0');
  const std::string selectText =
      "select R.N,to_tsvector('simple',unaccent(R.T)) from unnest(cast(:1 as text[])) with "
      "ordinality as R(T,N)";
  const std::string insertText = "INSERT INTO " + table_ +
                                 "(METAID,TSV,PAIRS) VALUES (:1,cast(:2 as tsvector),cast(:3 as "
                                 "text[]))";
  const struct {
    db::Statement* stmt;
    const std::string* text;
  } texts[] = {
      {select.get(), &selectText}, {insert.get(), &insertText}, {single.get(), &singleText_}};
  for (const auto& t : texts) {
    if (!db::Succeeded(gis_SQLPrepare(t.stmt->get(), t.text->c_str(), GIS_SQL_NTS))) {
      t.stmt->DrainError();
      return false;
    }
  }
  for (db::Statement* stmt : {insert.get(), single.get()}) {
    if (!db::Succeeded(gis_SQLBindParameter(stmt->get(), 1, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0, 0,
                                            &id_, 8, nullptr))) {
      stmt->DrainError();
      return false;
    }
  }
  select_ = std::move(select);
  insert_ = std::move(insert);
  single_ = std::move(single);
  return true;
}

bool PgBuildWords::ReadTsvectors() {
  // The texts as one array; an empty text is NULL, as a bound one is.
  literal_ = "{";
  for (const std::string& text : texts_) {
    if (literal_.size() > 1) literal_ += ',';
    if (text.empty()) {
      literal_ += "NULL";
    } else {
      AppendArrayElement(text, &literal_);
    }
  }
  literal_ += '}';
  tsvectors_.assign(texts_.size(), std::string());
  rows_.assign(texts_.size(), Row::kSingle);
  gis_SQLHSTMT stmt = select_->get();
  if (!BindText(stmt, 1, &literal_, &bound_[0]) || !db::Succeeded(gis_SQLExecute(stmt)) ||
      !db::Succeeded(gis_SQLBindCol(stmt, 1, GIS_TYPE_INT, &ordinal_, 4, &ordinalIndicator_)) ||
      !db::Succeeded(gis_SQLBindCol(stmt, 2, GIS_TYPE_STRING, room_.data(),
                                    static_cast<std::int32_t>(room_.size()), &indicator_))) {
    select_->DrainError();
    gis_SQLFreeStmt(stmt, GIS_SQL_CLOSE);
    return false;
  }
  bool ok = true;
  for (;;) {
    const std::int16_t rc = gis_SQLFetch(stmt);
    if (rc == GIS_SQL_NO_DATA) break;
    if (!db::Succeeded(rc)) {
      select_->DrainError();
      ok = false;
      break;
    }
    if (ordinal_ < 1 || static_cast<std::size_t>(ordinal_) > texts_.size()) continue;
    const std::size_t k = static_cast<std::size_t>(ordinal_) - 1;
    if (indicator_ == -1) {
      rows_[k] = Row::kNull;
    } else if (rc == GIS_SQL_SUCCESS && room_[0] != '\0') {
      tsvectors_[k] = room_.data();
      rows_[k] = Row::kFromTsvector;
    }
  }
  gis_SQLFreeStmt(stmt, GIS_SQL_CLOSE);
  return ok;
}

bool PgBuildWords::WriteRow(std::size_t k) {
  gis_SQLHSTMT stmt = insert_->get();
  id_ = ids_[k];
  const std::string* tsvector = nullptr;
  const std::string* pairsLiteral = nullptr;
  if (rows_[k] == Row::kFromTsvector) {
    if (!PairsLiteral(tsvectors_[k], pairChars_, &scratch_, &pairsLiteral_)) return WriteSingle(k);
    tsvector = &tsvectors_[k];
    // No pairs: NULL, as an aggregate of none is.
    if (!pairsLiteral_.empty()) pairsLiteral = &pairsLiteral_;
  }
  if (!BindText(stmt, 2, tsvector, &bound_[1]) || !BindText(stmt, 3, pairsLiteral, &bound_[2]) ||
      !db::Succeeded(gis_SQLExecute(stmt))) {
    insert_->DrainError();
    return false;
  }
  return true;
}

bool PgBuildWords::WriteSingle(std::size_t k) {
  gis_SQLHSTMT stmt = single_->get();
  id_ = ids_[k];
  if (!BindText(stmt, 2, texts_[k].empty() ? nullptr : &texts_[k], &bound_[1]) ||
      !db::Succeeded(gis_SQLExecute(stmt))) {
    single_->DrainError();
    return false;
  }
  return true;
}

bool PgBuildWords::Flush() {
  if (ids_.empty()) return true;
  if (!Prepare() || !ReadTsvectors()) return false;
  for (std::size_t k = 0; k < ids_.size(); ++k) {
    if (!(rows_[k] == Row::kSingle ? WriteSingle(k) : WriteRow(k))) return false;
  }
  ids_.clear();
  texts_.clear();
  return true;
}

}  // namespace search
}  // namespace metashelf

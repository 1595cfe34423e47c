// A record's words on PostgreSQL, taken on this side: the tokenizer SQLite's
// index uses (metashelf/words) takes them from the record's text, and one
// insert writes its row of the words table with the tsvector's text form
// and the keys of its pairs (tsvector_text.h), which the server only casts.
// The connection holds such inserts and sends many rows to a statement.
// The write path and a build write the same row.
#ifndef METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_
#define METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "db/statement.h"
#include "search/tsvector_text.h"

namespace metashelf {
namespace words {
class WordTokenizer;
}
namespace search {

class PgRecordWords {
 public:
  // `table`: the owner-qualified words table (METAID, TSV, PAIRS).
  PgRecordWords(gis_SQLHDBC_STRU* hdbc, std::string table, words::WordTokenizer* tokenizer);
  PgRecordWords(const PgRecordWords&) = delete;
  PgRecordWords& operator=(const PgRecordWords&) = delete;

  // Writes the row of record `id` with the words of `text` (TSV and PAIRS
  // NULL when it holds none). False when the words could not be taken or
  // the statement failed (its error drained).
  bool Write(std::int64_t id, const std::string& text);

 private:
  bool Prepare();

  gis_SQLHDBC_STRU* hdbc_;
  std::string table_;
  words::WordTokenizer* tokenizer_;
  std::unique_ptr<db::Statement> insert_;  // prepared by the first row
  std::int64_t id_ = 0;
  std::int16_t bound_[2] = {};  // the indicators of the bound texts
  TsvectorWriter writer_;
  std::string tsvector_;
  std::string pairs_;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

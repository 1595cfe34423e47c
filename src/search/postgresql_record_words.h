// A record's words on PostgreSQL, taken on this side: the tokenizer SQLite's
// index uses (metashelf/words) takes them from the record's text, and one
// insert writes its row of the words table with the tsvector's text form
// and the keys of its pairs (tsvector_text.h), which the server only casts.
// A build keeps the rows of a run of records and writes them one after
// another, which the connection holds and sends many to a statement (an
// insert of another shape between two rows would send each alone). The
// write path and a build write the same row.
#ifndef METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_
#define METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

  // Keeps the row of record `id` with the words of `text` (TSV and PAIRS
  // NULL when it holds none); writes the run once it is full. False when
  // the words could not be taken or a statement failed (its error
  // drained).
  bool Keep(std::int64_t id, const std::string& text);
  // Writes what is kept. False when a statement failed.
  bool Flush();

 private:
  struct Row {
    std::int64_t id = 0;
    std::string tsvector;
    std::string pairs;
  };

  bool Prepare();

  gis_SQLHDBC_STRU* hdbc_;
  std::string table_;
  words::WordTokenizer* tokenizer_;
  std::unique_ptr<db::Statement> insert_;  // prepared by the first row
  std::int64_t id_ = 0;
  std::int16_t bound_[2] = {};  // the indicators of the bound texts
  TsvectorWriter writer_;
  std::vector<Row> rows_;  // their room kept from run to run
  std::size_t kept_ = 0;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

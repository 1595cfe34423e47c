// A record's words on PostgreSQL, taken on this side: the tokenizer SQLite's
// index uses (metashelf/words) takes them from the record's text, and one
// insert writes its row of the words table with the tsvector and the keys
// of its pairs in the binary forms the server receives as they are
// (tsvector_text.h). A build takes the words in its reading thread
// (PgWordsTaker) and offers them before each record's row is kept; it keeps
// the rows of a run of records and writes them one after another, which
// the connection holds and sends many to a statement (an insert of another
// shape between two rows would send each alone). The write path and a
// build write the same row.
#ifndef METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_
#define METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/statement.h"
#include "search/taken_words.h"
#include "search/tsvector_text.h"

namespace metashelf {
namespace words {
class WordTokenizer;
}
namespace search {

// The binary forms of the words of `text` into `*out`, by `tokenizer`
// through `writer`; false when the tokenizer failed.
bool TakePgWords(words::WordTokenizer* tokenizer, TsvectorWriter* writer, const std::string& text,
                 TakenWords* out);

// A taker of its own tokenizer, for a build's reading thread.
class PgWordsTaker : public WordsTaker {
 public:
  // Null when SQLite offers no tokenizer.
  static std::unique_ptr<PgWordsTaker> Open();
  ~PgWordsTaker() override;
  PgWordsTaker(const PgWordsTaker&) = delete;
  PgWordsTaker& operator=(const PgWordsTaker&) = delete;
  bool Take(const std::string& text, TakenWords* out) override;

 private:
  explicit PgWordsTaker(std::unique_ptr<words::WordTokenizer> tokenizer);
  std::unique_ptr<words::WordTokenizer> tokenizer_;
  TsvectorWriter writer_;
};

class PgRecordWords {
 public:
  // `table`: the owner-qualified words table (METAID, TSV, PAIRS).
  PgRecordWords(gis_SQLHDBC_STRU* hdbc, std::string table, words::WordTokenizer* tokenizer);
  PgRecordWords(const PgRecordWords&) = delete;
  PgRecordWords& operator=(const PgRecordWords&) = delete;

  // The words of record `id` as a taker took them, kept by the next Keep
  // of that id instead of taking them from its text (any other Keep
  // forgets them); `*words` gets the room of a row written before.
  void Offer(std::int64_t id, TakenWords* words);
  // Keeps the row of record `id` with the words of `text` (TSV and PAIRS
  // NULL when it holds none), or with those offered for it; writes the run
  // once it is full. False when the words could not be taken or a
  // statement failed (its error drained).
  bool Keep(std::int64_t id, const std::string& text);
  // Writes what is kept. False when a statement failed.
  bool Flush();

 private:
  struct Row {
    std::int64_t id = 0;
    TakenWords words;
  };

  bool Prepare();

  gis_SQLHDBC_STRU* hdbc_;
  std::string table_;
  words::WordTokenizer* tokenizer_;
  std::unique_ptr<db::Statement> insert_;  // prepared by the first row
  std::int64_t id_ = 0;
  std::int16_t bound_[2] = {};  // the indicators of the bound forms
  TsvectorWriter writer_;
  std::vector<Row> rows_;  // their room kept from run to run
  std::size_t kept_ = 0;
  std::int64_t offeredId_ = 0;
  TakenWords offered_;  // taken while offered_.taken, until the next Keep
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_POSTGRESQL_RECORD_WORDS_H_

// A build's record words on PostgreSQL, a run of records at a time: the
// server makes the tsvectors of the run's texts in one statement, this side
// takes each one's pairs of adjacent words (tsvector_pairs.h), and the rows
// go out as inserts the connection sends many to a statement. Taking the
// pairs on the server cost it three times the words themselves. A row is
// the same as the one-record insert writes; a record whose tsvector does
// not come back whole (longer than the fetch room, or empty, which a bound
// text cannot carry) is written by that insert.
#ifndef METASHELF_SRC_SEARCH_POSTGRESQL_BUILD_WORDS_H_
#define METASHELF_SRC_SEARCH_POSTGRESQL_BUILD_WORDS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/statement.h"

namespace metashelf {
namespace search {

class PgBuildWords {
 public:
  // `table`: the owner-qualified words table (METAID, TSV, PAIRS);
  // `single`: the one-record insert (:1 the id, :2 the text); pairs are cut
  // to `pairChars` characters, as that insert cuts them.
  PgBuildWords(gis_SQLHDBC_STRU* hdbc, std::string table, std::string single, int pairChars);
  PgBuildWords(const PgBuildWords&) = delete;
  PgBuildWords& operator=(const PgBuildWords&) = delete;

  // Keeps the words of record `id`; writes the run once it is full. False
  // when a statement failed (its error drained).
  bool Add(std::int64_t id, const std::string& text);
  // Writes what is kept. False when a statement failed.
  bool Flush();

 private:
  // How a kept record's row is written.
  enum class Row : char { kNull, kFromTsvector, kSingle };

  bool Prepare();
  // Reads the tsvectors of the kept texts into tsvectors_ and rows_.
  bool ReadTsvectors();
  bool WriteRow(std::size_t k);
  bool WriteSingle(std::size_t k);

  gis_SQLHDBC_STRU* hdbc_;
  std::string table_;
  std::string singleText_;
  int pairChars_;
  // Prepared by the first run.
  std::unique_ptr<db::Statement> select_;
  std::unique_ptr<db::Statement> insert_;
  std::unique_ptr<db::Statement> single_;
  std::int64_t id_ = 0;       // bound to both inserts
  std::int32_t ordinal_ = 0;  // fetched: the place of a tsvector's text
  std::int16_t ordinalIndicator_ = 0;
  std::int16_t indicator_ = 0;
  std::int16_t bound_[3] = {};  // the indicators of the bound texts
  std::vector<std::int64_t> ids_;
  std::vector<std::string> texts_;
  std::vector<std::string> tsvectors_;
  std::vector<Row> rows_;
  std::string literal_;  // the texts of the run as one array
  std::string pairsLiteral_;
  std::string scratch_;
  std::vector<char> room_;
};

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_POSTGRESQL_BUILD_WORDS_H_

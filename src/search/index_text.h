// The texts of the search indexes, as pure functions: the words of a
// record's XML, a free-text query taken apart into terms and written for
// each engine, boxes read from "W,S,E,N" and split at the antimeridian, and
// the substring patterns a trigram index can narrow.
#ifndef METASHELF_SRC_SEARCH_INDEX_TEXT_H_
#define METASHELF_SRC_SEARCH_INDEX_TEXT_H_

#include <cstddef>
#include <string>
#include <vector>

namespace metashelf {
namespace search {

// The text of an XML document: element text, CDATA and attribute values,
// entity references decoded, each piece verbatim and followed by a line
// break (pieces of blanks alone are left out). Names, comments and
// processing instructions are not text. NUL bytes are dropped.
std::string TextOfXml(const std::string& xml);

// One term of a free-text query: one word, or the words of a phrase in
// order; `prefix` when its last word ends in '*'.
struct TextTerm {
  std::vector<std::string> words;
  bool prefix = false;
};

// Takes a free-text query apart: "double-quoted text" is a phrase, other
// text is split into words at every character that is neither a letter nor
// a digit (bytes of multi-byte UTF-8 characters count as letters), and a
// '*' right after a word makes it a prefix. Operators of the engines
// (AND, NEAR, quotes, parentheses, column filters) are never operators
// here: they are words or separators. False when no word remains or the
// query is not UTF-8.
bool ParseTextQuery(const std::string& query, std::vector<TextTerm>* terms);

// The FTS5 query of `terms`: every term must occur.
std::string Fts5Query(const std::vector<TextTerm>& terms);

// The PostgreSQL tsquery expression of `terms` (text of SQL, values quoted).
std::string TsQueryExpression(const std::vector<TextTerm>& terms);

// A box in decimal degrees; west > east crosses the antimeridian.
struct GeoBox {
  double west = 0;
  double south = 0;
  double east = 0;
  double north = 0;
};

// Reads "W,S,E,N" (blanks around numbers allowed). False unless four finite
// numbers with -180 <= W, E <= 180 and -90 <= S <= N <= 90.
bool ParseBox(const std::string& text, GeoBox* box);

// Whether a record's box can be indexed: the same bounds as ParseBox.
bool IsUsableBox(const GeoBox& box);

// The box as one or two boxes that do not cross the antimeridian.
std::vector<GeoBox> SplitAtAntimeridian(const GeoBox& box);

// The FTS5 trigram phrase for a substring `value`, or "" when the value has
// fewer than three characters (the index cannot narrow it).
std::string TrigramPhrase(const std::string& value);

// The period a date of reduced precision names: "YYYY" from its first to
// its last day, "YYYY-MM" likewise (blanks around it allowed), as
// YYYY-MM-DD texts. False for anything else, full dates included.
bool ReducedDatePeriod(const std::string& value, std::string* first, std::string* last);

// The condition on a stored period (columns LO and HI) that holds when
// some day of the period passes the comparison `op` with the full dates
// `value1` (and `value2` for between); "" for an operator it does not know.
std::string PeriodCondition(const std::string& op, const std::string& value1,
                            const std::string& value2);

// `value` as the body of a LIKE pattern in which every character stands for
// itself, with `escape` as the escape character.
std::string LikeLiteral(const std::string& value, char escape);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_INDEX_TEXT_H_

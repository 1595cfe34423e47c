// The texts of the search indexes, as pure functions: the words of a
// record's XML, a free-text query taken apart into terms and written for
// each engine, boxes read from "W,S,E,N" and split at the antimeridian, and
// the substring patterns a trigram index can narrow.
#ifndef METASHELF_SRC_SEARCH_INDEX_TEXT_H_
#define METASHELF_SRC_SEARCH_INDEX_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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
// here: they are words or separators, and so is a term that holds no word
// of the index (a dash standing alone). False when no word remains or the
// query is not UTF-8.
bool ParseTextQuery(const std::string& query, std::vector<TextTerm>* terms);

// The FTS5 query of `terms`: every term must occur.
std::string Fts5Query(const std::vector<TextTerm>& terms);

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

// The distinct trigrams (three UTF-8 characters each) of `value`, in the
// order they first occur; none when it has fewer than three characters.
std::vector<std::string> Trigrams(const std::string& value);

// The FTS5 query that holds for every text with all of `trigrams` (each a
// string of its own, so that no operator is read from them).
std::string TrigramQuery(const std::vector<std::string>& trigrams);

// The key of a stored value of node `guid` at `position`.
inline std::uint64_t LeafKey(std::int32_t guid, std::int32_t position) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(guid)) << 32) |
         static_cast<std::uint32_t>(position);
}

// A record's stored text values by LeafKey, as views of text the caller
// keeps, sorted by key (stably: of two values under one key the first
// stands for it). A build reads many records' values into one buffer and
// hands out these; a write views the rows it took the record apart into.
using TextViews = std::vector<std::pair<std::uint64_t, std::string_view>>;

// Sorts `views` by key, keeping the order of values under one key.
void SortByKey(TextViews* views);

// What the markers of a structure document stand for: the stored text
// values by LeafKey (a marker of a value not there stands for nothing), and
// the text written for every number and for every date.
struct MarkerValues {
  const TextViews* views = nullptr;
  const char* number = "";
  const char* date = "";
};

// The structure document of a record (its XML after the prolog, each stored
// value replaced by a marker \x01 kind guid '<' position \x02) with every
// marker replaced as `values` say: escaped in element content and attribute
// values, verbatim inside CDATA.
std::string FillMarkers(const std::string& structure, const MarkerValues& values);

// TextOfXml(FillMarkers(structure, {&texts})) into `out` without writing
// the document in between; `out`'s room is kept from record to record.
void TextOfStructure(const std::string& structure, const TextViews& texts, std::string* out);

// Whether a structure document may keep inline a date of reduced precision:
// some YYYY or YYYY-MM stands alone (blanks aside) between markup.
bool MayHoldReducedDate(const std::string& structure);

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

// The pairs of adjacent words of a PostgreSQL tsvector, taken from the text
// the server writes for it ('lexeme':1,5A 'other':2), as pure functions. A
// build has the server make each record's tsvector and takes its pairs here,
// where the server would spend more on them than on the words themselves;
// the pairs are those the server's own statement gives (PairRows), so that a
// record's row is the same whichever side took them.
#ifndef METASHELF_SRC_SEARCH_TSVECTOR_PAIRS_H_
#define METASHELF_SRC_SEARCH_TSVECTOR_PAIRS_H_

#include <string>
#include <string_view>
#include <vector>

namespace metashelf {
namespace search {

// The distinct pairs of `tsvector` (its text form) in byte order: each word
// at a position it keeps, a blank and each word at the next position, cut
// to `pairChars` characters (UTF-8). False when the text is not a
// tsvector's text form; `pairs` is then left empty.
bool TsvectorPairs(std::string_view tsvector, int pairChars, std::vector<std::string>* pairs);

// The same as the array literal of those pairs into `literal` ("" when
// there is none, which the server's aggregate makes NULL), with `scratch`
// as room kept from call to call.
bool PairsLiteral(std::string_view tsvector, int pairChars, std::string* scratch,
                  std::string* literal);

// Appends `element` to `literal` as a double-quoted element of an array
// literal (every character stands for itself).
void AppendArrayElement(std::string_view element, std::string* literal);

// The array literal of `elements` ("{}" for none).
std::string ArrayLiteral(const std::vector<std::string>& elements);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_TSVECTOR_PAIRS_H_

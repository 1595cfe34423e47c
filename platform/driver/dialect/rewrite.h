// Helpers shared by the adapter's common part and its per-target rewrites:
// walking token vectors by significance and parenthesis depth, the shape of
// compound selects, and the entry points of each target's rewrite.
#ifndef METASHELF_DRIVER_DIALECT_REWRITE_H_
#define METASHELF_DRIVER_DIALECT_REWRITE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "dialect/dialect.h"
#include "dialect/tokenizer.h"

namespace metashelf {
namespace driver {
namespace dialect {

using Tokens = std::vector<Token>;
constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The first significant token at or after `from` and before `end`; `end` when none.
std::size_t NextSig(const Tokens& t, std::size_t from, std::size_t end);
// The last significant token before `before` and at or after `begin`; kNone when none.
std::size_t PrevSig(const Tokens& t, std::size_t before, std::size_t begin = 0);
// The ")" that closes the "(" at `open`, or kNone.
std::size_t MatchParen(const Tokens& t, std::size_t open, std::size_t end);
// The first word `keyword` at parenthesis depth 0 of [begin, end); kNone when none.
std::size_t FindTopLevel(const Tokens& t, std::size_t begin, std::size_t end, const char* keyword);

// The INDEX word of a CREATE [UNIQUE] INDEX statement; kNone for any other.
std::size_t CreateIndexWord(const Tokens& t);

// A piece of target text among the tokens: written out as it stands and
// never read as a word again.
Token Raw(const std::string& text);

// Where the word at `i` stands among its significant neighbours.
struct WordPlace {
  std::size_t prev;  // kNone when the word is the first
  std::size_t next;  // t.size() when the word is the last
  bool afterDot;
  bool beforeDot;
  bool beforeParen;
};
WordPlace PlaceOf(const Tokens& t, std::size_t i);
// NAME . NAME [. NAME] starting at the word `i` (not itself after a dot):
// the indexes of its words. count is 0 when no word follows the first dot,
// 3 only when a third word follows a second dot.
struct DottedName {
  std::size_t word[3] = {kNone, kNone, kNone};
  int count = 0;
};
DottedName DottedNameAt(const Tokens& t, std::size_t i, const WordPlace& place);

// How a target writes the Oracle words that every target rewrites without
// looking at the statement's structure (MINUS becomes the word EXCEPT on
// every target).
struct WordSpellings {
  const char* dual;       // DUAL as a table of a FROM list: a one-row select
  const char* sysdate;    // SYSDATE
  const char* emptyBlob;  // EMPTY_BLOB()
  const char* lobLength;  // the function DBMS_LOB.GETLENGTH
};
// When the word at `i` starts one of those, appends its target spelling to
// `*out` and returns the index of its last token; kNone otherwise.
std::size_t RewriteCommonWord(const Tokens& t, std::size_t i, const WordPlace& at,
                              const WordSpellings& spell, Tokens* out);

// The column types of a CREATE TABLE column list (constraints have none):
// the type word, and the parentheses of its size when it has one.
struct ColumnType {
  std::size_t word;
  std::size_t sizeOpen = kNone;
  std::size_t sizeClose = kNone;
};
std::vector<ColumnType> CreateTableColumnTypes(const Tokens& t);

// A compound select split at its top-level set operators (UNION [ALL],
// INTERSECT, MINUS, EXCEPT): operands[i] = [first, last) token ranges,
// operators[i] = [first, last) between operands i and i+1.
struct Compound {
  std::vector<std::pair<std::size_t, std::size_t>> operands;
  std::vector<std::pair<std::size_t, std::size_t>> operators;
};
Compound SplitCompound(const Tokens& t, std::size_t begin, std::size_t end);
// True when the parenthesised group opening at `open` holds a query (its
// first significant token, past any further "(", is SELECT or WITH).
bool IsQueryParen(const Tokens& t, std::size_t open, std::size_t end);

// ALTER SEQUENCE owner.name INCREMENT BY n, as parsed by the common part.
struct SequenceAlter {
  std::string owner;  // upper-cased, "" when unqualified
  std::string name;   // upper-cased
  long long increment = 0;
};
// True when `t` is an ALTER SEQUENCE statement; then `*alter` is filled or
// `*error` set (false result of `*ok`) for a refused form.
bool ParseSequenceAlter(const Tokens& t, SequenceAlter* alter, bool* ok, std::string* error);

// The text of tokens with every numbered parameter written as prefix+slot.
std::string Render(const Tokens& t, std::size_t begin, std::size_t end, char prefix);

// How a target writes a statement out: its parameter prefix and its own
// rendering of a query expression (set operators and their operands), which
// renders the operands' text through RenderPlain.
struct Renderer {
  char prefix;
  std::string (*query)(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e);
};
// Ordinary text; each parenthesised query inside it goes to r.query.
std::string RenderPlain(const Renderer& r, const Tokens& t, std::size_t b, std::size_t e);
// The whole statement: a query (SELECT, WITH or a parenthesised query first)
// through r.query, anything else as ordinary text.
std::string RenderStatement(const Renderer& r, const Tokens& t);
// A SELECT ... FOR UPDATE carries its row's identity `column` as an extra
// last select column (inserted before FROM). False with `*error` when the
// select has no FROM clause.
bool AddRowIdentityColumn(Tokens* t, const char* column, std::string* error);

// Target rewrites. `tokens` have been through the common part (binds
// numbered in `slot`, '' turned into NULL, INTO and FOR UPDATE removed);
// each fills `out->text` (and anything else it owns). False with `*error`
// for a text the target refuses.
bool RewriteForSQLite(Tokens& tokens, Adapted* out, std::string* error);
bool RewriteForPostgreSQL(Tokens& tokens, const Rules& rules, Adapted* out, std::string* error);

// PostgreSQL: an index on a prefix-keyed column keys its first characters,
// and comparisons of that column with a value in queries on such a table
// carry the same comparison of prefixes (see PrefixKeyedColumn).
void IndexByPrefix(Tokens* t, const PrefixKeyedColumn& column);
void AddPrefixComparisons(Tokens* t, const PrefixKeyedColumn& column);

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_REWRITE_H_

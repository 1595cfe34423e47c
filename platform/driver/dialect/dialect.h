// The dialect adapter: Oracle SQL as the system and hosts write it, turned
// into the SQL of one backend. A pure function of the text and the target;
// no I/O, no state.
//
//   Adapted a;
//   Error error;  // on refusal: error.oracle (ORA number), error.message
//   if (!Adapt("SELECT O.KRSQ_SCHEMANODEID.NEXTVAL INTO :v FROM DUAL",
//              Target::kSQLite, &a, &error)) { ... }
//   // a.text: the SQLite text; a.params[k-1]: where placeholder k comes from.
//
// Shared work (every target): the lexer, refusing stacked statements,
// anonymous procedure blocks, numbering of binds, SELECT ... INTO removal,
// FOR UPDATE, '' as NULL, ALTER SEQUENCE checks. Per-target rewrites live
// in files of their own (sqlite_rewrite.cpp, postgresql_rewrite.cpp).
#ifndef METASHELF_DRIVER_DIALECT_DIALECT_H_
#define METASHELF_DRIVER_DIALECT_DIALECT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dialect/error.h"

namespace metashelf {
namespace driver {
namespace dialect {

// The name prefix of the check that makes a VARCHAR2(n) column hold at most
// n bytes on every backend ("MS_BYTES_<COLUMN>"); a failure of it is
// reported as Oracle's ORA-12899.
constexpr char kByteLimitCheck[] = "MS_BYTES_";

enum class Target { kSQLite, kPostgreSQL };

// Where one positional placeholder of an adapted text takes its value from.
struct ParamSource {
  enum class Kind {
    kCaller,   // the caller's bind `index` (from 1): ":1" is 1, named binds by first appearance
    kLiteral,  // the lifted literal `index` (from 0) of LiftLiterals
  };
  Kind kind = Kind::kCaller;
  int index = 0;
};

// A literal value lifted out of a statement text.
struct Literal {
  enum class Kind { kInt, kReal, kText };
  Kind kind = Kind::kInt;
  std::int64_t integer = 0;
  double real = 0;
  std::string text;
};

// A call of a package procedure written as an anonymous block:
// BEGIN owner.PACKAGE.procedure(:1,...);END;
struct ProcedureCall {
  std::string owner;      // as written ("" when unqualified)
  std::string package;    // upper-cased
  std::string procedure;  // upper-cased
  std::vector<ParamSource> args;
  // Arguments that are NULL literals are recorded as a negative caller index.
};

struct Adapted {
  enum class Kind {
    kStatement,      // run `text`
    kProcedureCall,  // run the procedure `call` (PostgreSQL targets also fill `text`)
  };
  Kind kind = Kind::kStatement;
  std::string text;
  // params[k-1] feeds placeholder k of `text` (?k for SQLite, $k for PostgreSQL).
  std::vector<ParamSource> params;
  // PostgreSQL: dateFormats[k-1], when present and not empty, is the Oracle
  // date format placeholder k is read with (it is TO_DATE's first argument);
  // the backend reads the value with ParseOracleDate and sends the date.
  std::vector<std::string> dateFormats;
  // The highest caller bind number the statement names.
  int callerParams = 0;
  ProcedureCall call;

  // SQLite: the tables (and indexes) the text names at table positions, as
  // the file names them (upper case, unquoted: "OWNER.TABLE" or "TABLE"),
  // and the one a CREATE makes ("" for other statements). When the engine
  // refuses the text, the backend tells "that name is taken" from "that
  // table is not there" by looking these up.
  std::vector<std::string> tables;
  std::string creates;

  // SELECT ... FOR UPDATE on one table: the row identity is appended as an
  // extra last column of `text` by the target (rowid, ctid).
  bool forUpdate = false;
  std::string lockTable;                 // owner-qualified as written
  std::vector<std::string> lockColumns;  // select-list expressions as written
  int visibleColumns = 0;                // columns before the identity column
};

// A text column too wide for a PostgreSQL btree key (an entry must fit in a
// third of a page): on the tables named `tableStem` followed by digits (any
// owner), an index on `column` keys its first `keyChars` characters, and a
// comparison of `column` with a value carries the same comparison of
// prefixes, which that index can serve. The caller that made the tables
// says which they are; the adapter knows no table of its own.
struct PrefixKeyedColumn {
  std::string tableStem;  // upper case, e.g. "T_TEXT_" for T_TEXT_1, T_TEXT_2 ...
  std::string column;     // upper case
  int keyChars = 0;       // > 0
};

// What a connection tells the adapter about its database beyond the target.
struct Rules {
  std::vector<PrefixKeyedColumn> prefixKeyed;  // PostgreSQL only
};

// Adapts `text` for `target`. False with `*error` (its Oracle number and
// message) set for a text that must be refused (unterminated literal, stacked statements, ALTER
// SEQUENCE ... INCREMENT BY 0, a malformed procedure block, an unsupported date format). Texts
// using no Oracle construct pass through unchanged apart from binds.
bool Adapt(std::string_view text, Target target, const Rules& rules, Adapted* out, Error* error);
// The same with no rules.
bool Adapt(std::string_view text, Target target, Adapted* out, Error* error);
// The same, for callers that want the message only.
bool Adapt(std::string_view text, Target target, const Rules& rules, Adapted* out,
           std::string* message);
bool Adapt(std::string_view text, Target target, Adapted* out, std::string* message);

// SQLite keeps a database in one file: the table (or index) TABLE of the
// owner OWNER is named "OWNER.TABLE" there (quoted, both parts upper-cased;
// a part given quoted, as Oracle folds it, stays as written),
// and Adapt writes owner-qualified names of table positions that way.
std::string OwnerTableName(std::string_view owner, std::string_view table);

// `text` with every "@" replaced by `owner`: the form the catalog's own
// tables and procedures are written in once for every owner and engine.
std::string WithOwner(std::string_view text, std::string_view owner);

// The text with its lifted literals: every number and every non-empty string
// literal that stands as a value (after a comparison operator, BETWEEN, LIKE,
// as the first argument of TO_DATE, or as an element of an INSERT's VALUES
// list) is replaced by "?" and appended to `literals`, so that texts that
// differ only in such values share one `key`. Literals in DDL, ALTER, ORDER
// BY / GROUP BY positions, format arguments and the length of LEFT stay in
// place. False (with
// `*error`) for a text the lexer refuses or one that holds a "?" of its own.
struct Shaped {
  std::string key;
  std::vector<Literal> literals;
  // Where each lifted literal stands in the text: [begin, end), from the
  // sign that joined it (if any) to the end of its token at `token`.
  struct Span {
    std::size_t begin = 0;
    std::size_t token = 0;
    std::size_t end = 0;
  };
  std::vector<Span> spans;
};
bool LiftLiterals(std::string_view text, Shaped* out, Error* error);
bool LiftLiterals(std::string_view text, Shaped* out, std::string* message);

// The shapes of recently lifted texts, each cut at its literals, so that a
// text of a known shape is lifted by comparing its fixed parts and reading
// its literals, without lexing it again. Lift gives exactly what
// LiftLiterals gives. A text matches a shape when its fixed parts are the
// same bytes and each literal is one token of the same kind starting with
// the same class of character (digit, ".", quote), which keeps every token
// boundary where it was; a sign that joined a literal must stand before it
// again, spaced alike. `out` may be reused from call to call: the literals'
// strings keep their storage, so a hit allocates nothing once warm.
class ShapeMemo {
 public:
  explicit ShapeMemo(std::size_t capacity = 16) : capacity_(capacity) {}
  bool Lift(std::string_view text, Shaped* out, Error* error);
  bool Lift(std::string_view text, Shaped* out, std::string* message);
  // Texts lifted by a remembered shape, for tests.
  std::size_t hits() const { return hits_; }

 private:
  struct Shape {
    std::string text;                     // the text the shape was taken from
    std::vector<std::size_t> fixedBegin;  // fixed part k: [fixedBegin[k], fixedEnd[k]) of text
    std::vector<std::size_t> fixedEnd;    // (one more fixed part than literals)
    std::vector<char> literalClass;       // '0' digit, '.' point, '\'' quote
    std::vector<std::string> signs;       // a joined sign and what follows it, or ""
    std::string key;
  };
  bool Match(const Shape& shape, std::string_view text, Shaped* out) const;
  void Remember(std::string_view text, const Shaped& shaped);
  // Moves the slot at order_[i] to the front of order_.
  void Promote(std::size_t i);

  std::size_t capacity_;
  std::vector<Shape> shapes_;       // slots, never moved once filled
  std::vector<std::size_t> order_;  // slot numbers, most recently used first
  std::size_t hits_ = 0;
};

}  // namespace dialect
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_DIALECT_DIALECT_H_

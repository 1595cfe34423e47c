// Several rows of one prepared single-row INSERT sent as one statement.
// Inside a unit of work a record's leaf rows are the same INSERT ... VALUES
// (...) run again and again with new values; the connection holds their
// parameters and sends them as one multi-row INSERT, prepared for a few
// fixed row counts, the next time anything else goes out. Each per-row
// statement costs the server an executor start and a reading of the
// table's CHECK expressions, so fewer statements are less server work.
// Only texts whose row is plain (parameters, literals, operators, casts and
// a few functions that read no table) are held: a row that looks at a table
// would see the rows before it in its own statement otherwise not.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_ROW_BATCH_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_ROW_BATCH_H_

#include <string>

namespace metashelf {
namespace driver {
namespace postgresql {

// A single-row INSERT split around its row: `head` runs through the word
// VALUES, `row` is the parenthesised row with parameters $1..$params;
// `target` is the table's name as written, upper-cased.
struct RowShape {
  std::string head;
  std::string row;
  std::string target;
};

// Splits `text` (an adapted statement with `params` parameters) when it is
// an INSERT of one plain row with every parameter inside that row and
// nothing after it (no RETURNING, no ON CONFLICT). False otherwise: the
// text then always runs one row at a time.
bool SplitSingleRowInsert(const std::string& text, int params, RowShape* out);

// The INSERT of `rows` rows: row k's parameters are numbered from
// k * params + 1.
std::string MultiRowText(const RowShape& shape, int params, int rows);

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_ROW_BATCH_H_

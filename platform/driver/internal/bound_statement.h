// The part of a database statement that every real backend shares: the
// caller's parameter and column bindings with their checks, reading the
// bound parameter buffers, the rowset size, and writing result rows into the bound column buffers
// (one row, or column-wise rowset arrays whose element stride is the bound buffer length). A
// backend supplies how many parameters and columns its prepared text has and reads the cells of one
// result row.
#ifndef METASHELF_DRIVER_INTERNAL_BOUND_STATEMENT_H_
#define METASHELF_DRIVER_INTERNAL_BOUND_STATEMENT_H_

#include <cstdint>
#include <functional>
#include <map>
#include <string_view>

#include "internal/backend.h"
#include "internal/value.h"

namespace metashelf {
namespace driver {

class BoundStatement : public Statement {
 public:
  std::int16_t BindParameter(const ParamBinding& binding) override;
  std::int16_t BindCol(const ColBinding& binding) override;
  std::int16_t SetStmtOption(std::uint16_t option, std::uint32_t value) override;

  // One result row as the backend reads it.
  class Row {
   public:
    virtual ~Row() = default;
    // Columns the caller sees (a hidden trailing row identity excluded).
    virtual int Visible() const = 0;
    // Column `index` (0-based); IsNull serves locator columns, whose value
    // is never read.
    virtual Value Cell(int index) const = 0;
    virtual bool IsNull(int index) const = 0;
    // Column `index` as the text the backend holds, without a copy (good
    // until the row moves), when it is a text that is not NULL; false
    // leaves the cell to Cell.
    virtual bool TextCell(int /*index*/, std::string_view* /*text*/) const { return false; }
  };

 protected:
  // Caller parameters the prepared text takes; -1 while none is known.
  virtual int PreparedParams() const = 0;
  // Result columns the caller sees; -1 while none is known.
  virtual int PreparedColumns() const = 0;

  // The value of caller parameter `number`, read from its bound buffer now
  // (at execution, as ODBC does): NULL for an indicator of -1 or an empty
  // text (as in Oracle); an empty BLOB stays an empty BLOB. False with the
  // failure recorded when the parameter is unbound or its buffer cannot be
  // read as its type.
  bool CallerValue(int number, Value* out);

  // Writes `row` into element `element` of every bound column. Returns
  // GIS_SQL_SUCCESS, GIS_SQL_SUCCESS_WITH_INFO (a value was cut; 01004 is
  // recorded) or an error code with the failure recorded.
  std::int16_t StoreRow(const Row& row, std::uint32_t element);

  // Fills a rowset of up to the rowset size rows. `next(element)` stores
  // the next row into `element` and returns what StoreRow returns, or
  // GIS_SQL_NO_DATA when no row is left. `rowCount` counts the rows
  // stored so far; `rowStatus` marks them 0 and the rest 3 (no row).
  std::int16_t FillRowset(std::uint32_t* rowCount, std::uint16_t* rowStatus,
                          const std::function<std::int16_t(std::uint32_t)>& next);

  std::map<std::uint16_t, ParamBinding> params_;
  std::map<std::uint16_t, ColBinding> columns_;
  std::uint32_t rowsetSize_ = 1;
  bool rowsToBatchEnd_ = false;  // GIS_SQL_ROWS_TO_BATCH_END
};

}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_INTERNAL_BOUND_STATEMENT_H_

// Delivering result rows into the caller's bound columns: one row per
// gis_SQLFetch, a rowset of column-wise arrays per gis_SQLExtendedFetch.
// The whole result is held, so a row is read by its number.
#include "backends/postgresql/statement.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// One row of a held result.
class ResultRow : public BoundStatement::Row {
 public:
  ResultRow(const PGresult* result, int row, int format, int visible)
      : result_(result), row_(row), format_(format), visible_(visible) {}
  int Visible() const override { return visible_; }
  Value Cell(int index) const override { return DecodeCell(result_, row_, index, format_); }
  bool IsNull(int index) const override { return PQgetisnull(result_, row_, index) != 0; }

 private:
  const PGresult* result_;
  int row_;
  int format_;
  int visible_;
};

}  // namespace

std::int16_t PgStatement::DeliverRow(int row, std::uint32_t element) {
  const int visible = adapted_->forUpdate ? adapted_->visibleColumns : PQnfields(result_.get());
  return StoreRow(ResultRow(result_.get(), row, format_, visible), element);
}

std::int16_t PgStatement::Fetch() {
  if (deferred_) {
    if (!deferredFetched_) {
      // The held-back select's first row: a locator has nothing to
      // deliver, and the writes through it find the row themselves.
      deferredFetched_ = true;
      for (const auto& entry : columns_) {
        if (entry.second.indicator != nullptr) *entry.second.indicator = 0;
      }
      TakeDeferredLocator();
      return GIS_SQL_SUCCESS;
    }
    const std::int16_t rc = RunDeferred(1);
    if (rc < 0) return rc;
  }
  if (!result_) return Fail("24000", 1002, "no open cursor");
  locatorReady_ = false;
  if (next_ == skipRow_) ++next_;
  if (next_ >= PQntuples(result_.get())) return GIS_SQL_NO_DATA;
  const int row = next_++;
  const std::int16_t rc = DeliverRow(row, 0);
  if (rc < 0) return rc;
  if (adapted_->forUpdate) TakeLocator(row);
  return rc;
}

std::int16_t PgStatement::ExtendedFetch(std::uint16_t orientation, std::int32_t /*offset*/,
                                        std::uint32_t* rowCount, std::uint16_t* rowStatus) {
  if (orientation != GIS_SQL_FETCH_NEXT) {
    return Fail("HYC00", 0, "only forward block fetches are supported");
  }
  if (deferred_) {
    const std::int16_t rc = RunDeferred(deferredFetched_ ? 1 : 0);
    if (rc < 0) return rc;
  }
  if (!result_) return Fail("24000", 1002, "no open cursor");
  locatorReady_ = false;
  const int total = PQntuples(result_.get());
  return FillRowset(rowCount, rowStatus, [this, total](std::uint32_t element) -> std::int16_t {
    if (next_ == skipRow_) ++next_;
    if (next_ >= total) return GIS_SQL_NO_DATA;
    const std::int16_t rc = DeliverRow(next_, element);
    if (rc >= 0) ++next_;
    return rc;
  });
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

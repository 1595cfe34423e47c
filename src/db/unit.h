// One library operation that writes, as one unit of work on its connection
// (gis_SQLBeginUnit / gis_SQLEndUnit): everything it wrote is kept only
// when the whole operation succeeded, inside a host transaction or not.
//
//   metashelf::db::Unit unit(hdbc);
//   if (!unit.ok()) return 0;
//   ... statements; return 0 on any failure (the unit is undone) ...
//   return unit.Commit() ? id : 0;
#ifndef METASHELF_SRC_DB_UNIT_H_
#define METASHELF_SRC_DB_UNIT_H_

#include "metashelf/driver.h"

namespace metashelf {
namespace db {

class Unit {
 public:
  explicit Unit(gis_SQLHDBC_STRU* hdbc)
      : hdbc_(hdbc), open_(gis_SQLBeginUnit(hdbc) == GIS_SQL_SUCCESS) {}
  // A unit that was not committed is undone.
  ~Unit() {
    if (open_) gis_SQLEndUnit(hdbc_, 0);
  }
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  // Whether the unit began; an operation that cannot begin one writes
  // nothing.
  bool ok() const { return open_; }
  // Keeps the unit's work. False when it could not be kept: it is then
  // undone, and the operation reports failure.
  bool Commit() {
    if (!open_) return false;
    open_ = false;
    return gis_SQLEndUnit(hdbc_, 1) == GIS_SQL_SUCCESS;
  }

 private:
  gis_SQLHDBC_STRU* hdbc_;
  bool open_;
};

}  // namespace db
}  // namespace metashelf

#endif  // METASHELF_SRC_DB_UNIT_H_

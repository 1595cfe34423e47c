// Units of work: the gis_SQLBeginUnit / gis_SQLBeginBatch / gis_SQLEndUnit
// entry points (with their fault injection) and the connection's default
// unit stack, which every backend runs over its own transaction and
// savepoint statements. Units inside a batch are only counted: the batch
// keeps or undoes their work with its own, so they cost nothing. Also the
// count of failures, by which a caller tells that a unit of its own failed.
#include <string>

#include "internal/backend.h"
#include "metashelf/base/guard.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace {

std::string SavepointName(std::size_t depth) {
  return "ms_unit_" + std::to_string(depth);
}

}  // namespace

std::int16_t Connection::BeginUnit(bool batch, Diagnostic* error) {
  if (!units_.empty() && (units_.back().batch || units_.back().kind == UnitKind::kFree)) {
    // Inside a batch: the batch's end keeps or undoes this unit's work with
    // its own, so there is nothing to run. A batch that can only be undone
    // takes no more work.
    if (batchFailed_) {
      *error = Diagnostic{"25000", 0,
                          "a unit of work of this batch failed: the batch can only be undone"};
      return GIS_SQL_ERROR;
    }
    units_.push_back(OpenUnit{UnitKind::kFree, false});
    return GIS_SQL_SUCCESS;
  }
  NoteShapeChange();
  const bool begins = units_.empty() && !TransactionOpen();
  const bool ran = begins
                       ? RunUnitStep(UnitStep::kBegin, std::string(), error)
                       : RunUnitStep(UnitStep::kSavepoint, SavepointName(units_.size() + 1), error);
  if (!ran) return GIS_SQL_ERROR;
  units_.push_back(OpenUnit{begins ? UnitKind::kTransaction : UnitKind::kSavepoint, batch});
  if (batch) batchFailed_ = false;
  return GIS_SQL_SUCCESS;
}

std::int16_t Connection::EndUnit(bool commit, Diagnostic* error) {
  if (units_.empty()) {
    *error = Diagnostic{"HY010", 0, "no unit of work is open"};
    return GIS_SQL_ERROR;
  }
  const OpenUnit unit = units_.back();
  const std::string name = SavepointName(units_.size());
  units_.pop_back();
  // Only a free unit that is kept leaves what was learnt of the tables as
  // it was: any other end may commit or undo a change of them.
  if (unit.kind != UnitKind::kFree || !commit) NoteShapeChange();
  if (unit.kind == UnitKind::kFree) {
    // Its work stays in the batch; undone, it takes the batch with it.
    if (commit && !batchFailed_) return GIS_SQL_SUCCESS;
    batchFailed_ = true;
    if (!commit) return GIS_SQL_SUCCESS;
    *error =
        Diagnostic{"25000", 0, "a unit of work of this batch failed: the batch can only be undone"};
    return GIS_SQL_ERROR;
  }
  if (unit.batch && batchFailed_) {
    batchFailed_ = false;
    Undo(unit, name);
    if (!commit) return GIS_SQL_SUCCESS;
    *error = Diagnostic{"25000", 0, "a unit of work of this batch failed: the batch was undone"};
    return GIS_SQL_ERROR;
  }
  if (commit) {
    if (RunUnitStep(unit.kind == UnitKind::kTransaction ? UnitStep::kCommit : UnitStep::kRelease,
                    name, error)) {
      return GIS_SQL_SUCCESS;
    }
  }
  Undo(unit, name);
  return commit ? GIS_SQL_ERROR : GIS_SQL_SUCCESS;
}

void Connection::Undo(const OpenUnit& unit, const std::string& name) {
  // A failure here is not reported over the reason that led to it: a
  // backend that already undid the transaction itself (SQLite on a full
  // disk, say) has nothing left to roll back.
  Diagnostic ignored;
  if (unit.kind == UnitKind::kTransaction) {
    if (TransactionOpen()) RunUnitStep(UnitStep::kRollback, std::string(), &ignored);
  } else if (RunUnitStep(UnitStep::kRollbackTo, name, &ignored)) {
    RunUnitStep(UnitStep::kRelease, name, &ignored);
  }
}

}  // namespace driver
}  // namespace metashelf

using metashelf::driver::Call;
using metashelf::driver::Connection;
using metashelf::driver::Diagnostic;

namespace {

std::int16_t BeginUnit(gis_SQLHDBC_STRU* hdbc, bool batch) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    if (hdbc == nullptr || hdbc->connection == nullptr) return GIS_SQL_INVALID_HANDLE;
    Connection& connection = *hdbc->connection;
    std::int16_t code = GIS_SQL_ERROR;
    if (connection.faults().Check(Call::kBeginUnit, &code)) {
      connection.OnInjected(Call::kBeginUnit, code);
      connection.NoteFailure(Diagnostic{"HYT99", -9999, "injected fault in gis_SQLBeginUnit"});
      return code;
    }
    Diagnostic error;
    const std::int16_t rc = connection.BeginUnit(batch, &error);
    if (rc < 0) connection.NoteFailure(error);
    return rc;
  });
}

}  // namespace

extern "C" {

std::int16_t gis_SQLBeginUnit(gis_SQLHDBC_STRU* hdbc) {
  return BeginUnit(hdbc, false);
}

std::int16_t gis_SQLBeginBatch(gis_SQLHDBC_STRU* hdbc) {
  return BeginUnit(hdbc, true);
}

std::uint64_t gis_SQLShapeSerial(gis_SQLHDBC_STRU* hdbc) {
  if (hdbc == nullptr || hdbc->connection == nullptr) return 0;
  return hdbc->connection->ShapeSerial();
}

std::uint64_t gis_SQLFailureCount(gis_SQLHDBC_STRU* hdbc) {
  if (hdbc == nullptr || hdbc->connection == nullptr) return 0;
  return hdbc->connection->failures();
}

std::int16_t gis_SQLEndUnit(gis_SQLHDBC_STRU* hdbc, std::int16_t commit) {
  return metashelf::base::Guard<std::int16_t>(GIS_SQL_ERROR, [&]() -> std::int16_t {
    if (hdbc == nullptr || hdbc->connection == nullptr) return GIS_SQL_INVALID_HANDLE;
    Connection& connection = *hdbc->connection;
    std::int16_t code = GIS_SQL_ERROR;
    Diagnostic error;
    if (connection.OpenUnits() > 0 && connection.faults().Check(Call::kEndUnit, &code)) {
      // A commit that fails: the unit is undone all the same.
      connection.OnInjected(Call::kEndUnit, code);
      connection.EndUnit(false, &error);
      connection.NoteFailure(Diagnostic{"HYT99", -9999, "injected fault in gis_SQLEndUnit"});
      return code;
    }
    const std::int16_t rc = connection.EndUnit(commit != 0, &error);
    if (rc < 0) connection.NoteFailure(error);
    return rc;
  });
}

}  // extern "C"

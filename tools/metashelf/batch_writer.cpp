// Writing an import's batches on one connection, with the retry record by
// record of a batch that failed.
#include "batch_writer.h"

#include <filesystem>

#include "metashelf/record_add.h"

namespace metashelf::cli {
namespace {

// True when a failure is the disk (or the database's space) running out:
// nothing more can be stored, so the import stops there.
bool DiskFull(const std::string& message, const CHostDataBase::StatementError& failed,
              std::uint64_t failuresBefore) {
  if (failed.number != failuresBefore &&
      failed.native == 1653 /* ORA-01653: no room to extend, on every backend */) {
    return true;
  }
  return message.find("disk is full") != std::string::npos ||
         message.find("No space left") != std::string::npos ||
         message.find("could not extend file") != std::string::npos;
}

}  // namespace

void BatchWriter::Write(ImportBatch& batch) {
  if (batch.empty() || results_.stopped()) {
    batch.clear();
    return;
  }
  if (batch.size() > 1 && StoreBatch(batch)) {
    for (const ImportRecord& r : batch) results_.Stored(r);
  } else {
    for (ImportRecord& r : batch) {
      if (results_.stopped()) break;
      StoreOne(r);
    }
  }
  batch.clear();
}

std::int64_t BatchWriter::Add(ImportRecord& r) {
  if (options_.remarks) {
    // The file name is kept as the record's remark, registered with the
    // record (one write, one wait on PostgreSQL). A record is stored
    // whether or not the remark could be set: when the add with the
    // remark fails, the record is added again and the remark set after.
    std::string remark = std::filesystem::path(r.file).filename().string();
    const std::int64_t id = MsAddMetaData(&collection_.set(), r.record.get(), remark.c_str());
    if (id > 0) return id;
  }
  const std::int64_t id = collection_.set().AddMetaData(r.record.get());
  if (id <= 0) return 0;
  if (options_.remarks) {
    std::string remark = std::filesystem::path(r.file).filename().string();
    collection_.session().catalog().meta_UpdateRemark(id, remark.data());
  }
  return id;
}

// A failure anywhere undoes the batch, which Write retries record by
// record. A failed batch, full disk or not, is retried so: smaller
// transactions may still fit, and the first record that does not stops the
// import.
bool BatchWriter::StoreBatch(ImportBatch& batch) {
  gis_SQLHDBC_STRU* hdbc = collection_.session().db().HDBC();
  if (gis_SQLBeginBatch(hdbc) != GIS_SQL_SUCCESS) return false;
  for (ImportRecord& r : batch) {
    if (Add(r) <= 0) {
      gis_SQLEndUnit(hdbc, 0);
      return false;
    }
  }
  return gis_SQLEndUnit(hdbc, 1) == GIS_SQL_SUCCESS;
}

bool BatchWriter::StopWhenFull(const std::string& message, std::uint64_t failuresBefore) {
  const CHostDataBase::StatementError failed = collection_.session().db().LastStatementError();
  if (!DiskFull(message, failed, failuresBefore)) return false;
  results_.StopFull(failed.number != failuresBefore && !failed.message.empty() ? failed.message
                                                                               : message);
  return true;
}

void BatchWriter::StoreOne(ImportRecord& r) {
  CHostDataBase& db = collection_.session().db();
  try {
    Transaction tx(db);
    const std::uint64_t failuresBefore = db.LastStatementError().number;
    if (Add(r) <= 0) {
      // The database's reason when a statement of this record failed.
      const CHostDataBase::StatementError failed = db.LastStatementError();
      const std::string detail = failed.number != failuresBefore ? failed.message : db.LastError();
      tx.Rollback();
      // A full disk is not the record's fault: said once, in the summary.
      if (StopWhenFull(detail, failuresBefore)) return;
      results_.Reject(
          r.order, r.file,
          "the collection refused the record" + (detail.empty() ? std::string() : ": " + detail));
      return;
    }
    tx.Commit();
    results_.Stored(r);
  } catch (const ToolError& e) {
    if (!StopWhenFull(e.what(), db.LastStatementError().number)) {
      results_.Reject(r.order, r.file, e.what());
    }
  }
}

}  // namespace metashelf::cli

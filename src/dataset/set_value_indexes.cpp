// COraMetaDataSet: dropping and restoring the collection's value indexes
// around a large import. A restore tells an index that is there from one
// that could not be made by the driver's native code 955 (the name is
// taken), so it needs no catalog query of its own and is safe to repeat.
#include <string>

#include "dataset/mds_context.h"
#include "dataset/no_throw.h"
#include "dataset/set_tables.h"
#include "db/statement.h"
#include "metashelf/ora_metadataset.h"

namespace {

constexpr std::int32_t kNameTaken = 955;

// The native code of `stmt`'s last failure (the diagnostic is drained).
std::int32_t NativeErrorOf(gis_SQLHSTMT stmt) {
  char state[6] = {};
  std::int32_t native = 0;
  char message[256] = {};
  std::int16_t length = 0;
  gis_SQLError(nullptr, nullptr, stmt, state, &native, message, sizeof message, &length);
  return native;
}

}  // namespace

std::int32_t COraMetaDataSet::DropValueIndexes() {
  if (ctx_ == nullptr || ctx_->opened == 0) return 0;
  return metashelf::dataset::NoThrow<std::int32_t>(0, [&]() -> std::int32_t {
    metashelf::db::Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    std::int32_t result = 1;
    for (const std::string& text :
         metashelf::dataset::DropValueIndexStatements(ctx_->owner, ctx_->mdsID)) {
      if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) {
        stmt.DrainError();
        result = 0;
      }
    }
    return result;
  });
}

std::int32_t COraMetaDataSet::RestoreValueIndexes(std::int32_t* created) {
  if (created != nullptr) *created = 0;
  if (ctx_ == nullptr || ctx_->opened == 0) return 0;
  return metashelf::dataset::NoThrow<std::int32_t>(0, [&]() -> std::int32_t {
    metashelf::db::Statement stmt(ctx_->hdbc);
    if (!stmt.ok()) return 0;
    std::int32_t result = 1;
    for (const std::string& text :
         metashelf::dataset::CreateValueIndexStatements(ctx_->owner, ctx_->mdsID)) {
      if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS) {
        if (created != nullptr) ++*created;
      } else if (NativeErrorOf(stmt.get()) != kNameTaken) {
        result = 0;
      }
    }
    return result;
  });
}

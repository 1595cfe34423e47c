// COraMetaDataSet: dropping and restoring the collection's value indexes
// around a large import. A restore tells an index that is there from one
// that could not be made by the driver's native code 955 (the name is
// taken), so it needs no catalog query of its own and is safe to repeat.
#include <string>
#include <vector>

#include "dataset/mds_context.h"
#include "dataset/set_tables.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
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

// Runs every text on one statement of `ctx`'s connection, each whatever
// became of the ones before: 1 when each ran or failed only with native
// code `tolerated` (0: none is), 0 otherwise. `ran` counts those that ran.
std::int32_t RunEach(const MdsContext* ctx, const std::vector<std::string>& texts,
                     std::int32_t tolerated, std::int32_t* ran) {
  metashelf::db::Statement stmt(ctx->hdbc);
  if (!stmt.ok()) return 0;
  std::int32_t result = 1;
  for (const std::string& text : texts) {
    if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS) {
      if (ran != nullptr) ++*ran;
    } else if (const std::int32_t native = NativeErrorOf(stmt.get());
               tolerated == 0 || native != tolerated) {
      result = 0;
    }
  }
  return result;
}

}  // namespace

std::int32_t COraMetaDataSet::DropValueIndexes() {
  if (ctx_ == nullptr || ctx_->opened == 0) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    return RunEach(ctx_, metashelf::dataset::DropValueIndexStatements(ctx_->owner, ctx_->mdsID), 0,
                   nullptr);
  });
}

std::int32_t COraMetaDataSet::RestoreValueIndexes(std::int32_t* created) {
  if (created != nullptr) *created = 0;
  if (ctx_ == nullptr || ctx_->opened == 0) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&] {
    return RunEach(ctx_, metashelf::dataset::CreateValueIndexStatements(ctx_->owner, ctx_->mdsID),
                   kNameTaken, created);
  });
}

// Dropping and restoring a collection's value indexes around a large
// import, as COraMetaDataSet members and as the exported functions a host
// calls with any set, and the backend's policy for it. A restore tells an
// index that is there from one that could not be made by the driver's
// native code 955 (the name is taken), so it needs no catalog query of its
// own and is safe to repeat.
#include <cstring>
#include <string>
#include <vector>

#include "catalog/catalog_access.h"
#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "dataset/set_tables.h"
#include "db/statement.h"
#include "metashelf/base/guard.h"
#include "metashelf/host.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/value_indexes.h"

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

// The policy of the backend `ctx`'s catalog is stored on. On SQLite an
// index built once over the rows costs far less than inserting into it row
// by row (10,000 records into an empty collection: 8 s instead of 14), and
// 1,000 records is where the gain outweighs two schema changes; a restore
// of indexes that are all there is three quick refusals. On PostgreSQL,
// with a record's value rows sent several to a statement, the build after
// the rows gained nothing at 2,000 records (326 and 251 records/s in place
// against 303 and 260 after, two runs), 7 to 30% at 10,000 (three runs) and
// 3.7 times at 33,000 (176 against 643 records/s), where keeping the
// (NODEGUID, NODEVALUE) indexes row by row is most of the server's work: so
// from 10,000. Restoring first costs three refused CREATE INDEX (a round
// trip and a log line each) per such import, and brings back indexes an
// import that was killed left dropped.
MsValueIndexPolicy PolicyOf(const MdsContext* ctx) {
  MsValueIndexPolicy policy;
  auto* mdb = dynamic_cast<COraMetaDataBase*>(ctx->mdb);
  if (mdb == nullptr) return policy;
  auto* host = dynamic_cast<CHostDataBase*>(CatalogAccess::Context(*mdb).database);
  if (host != nullptr && std::strcmp(host->Backend(), "sqlite") == 0) {
    policy.buildAfterFrom = 1000;
    policy.restoreBeforeImport = true;
  } else if (host != nullptr && std::strcmp(host->Backend(), "postgresql") == 0) {
    policy.buildAfterFrom = 10000;
    policy.restoreBeforeImport = true;
  }
  return policy;
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

std::int32_t MsGetValueIndexPolicy(CMetaDataSet_abs* set, MsValueIndexPolicy* policy) {
  if (policy == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    COraMetaDataSet* ora = DataSetAccess::Opened(set);
    if (ora == nullptr) return 0;
    *policy = PolicyOf(DataSetAccess::Context(*ora));
    return 1;
  });
}

std::int32_t MsDropValueIndexes(CMetaDataSet_abs* set) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    COraMetaDataSet* ora = DataSetAccess::Opened(set);
    return ora == nullptr ? 0 : ora->DropValueIndexes();
  });
}

std::int32_t MsRestoreValueIndexes(CMetaDataSet_abs* set, std::int32_t* created) {
  if (created != nullptr) *created = 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    COraMetaDataSet* ora = DataSetAccess::Opened(set);
    return ora == nullptr ? 0 : ora->RestoreValueIndexes(created);
  });
}

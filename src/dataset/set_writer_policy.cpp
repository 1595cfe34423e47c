// The backend's policy for writing a collection through several
// connections at once (MsGetWriterPolicy).
#include <cstring>

#include "catalog/catalog_access.h"
#include "dataset/mds_context.h"
#include "dataset/set_access.h"
#include "metashelf/base/guard.h"
#include "metashelf/host.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "metashelf/writer_policy.h"

namespace {

// SQLite takes one writing transaction at a time (another waits on its busy
// timeout), so one writer is all it has. On PostgreSQL one import's server
// process was the bottleneck (about 90% of a core at 780 records/s over
// 100,000 records, the tool a third of the other core), while four imports
// at once wrote 1,121 records/s together: two writers use the second core.
MsWriterPolicy PolicyOf(const MdsContext* ctx) {
  MsWriterPolicy policy;
  auto* mdb = dynamic_cast<COraMetaDataBase*>(ctx->mdb);
  if (mdb == nullptr) return policy;
  auto* host = dynamic_cast<CHostDataBase*>(CatalogAccess::Context(*mdb).database);
  if (host != nullptr && std::strcmp(host->Backend(), "postgresql") == 0) {
    policy.writers = 2;
    policy.maxWriters = 0;
  }
  return policy;
}

}  // namespace

std::int32_t MsGetWriterPolicy(CMetaDataSet_abs* set, MsWriterPolicy* policy) {
  if (policy == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    COraMetaDataSet* ora = DataSetAccess::Opened(set);
    if (ora == nullptr) return 0;
    *policy = PolicyOf(DataSetAccess::Context(*ora));
    return 1;
  });
}

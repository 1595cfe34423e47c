// Entering and leaving the state in which writes keep the search indexes'
// rows while their indexes wait.
#include "search/deferred_indexes.h"

#include <memory>

#include "dataset/mds_context.h"
#include "db/unit.h"
#include "metashelf/host.h"
#include "metashelf/ora_metadatabase.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

using Writers = SearchIndex::Writers;

// In the open unit: joins the state, or enters it where it may be entered.
bool Enter(SearchIndex* index, MdsContext* ctx, bool* deferred) {
  if (!RunAll(ctx->hdbc, {index->WritersText(Writers::kSerialize)})) return false;
  if (index->Present() && index->RowsOnly()) {
    *deferred = true;
    return true;
  }
  if (index->Ready()) {
    *deferred = index->DeferIndexes();
    return *deferred;
  }
  std::int32_t records = 0;
  if (ctx->mdb->meta_GetNum(ctx->mdsID, &records) != 1) return false;
  if (records > 0) return true;
  // Nothing is kept of an empty collection's tables (an earlier layout's,
  // or what an interrupted build left).
  *deferred = index->Drop() && index->Create() && index->DeferIndexes();
  return *deferred;
}

// Runs a statement of the writers' count when it goes out of scope.
struct WritersStep {
  gis_SQLHDBC_STRU* hdbc;
  std::string text;
  ~WritersStep() {
    if (!text.empty()) RunAll(hdbc, {text});
  }
  WritersStep(const WritersStep&) = delete;
  WritersStep& operator=(const WritersStep&) = delete;
};

}  // namespace

bool DeferSearchIndexes(MdsContext* ctx, bool* deferred) {
  *deferred = false;
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index || !index->DefersIndexes()) return true;
  // Joined before it looks: a last writer making the indexes is waited
  // for, and one that ends later sees this one and leaves the end to it.
  if (!RunAll(ctx->hdbc, {index->WritersText(Writers::kJoin)})) return false;
  WritersStep leave{ctx->hdbc, index->WritersText(Writers::kLeave)};
  bool entered = false;
  db::Unit unit(ctx->hdbc);
  if (!unit.ok() || !Enter(index.get(), ctx, &entered) || !unit.Commit()) return false;
  if (entered) leave.text.clear();
  *deferred = entered;
  return true;
}

bool EndDeferredIndexes(COraMetaDataSet* set, MdsContext* ctx, bool* ready,
                        const std::function<bool()>& mayShare) {
  *ready = false;
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index) return true;
  if (!index->DefersIndexes()) {
    *ready = index->Ready();
    return true;
  }
  gis_SQLHDBC_STRU* hdbc = ctx->hdbc;
  std::int64_t last = 0;
  if (!RunAll(hdbc, {index->WritersText(Writers::kLeave)}) ||
      !QueryInt(hdbc, index->WritersText(Writers::kLast), &last)) {
    return false;
  }
  // Another writer still in the state makes the indexes when it ends.
  if (last == 0) return true;
  const WritersStep release{hdbc, index->WritersText(Writers::kRelease)};
  bool ending = false;
  std::int64_t uncovered = 0;
  {
    db::Unit unit(hdbc);
    if (!unit.ok() || !RunAll(hdbc, {index->WritersText(Writers::kSerialize)})) return false;
    if (index->Present() && index->RowsOnly()) {
      ending = true;
      if (!index->UndeferIndexes() || !QueryInt(hdbc, index->UncoveredQuery(), &uncovered)) {
        return false;
      }
    }
    if (!unit.Commit()) return false;
  }
  // Ended already: a build (a search's) made the tables anew meanwhile.
  if (!ending) {
    *ready = index->Ready();
    return true;
  }
  if (uncovered != 0) {
    *ready = BuildSearchIndexes(set, ctx, nullptr);
    return *ready;
  }
  // Inside a caller's transaction the second connection would wait for
  // what the end's unit holds until that transaction ends.
  std::unique_ptr<CHostDataBase> second;
  if (!index->WritesPending()) second = index->OpenReading(HostOf(ctx));
  *ready = MakeIndexes(index.get(), hdbc, second.get(), mayShare);
  return *ready;
}

}  // namespace search
}  // namespace metashelf

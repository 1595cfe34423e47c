// COraMetaDataSet: construction and destruction, creating and removing a
// collection with its five tables, and binding the set to a collection
// (Open loads the collection's schema from the catalog's documents).
// Creating and removing are each one unit of work: all of it or nothing.
#include <cstring>
#include <memory>
#include <new>

#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "dataset/set_tables.h"
#include "db/deadlock_retry.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/blob_data.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "search/search_index.h"

COraMetaDataSet::COraMetaDataSet() : ctx_(new (std::nothrow) MdsContext()) {}

COraMetaDataSet::~COraMetaDataSet() {
  if (ctx_ == nullptr) return;
  if (ctx_->opened != 0) Close();
  delete ctx_->schema;
  delete ctx_->oper;
  delete ctx_;
}

namespace {

// A catalog of this library with the connection and owner its collections'
// tables are made and dropped on; `mdb` is null for another library's.
struct CatalogLink {
  explicit CatalogLink(CMetaDataBase_abs* catalog) : mdb(dynamic_cast<COraMetaDataBase*>(catalog)) {
    if (mdb != nullptr) mdb->GetOraBaseInfo(hdbc, owner);
  }
  COraMetaDataBase* mdb;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[kOwnerSize] = {};
};

}  // namespace

std::int32_t COraMetaDataSet::Create(CMetaDataBase_abs* catalog, std::int32_t schemaID,
                                     const char* name, const char* remark) {
  const CatalogLink link(catalog);
  if (link.mdb == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    // Another host creating a collection at the same moment may make this
    // one a deadlock's victim: it is then done again.
    return metashelf::db::RetryingDeadlocks(
        link.hdbc,
        [&]() -> std::int32_t {
          metashelf::db::Unit unit(link.hdbc);
          if (!unit.ok()) return 0;
          const std::int32_t colID = link.mdb->mds_Add(schemaID, name, remark);
          if (colID < 1) return 0;
          {
            metashelf::db::Statement stmt(link.hdbc);
            if (!stmt.ok()) return 0;
            // A collection is registered only with every table and index made.
            for (const std::string& text :
                 metashelf::dataset::CreateSetStatements(link.owner, colID)) {
              if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) {
                return 0;
              }
            }
          }
          return unit.Commit() ? colID : 0;
        },
        [](std::int32_t id) { return id > 0; });
  });
}

namespace {

// Whether the last failure of `stmt` says that the object it named does
// not exist (Oracle's ORA-00942, state 42S02).
bool NamedObjectMissing(gis_SQLHSTMT stmt) {
  char state[6] = {};
  std::int32_t native = 0;
  char message[256] = {};
  std::int16_t length = 0;
  if (gis_SQLError(nullptr, nullptr, stmt, state, &native, message, 256, &length) !=
      GIS_SQL_SUCCESS) {
    return false;
  }
  return native == 942 || std::strcmp(state, "42S02") == 0;
}

}  // namespace

std::int32_t COraMetaDataSet::Remove(CMetaDataBase_abs* catalog, std::int32_t colID) {
  const CatalogLink link(catalog);
  if (link.mdb == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    metashelf::db::Unit unit(link.hdbc);
    if (!unit.ok()) return 0;
    metashelf::search::DropSearchIndexes(catalog, colID);
    {
      metashelf::db::Statement stmt(link.hdbc);
      if (!stmt.ok()) return 0;
      // A table that is not there (a collection made before creation was
      // all-or-nothing may lack some) has nothing to drop; any other
      // failure undoes the whole removal. Each statement is a unit of its
      // own, so that a missing table does not end the transaction on
      // backends where a failed statement would.
      for (const std::string& text : metashelf::dataset::RemoveSetStatements(link.owner, colID)) {
        metashelf::db::Unit step(link.hdbc);
        if (!step.ok()) return 0;
        if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS) {
          if (!step.Commit()) return 0;
        } else if (!NamedObjectMissing(stmt.get())) {
          return 0;
        }
      }
    }
    // mds_Del reports success as 0 (1 with information), failure as -1.
    const std::int32_t deleted = link.mdb->mds_Del(colID);
    if (deleted != 0 && deleted != 1) return 0;
    return unit.Commit() ? 1 : 0;
  });
}

namespace {

// Reads one schema document into a NUL-terminated text of its length plus
// `pad` zero bytes. False when the catalog has no such document.
bool LoadDocument(std::int32_t (CMetaDataBase_abs::*get)(std::int32_t, CBlobData*),
                  CMetaDataBase_abs* mdb, std::int32_t schemaID, int pad, std::string* text) {
  CBlobData blob;
  (mdb->*get)(schemaID, &blob);
  const std::int32_t length = blob.GetDataLength();
  if (length < 1) return false;
  text->assign(static_cast<std::size_t>(length) + pad, '\0');
  blob.GetData(&(*text)[0], 0, length);
  return true;
}

}  // namespace

std::int32_t COraMetaDataSet::Open(CMetaDataBase_abs* catalog, std::int32_t colID) {
  if (ctx_ == nullptr) return 0;
  // What an earlier Open left behind is released, never leaked.
  Close();
  ctx_->mdb = catalog;
  ctx_->mdsID = colID;
  auto* mdb = dynamic_cast<COraMetaDataBase*>(catalog);
  if (mdb == nullptr) return 0;
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    ctx_->schema = new (std::nothrow) CSchema();
    mdb->GetOraBaseInfo(ctx_->hdbc, ctx_->owner);
    if (ctx_->schema == nullptr) return 0;
    X_CLS_MDS info{};
    catalog->mds_GetInfo(colID, &info);
    ctx_->schema->SetSchemaID(info.schemaID);

    std::string text;
    if (!LoadDocument(&CMetaDataBase_abs::GetNodeInfo, catalog, info.schemaID, 3, &text)) return 0;
    ctx_->schema->SetNodeStructList(text.c_str());
    if (!LoadDocument(&CMetaDataBase_abs::GetSchemaDoc, catalog, info.schemaID, 1, &text)) return 0;
    ctx_->schema->SetSchemaDoc(text.c_str());
    if (!LoadDocument(&CMetaDataBase_abs::GetN2EMAP, catalog, info.schemaID, 1, &text)) return 0;
    ctx_->schema->SetN2EMAPList(text.c_str());

    ctx_->oper = new (std::nothrow) COraMetaSetOper(ctx_->owner, ctx_->hdbc, ctx_->schema);
    if (ctx_->oper == nullptr) return 0;
    ctx_->opened = 1;
    return 1;
  });
}

std::int32_t COraMetaDataSet::Close() {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_ == nullptr) return 0;
    // What was learnt of the search indexes belongs to this collection.
    ctx_->searchWrites.reset();
    ctx_->searchIndexSerial = 0;
    delete ctx_->oper;
    ctx_->oper = nullptr;
    delete ctx_->schema;
    ctx_->schema = nullptr;
    ctx_->opened = 0;
    return 1;
  });
}

int COraMetaDataSet::HasOpened() {
  return metashelf::base::Guard<int>(0,
                                     [&]() -> int { return ctx_ != nullptr ? ctx_->opened : 0; });
}

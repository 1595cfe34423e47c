// COraMetaDataSet: construction and destruction, creating and removing a
// collection with its five tables, and binding the set to a collection
// (Open loads the collection's schema from the catalog's documents).
#include <cstring>
#include <memory>
#include <new>

#include "dataset/mds_context.h"
#include "dataset/meta_set_oper.h"
#include "dataset/no_throw.h"
#include "dataset/set_tables.h"
#include "db/statement.h"
#include "metashelf/blob_data.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"

using metashelf::dataset::NoThrow;

COraMetaDataSet::COraMetaDataSet() : ctx_(new (std::nothrow) MdsContext()) {}

COraMetaDataSet::~COraMetaDataSet() {
  if (ctx_ == nullptr) return;
  if (ctx_->opened != 0) Close();
  delete ctx_->schema;
  delete ctx_->oper;
  delete ctx_;
}

std::int32_t COraMetaDataSet::Create(CMetaDataBase_abs* catalog, std::int32_t schemaID,
                                     const char* name, const char* remark) {
  auto* mdb = dynamic_cast<COraMetaDataBase*>(catalog);
  if (mdb == nullptr) return 0;
  return NoThrow<std::int32_t>(0, [&]() -> std::int32_t {
    gis_SQLHDBC_STRU* hdbc = nullptr;
    char owner[kOwnerSize] = {};
    mdb->GetOraBaseInfo(hdbc, owner);
    const std::int32_t colID = mdb->mds_Add(schemaID, name, remark);
    if (colID < 1) return 0;
    metashelf::db::Statement stmt(hdbc);
    if (!stmt.ok()) return 0;
    // The first statement that fails ends the sequence; the collection stays
    // registered with the tables made so far.
    for (const std::string& text : metashelf::dataset::CreateSetStatements(owner, colID)) {
      if (gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) != GIS_SQL_SUCCESS) break;
    }
    return colID;
  });
}

std::int32_t COraMetaDataSet::Remove(CMetaDataBase_abs* catalog, std::int32_t colID) {
  auto* mdb = dynamic_cast<COraMetaDataBase*>(catalog);
  if (mdb == nullptr) return 0;
  return NoThrow<std::int32_t>(0, [&]() -> std::int32_t {
    gis_SQLHDBC_STRU* hdbc = nullptr;
    char owner[kOwnerSize] = {};
    mdb->GetOraBaseInfo(hdbc, owner);
    {
      metashelf::db::Statement stmt(hdbc);
      if (!stmt.ok()) return 0;
      // Tables that were never made fail to drop; the registrations go all
      // the same.
      for (const std::string& text : metashelf::dataset::RemoveSetStatements(owner, colID)) {
        gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS);
      }
    }
    return mdb->mds_Del(colID) == 0 ? 1 : 0;
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
  return NoThrow<std::int32_t>(0, [&]() -> std::int32_t {
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
  if (ctx_ == nullptr) return 0;
  delete ctx_->oper;
  ctx_->oper = nullptr;
  delete ctx_->schema;
  ctx_->schema = nullptr;
  ctx_->opened = 0;
  return 1;
}

int COraMetaDataSet::HasOpened() {
  return ctx_ != nullptr ? ctx_->opened : 0;
}

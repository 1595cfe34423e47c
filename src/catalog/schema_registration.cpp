// Schema registration: a schema text parsed by the metadata model library
// (node identifiers drawn in blocks through the identifier callback),
// recorded with KRPG_MD.schema_Add, and its documents stored, together with
// the default node-to-element map that every new schema receives. The
// registration and its four documents are one unit of work: a schema is
// registered with every document stored, or not at all.
#include <string>
#include <vector>

#include "catalog/catalog_access.h"
#include "catalog/catalog_binding.h"
#include "db/deadlock_retry.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "metashelf/blob_data.h"
#include "metashelf/host_database.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"

using metashelf::catalog::BindInt;
using metashelf::catalog::BindText;
using metashelf::catalog::Prefix;
using metashelf::db::Statement;
using metashelf::db::Succeeded;

namespace {

// The node-to-element map of a schema that has none yet.
constexpr char kDefaultN2EMap[] = "<?xml version='1.0' encoding='gbk'?> <N2EMAP />";

// The parser's identifier callback: `context` is the catalog that was given
// to the CSchemaRegister.
void DrawNodeIds(int count, std::vector<std::int64_t>& ids, void* context) {
  static_cast<COraMetaDataBase*>(context)->OraGenGuid(count, ids);
}

// Stores `text` (its bytes, no terminator) with one of the document stores;
// true when the store succeeded.
bool StoreText(COraMetaDataBase& catalog,
               std::int32_t (COraMetaDataBase::*store)(std::int32_t, CBlobData*),
               std::int32_t schemaID, const std::string& text) {
  CBlobData blob;
  blob.PutData(text.data(), static_cast<std::int32_t>(text.size()));
  return (catalog.*store)(schemaID, &blob) == 1;
}

}  // namespace

std::int32_t COraMetaDataBase::schema_Add(const char* name, const char* schemaText,
                                          const char* remark) {
  return metashelf::base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
    if (ctx_->opened == 0 || name == nullptr || schemaText == nullptr) return 0;
    if (schema_IsExist(name) == 1) return 0;

    std::string schemaDoc;
    std::string nodeInfo;
    std::string xpathDoc;
    const std::string map = kDefaultN2EMap;
    {
      CSchemaRegister parser(this);
      if (parser.ParseSchema(schemaText, schemaDoc, nodeInfo, xpathDoc, &DrawNodeIds) < 0) {
        return 0;
      }
    }

    auto* source = dynamic_cast<Cora_IDataBase*>(ctx_->database);
    if (source == nullptr) return 0;
    std::int32_t id = source->db_GetFreeXCLSID();
    if (id == 0) return 0;  // no free id: 0 would read as a failure anyway

    // Another host registering a schema at the same moment may make this one
    // a deadlock's victim: it is then done again (the id is still unused).
    return metashelf::db::RetryingDeadlocks(
        ctx_->hdbc,
        [&]() -> std::int32_t {
          metashelf::db::Unit unit(ctx_->hdbc);
          if (!unit.ok()) return 0;
          {
            Statement stmt(ctx_->hdbc);
            if (!stmt.ok()) return 0;
            const std::string sql =
                "BEGIN " + Prefix(*ctx_) + "KRPG_MD.schema_Add(:1,:2,:3,:4);" + "END; ";
            gis_SQLPrepare(stmt.get(), sql.c_str(), GIS_SQL_NTS);
            std::int32_t mtdbID = ctx_->mtdbID;
            std::int16_t ind[4] = {};
            BindInt(stmt.get(), 1, &id, &ind[0]);
            BindText(stmt.get(), 2, name, &ind[1]);
            BindInt(stmt.get(), 3, &mtdbID, &ind[2]);
            BindText(stmt.get(), 4, remark != nullptr ? remark : "", &ind[3]);
            if (!Succeeded(gis_SQLExecute(stmt.get()))) {
              stmt.DrainError();
              return 0;
            }
          }
          // A schema without its documents could never be opened.
          if (!StoreText(*this, &COraMetaDataBase::SetSchemaDoc, id, schemaDoc) ||
              !StoreText(*this, &COraMetaDataBase::SetNodeInfo, id, nodeInfo) ||
              !StoreText(*this, &COraMetaDataBase::SetXPathDoc, id, xpathDoc) ||
              !StoreText(*this, &COraMetaDataBase::SetN2EMAP, id, map)) {
            return 0;
          }
          return unit.Commit() ? id : 0;
        },
        [](std::int32_t registered) { return registered > 0; });
  });
}

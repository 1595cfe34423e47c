// The engine-independent part of the search indexes: choosing the engine's
// implementation, what a record gives the indexes, the statements helpers,
// the write path's hooks and the build from stored records.
#include "search/search_index.h"

#include <charconv>
#include <cstring>
#include <new>

#include "catalog/catalog_access.h"
#include "catalog/mtdb_context.h"
#include "dataset/mds_context.h"
#include "db/statement.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "search/id_text.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

bool ParseDouble(const char* text, double* value) {
  const std::size_t n = std::strlen(text);
  std::size_t b = 0;
  while (b < n && text[b] == ' ') ++b;
  const auto result = std::from_chars(text + b, text + n, *value);
  return result.ec == std::errc();
}

// The leaf values of `record` with their node ids, in list order.
std::vector<std::pair<std::int32_t, std::string>> LeafValues(const CBaseMetaData& record) {
  std::vector<std::pair<std::int32_t, std::string>> out;
  std::int32_t count = 0;
  record.GetLeafNodeListSize(count);
  if (count <= 0) return out;
  std::vector<CLeafNode> nodes(static_cast<std::size_t>(count));
  CSmartArray<CLeafNode*> list;
  for (CLeafNode& node : nodes) list.Add(&node);
  record.GetLeafNodeList(list, count);
  for (std::int32_t i = 0; i < list.GetSize(); ++i) {
    std::int32_t guid = -1;
    std::int32_t size = 0;
    list[i]->GetNodeGUID(guid);
    list[i]->GetNodeValueSize(size);
    std::string value(static_cast<std::size_t>(size > 0 ? size : 0) + 1, '\0');
    list[i]->GetNodeValue(&value[0], size > 0 ? size : 0);
    value.resize(std::strlen(value.c_str()));
    out.emplace_back(guid, std::move(value));
  }
  list.SetSize(0);
  return out;
}

std::int32_t GuidOfAlias(const CSchema* schema, const char* alias) {
  CNodeInfo info;
  if (schema->GetNodeInfoByAlias(alias, &info) != 1) return -1;
  std::int32_t guid = -1;
  info.GetNodeGUID(guid);
  return guid;
}

std::unique_ptr<SearchIndex> IndexOfContext(MdsContext* ctx) {
  if (ctx == nullptr || ctx->opened == 0) return nullptr;
  return SearchIndexOf(ctx->mdb, ctx->hdbc, ctx->owner, ctx->mdsID);
}

}  // namespace

bool HasDateNodes(const CSchema* schema) {
  if (schema == nullptr) return false;
  const std::int32_t count = schema->GetNodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    CNodeInfo info;
    short tableType = 0;
    if (schema->GetNodeInfoAt(i, &info) == 1 && info.GetTableType(tableType) == 1 &&
        tableType == kTableTypeDate) {
      return true;
    }
  }
  return false;
}

bool DescribeRecord(const CBaseMetaData& record, const CSchema* schema, IndexedRecord* out,
                    bool datesInline) {
  std::string xml;
  if (record.ToXml(xml) != 1) return false;
  out->text = TextOfXml(xml);
  out->boxes.clear();
  if (schema == nullptr) return true;
  const std::int32_t guids[4] = {GuidOfAlias(schema, "westbc"), GuidOfAlias(schema, "southbc"),
                                 GuidOfAlias(schema, "eastbc"), GuidOfAlias(schema, "northbc")};
  bool hasBox = true;
  for (std::int32_t guid : guids) hasBox = hasBox && guid >= 0;  // the schema may name no box
  std::vector<double> bounds[4];
  for (const auto& [guid, value] : LeafValues(record)) {
    for (int k = 0; k < 4; ++k) {
      if (guid != guids[k]) continue;
      double v = 0;
      // A value that is not a number spoils the box it belongs to.
      bounds[k].push_back(ParseDouble(value.c_str(), &v) ? v : 1e308);
    }
  }
  out->dates.clear();
  // A record read back from its rows carries no findings of its own: its
  // XML is taken apart again to learn which values stayed inline.
  std::vector<ValidationIssue> issues = record.Validate();
  if (issues.empty() && datesInline && xml.find_first_of("0123456789") != std::string::npos) {
    CBaseMetaData probe(const_cast<CSchema*>(schema));
    if (probe.LoadXml(xml.data(), xml.size()) == 1) issues = probe.Validate();
  }
  for (const ValidationIssue& issue : issues) {
    DatedPeriod period;
    if (!ReducedDatePeriod(issue.value, &period.first, &period.last)) continue;
    CNodeInfo info;
    short tableType = 0;
    if (schema->GetNodeInfoByPath(issue.path.c_str(), &info) != 1 ||
        info.GetTableType(tableType) != 1 || tableType != kTableTypeDate) {
      continue;
    }
    info.GetNodeGUID(period.guid);
    out->dates.push_back(std::move(period));
  }
  std::size_t count = bounds[0].size();
  for (int k = 1; k < 4; ++k) count = std::min(count, bounds[k].size());
  for (std::size_t i = 0; hasBox && i < count; ++i) {
    const GeoBox box{bounds[0][i], bounds[1][i], bounds[2][i], bounds[3][i]};
    if (IsUsableBox(box)) out->boxes.push_back(box);
  }
  return true;
}

std::vector<std::string> CreatePeriodTable(const std::string& table) {
  return {"CREATE TABLE " + table +
              "(METAID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,LO VARCHAR2(10),HI VARCHAR2(10))",
          "CREATE INDEX " + table + "_ID ON " + table + "(METAID)",
          "CREATE INDEX " + table + "_NV ON " + table + "(NODEGUID,LO)"};
}

std::vector<std::string> InsertPeriods(const std::string& table, std::int64_t id,
                                       const std::vector<DatedPeriod>& dates) {
  std::vector<std::string> texts;
  for (const DatedPeriod& d : dates) {
    texts.push_back("INSERT INTO " + table + "(METAID,NODEGUID,LO,HI) VALUES (" +
                    std::to_string(id) + "," + std::to_string(d.guid) + ",'" +
                    QuoteDoubled(d.first) + "','" + QuoteDoubled(d.last) + "')");
  }
  return texts;
}

std::string DeletePeriods(const std::string& table, std::int64_t id) {
  return "DELETE FROM " + table + " WHERE METAID=" + std::to_string(id);
}

std::string PeriodSubSelect(const std::string& table, std::int32_t guid,
                            const std::string& condition) {
  return "select METAID from " + table + " where NODEGUID=" + std::to_string(guid) + " and " +
         condition;
}

std::unique_ptr<SearchIndex> SearchIndexOf(CMetaDataBase_abs* catalog, gis_SQLHDBC_STRU* hdbc,
                                           const char* owner, std::int32_t mdsID) {
  auto* mdb = dynamic_cast<COraMetaDataBase*>(catalog);
  if (mdb == nullptr || hdbc == nullptr) return nullptr;
  auto* host = dynamic_cast<CHostDataBase*>(CatalogAccess::Context(*mdb).database);
  if (host == nullptr) return nullptr;
  const std::string backend = host->Backend();
  if (backend == "sqlite") return NewSqliteSearchIndex(hdbc, owner, mdsID);
  if (backend == "postgresql") return NewPostgresSearchIndex(hdbc, owner, mdsID);
  return nullptr;
}

bool RunAll(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& texts) {
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  for (const std::string& text : texts) {
    if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS))) {
      stmt.DrainError();
      return false;
    }
    gis_SQLFreeStmt(stmt.get(), GIS_SQL_CLOSE);
  }
  return true;
}

bool QueryInt(gis_SQLHDBC_STRU* hdbc, const std::string& sql, std::int64_t* value) {
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  char text[32] = {};
  std::int16_t indicator = 0;
  if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(
          gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, text, sizeof text, &indicator)) ||
      !db::Succeeded(gis_SQLFetch(stmt.get()))) {
    stmt.DrainError();
    return false;
  }
  *value = indicator == -1 ? 0 : ParseIdText(text, sizeof text);
  return true;
}

bool AddRowScores(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                  std::map<std::int64_t, double>* scores) {
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  char id[32] = {};
  char number[64] = {};
  std::int16_t idIndicator = 0;
  std::int16_t numberIndicator = 0;
  if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, id, sizeof id, &idIndicator)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_STRING, number, sizeof number,
                                    &numberIndicator))) {
    stmt.DrainError();
    return false;
  }
  for (;;) {
    const std::int16_t rc = gis_SQLFetch(stmt.get());
    if (rc == GIS_SQL_NO_DATA) return true;
    if (!db::Succeeded(rc)) {
      stmt.DrainError();
      return false;
    }
    double score = 0;
    if (numberIndicator == -1 || !ParseDouble(number, &score)) score = 0;
    (*scores)[ParseIdText(id, sizeof id)] += score;
  }
}

bool IndexRecord(MdsContext* ctx, std::int64_t metaID, const CBaseMetaData& record) {
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index || !index->Present()) return true;
  IndexedRecord described;
  if (!DescribeRecord(record, ctx->schema, &described, HasDateNodes(ctx->schema))) return false;
  return index->Put(metaID, described);
}

bool UnindexRecord(MdsContext* ctx, std::int64_t metaID) {
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index || !index->Present()) return true;
  return index->Remove(metaID);
}

void DropSearchIndexes(CMetaDataBase_abs* catalog, std::int32_t colID) {
  auto* mdb = dynamic_cast<COraMetaDataBase*>(catalog);
  if (mdb == nullptr) return;
  gis_SQLHDBC_STRU* hdbc = nullptr;
  char owner[kOwnerSize] = {};
  mdb->GetOraBaseInfo(hdbc, owner);
  std::unique_ptr<SearchIndex> index = SearchIndexOf(catalog, hdbc, owner, colID);
  // Whatever an interrupted build left goes too.
  if (index) index->Drop();
}

bool BuildSearchIndexes(COraMetaDataSet* set, MdsContext* ctx, std::int64_t* records) {
  if (records != nullptr) *records = 0;
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index) return false;
  // A build starts from nothing, so that what an interrupted one left is
  // never taken for part of the answer.
  if (!index->Drop() || !index->Create()) return false;
  CSmartArray<std::int64_t> ids;
  if (ctx->mdb->meta_GetIDList(ctx->mdsID, ids) != 1) return false;
  const bool dates = HasDateNodes(ctx->schema);
  for (std::int32_t i = 0; i < ids.GetSize(); ++i) {
    CBaseMetaData record(ctx->schema);
    if (set->GetMetaData(ids[i], &record) != 1) return false;
    IndexedRecord described;
    if (!DescribeRecord(record, ctx->schema, &described, dates)) return false;
    if (!index->Put(ids[i], described, true)) return false;
    if (records != nullptr) ++*records;
  }
  return index->MarkReady();
}

}  // namespace search
}  // namespace metashelf

// The engine-independent part of the search indexes: choosing the engine's
// implementation, what a record gives the indexes, the statements helpers,
// the write path's hooks and the build from stored records.
#include "search/search_index.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <new>

#include "catalog/catalog_access.h"
#include "catalog/mtdb_context.h"
#include "dataset/mds_context.h"
#include "dataset/record_rows.h"
#include "db/statement.h"
#include "db/unit.h"
#include "metashelf/base/sql_quote.h"
#include "metashelf/host.h"
#include "metashelf/model.h"
#include "metashelf/ora_metadatabase.h"
#include "metashelf/ora_metadataset.h"
#include "search/finishing_steps.h"
#include "search/id_text.h"
#include "search/record_feed.h"
#include "search/search_index_rows.h"

namespace metashelf {
namespace search {
namespace {

using base::QuoteDoubled;

// The most ids a ranking names.
constexpr std::size_t kRankedIds = 2000;

bool ParseDouble(const char* text, double* value) {
  const std::size_t n = std::strlen(text);
  std::size_t b = 0;
  while (b < n && (text[b] == ' ' || text[b] == '\t' || text[b] == '\n' || text[b] == '\r')) ++b;
  if (b < n && text[b] == '+') ++b;
  const auto result = std::from_chars(text + b, text + n, *value);
  return result.ec == std::errc();
}

std::int32_t GuidOfAlias(const CSchema* schema, const char* alias) {
  CNodeInfo info;
  if (schema->GetNodeInfoByAlias(alias, &info) != 1) return -1;
  std::int32_t guid = -1;
  info.GetNodeGUID(guid);
  return guid;
}

// The periods of the dates of reduced precision among `issues`.
void AddPeriods(const CSchema* schema, const std::vector<ValidationIssue>& issues,
                std::vector<DatedPeriod>* out) {
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
    out->push_back(std::move(period));
  }
}

// The set's own write path: the schema's facts once, and one tokenizer and
// one set of prepared inserts for every record of a batch, made anew once
// the tables they were prepared against may have changed. Null when the
// engine keeps no indexes.
WritePath* KeptWritePath(MdsContext* ctx) {
  if (ctx == nullptr || ctx->opened == 0) return nullptr;
  if (!ctx->searchWrites) {
    ctx->searchWrites.reset(new WritePath());
    ctx->searchWrites->facts = FactsOf(ctx->schema);
  }
  WritePath& path = *ctx->searchWrites;
  const std::uint64_t serial = gis_SQLShapeSerial(ctx->hdbc);
  if (!path.index || serial == 0 || serial != path.madeUnder) {
    // The statements of the old one are let go before the new one's are made.
    path.index.reset();
    path.index = IndexOfContext(ctx);
    path.madeUnder = serial;
  }
  return path.index ? &path : nullptr;
}

// Whether the indexes exist, and whether writes keep only their rows,
// asked once per record written outside a batch and once per batch inside
// one (the answer holds while the connection's shape serial stays the
// same). A check that failed is not kept.
bool WritesMaintain(MdsContext* ctx, SearchIndex* index) {
  const std::uint64_t serial = gis_SQLShapeSerial(ctx->hdbc);
  if (serial != 0 && serial == ctx->searchIndexSerial) return ctx->searchIndexPresent;
  const std::uint64_t failures = gis_SQLFailureCount(ctx->hdbc);
  const bool present = index->Present();
  const bool rowsOnly = present && index->RowsOnly();
  const bool known = gis_SQLFailureCount(ctx->hdbc) == failures;
  ctx->searchIndexSerial = known ? serial : 0;
  ctx->searchIndexPresent = present;
  ctx->searchRowsOnly = rowsOnly;
  return present;
}

}  // namespace

std::unique_ptr<SearchIndex> IndexOfContext(MdsContext* ctx) {
  if (ctx == nullptr || ctx->opened == 0) return nullptr;
  return SearchIndexOf(ctx->mdb, ctx->hdbc, ctx->owner, ctx->mdsID);
}

SchemaFacts FactsOf(const CSchema* schema) {
  SchemaFacts facts;
  if (schema == nullptr) return facts;
  const std::int32_t count = schema->GetNodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    CNodeInfo info;
    short tableType = 0;
    if (schema->GetNodeInfoAt(i, &info) == 1 && info.GetTableType(tableType) == 1 &&
        tableType == kTableTypeDate) {
      facts.dates = true;
      break;
    }
  }
  facts.box = BoxNodesOf(schema);
  return facts;
}

BoxNodes BoxNodesOf(const CSchema* schema) {
  BoxNodes nodes;
  if (schema == nullptr) return nodes;
  const char* const aliases[4] = {"westbc", "southbc", "eastbc", "northbc"};
  for (int k = 0; k < 4; ++k) nodes.guids[k] = GuidOfAlias(schema, aliases[k]);
  return nodes;
}

bool DescribeStored(const CSchema* schema, const std::string& structure, const TextViews& texts,
                    const std::vector<BoxBound>& bounds, const SchemaFacts& facts,
                    const std::vector<ValidationIssue>* known, IndexedRecord* out) {
  TextOfStructure(structure, texts, &out->text);
  out->boxes.clear();
  out->dates.clear();
  if (schema == nullptr) return true;
  if (facts.dates) {
    if (known != nullptr && !known->empty()) {
      AddPeriods(schema, *known, &out->dates);
    } else if (MayHoldReducedDate(structure)) {
      // Which values stayed inline is learnt by taking the structure apart
      // again, with numbers and dates that any node of theirs can hold.
      MarkerValues probe;
      probe.views = &texts;
      probe.number = "0";
      probe.date = "2000-01-01";
      const std::string xml = FillMarkers(structure, probe);
      CBaseMetaData record(const_cast<CSchema*>(schema));
      if (record.LoadXml(xml.data(), xml.size()) == 1)
        AddPeriods(schema, record.Validate(), &out->dates);
    }
  }
  const BoxNodes& nodes = facts.box;
  if (!nodes.Named()) return true;
  // The four bounds of each position; a bound that is missing (a value
  // kept inline, not a number) leaves that box unusable.
  std::map<std::int32_t, std::array<double, 4>> boxes;
  std::map<std::int32_t, int> seen;
  for (const BoxBound& b : bounds) {
    for (int k = 0; k < 4; ++k) {
      if (b.guid != nodes.guids[k]) continue;
      auto& box = boxes[b.position];
      if (seen[b.position] & (1 << k)) continue;
      seen[b.position] |= 1 << k;
      box[static_cast<std::size_t>(k)] = b.value;
    }
  }
  for (const auto& [position, v] : boxes) {
    if (seen[position] != 15) continue;
    const GeoBox box{v[0], v[1], v[2], v[3]};
    if (IsUsableBox(box)) out->boxes.push_back(box);
  }
  return true;
}

bool DescribeRecord(const CBaseMetaData& record, const dataset::RecordRows& rows,
                    const SchemaFacts& facts, const CSchema* schema, IndexedRecord* out) {
  TextViews texts;
  texts.reserve(rows.nodes.size());
  std::vector<BoxBound> bounds;
  for (const dataset::NodeRow& node : rows.nodes) {
    if (node.tableType == kTableTypeText) {
      texts.emplace_back(LeafKey(node.guid, node.position), node.value);
    } else if (node.tableType == kTableTypeNumber && !node.isNull) {
      // The number as the value table keeps it, as a build reads it.
      for (const std::int32_t g : facts.box.guids) {
        if (g == node.guid) bounds.push_back(BoxBound{node.guid, node.position, node.number});
      }
    }
  }
  SortByKey(&texts);
  // The values kept inline matter only for the dates of reduced precision.
  const std::vector<ValidationIssue> issues =
      facts.dates ? record.Validate() : std::vector<ValidationIssue>();
  return DescribeStored(schema, rows.structInfo, texts, bounds, facts, &issues, out);
}

std::vector<std::string> CreatePeriodTable(const std::string& table) {
  return {"CREATE TABLE " + table +
          "(METAID NUMBER NOT NULL,NODEGUID NUMBER NOT NULL,LO VARCHAR2(10),HI VARCHAR2(10))"};
}

std::vector<std::string> CreatePeriodIndexes(const std::string& table) {
  return {"CREATE INDEX " + table + "_ID ON " + table + "(METAID)",
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

bool ReadPairs(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
               const std::function<void(const char*, const char*)>& row) {
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  char first[64] = {};
  char second[64] = {};
  std::int16_t firstIndicator = 0;
  std::int16_t secondIndicator = 0;
  if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), sql.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(
          gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, first, sizeof first, &firstIndicator)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_STRING, second, sizeof second,
                                    &secondIndicator))) {
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
    row(firstIndicator == -1 ? nullptr : first, secondIndicator == -1 ? nullptr : second);
  }
}

bool AddRowScores(gis_SQLHDBC_STRU* hdbc, const std::string& sql,
                  std::map<std::int64_t, double>* scores) {
  return ReadPairs(hdbc, sql, [scores](const char* id, const char* number) {
    double score = 0;
    if (number == nullptr || !ParseDouble(number, &score)) score = 0;
    if (id != nullptr) (*scores)[ParseIdText(id, std::strlen(id) + 1)] += score;
  });
}

// The prepared inserts of Put, kept while the index object lives so that a
// build prepares each once; the values are bound afresh for every row.
struct SearchIndex::Inserts {
  explicit Inserts(gis_SQLHDBC_STRU* hdbc) : words(hdbc), box(hdbc) {}
  db::Statement words;
  db::Statement box;
  bool wordsPrepared = false;  // not when the engine takes every record's words
  std::int64_t id = 0;
  std::int32_t parts = 0;
  double bounds[4] = {};
};

SearchIndex::SearchIndex(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID)
    : hdbc_(hdbc), owner_(owner), id_(std::to_string(mdsID)) {}

SearchIndex::~SearchIndex() = default;

std::unique_ptr<CHostDataBase> SearchIndex::OpenReading(CHostDataBase* /*host*/) {
  return nullptr;
}

bool SearchIndex::Ready() {
  std::int64_t count = 0;
  return Exists("MS_READY_") && Present() &&
         QueryInt(hdbc_,
                  "select count(*) from " + Table("MS_READY_") +
                      " where DONE=" + std::to_string(kSearchLayout),
                  &count) &&
         count > 0;
}

bool SearchIndex::Drop() {
  // Statements prepared on tables about to go are let go first.
  inserts_.reset();
  std::vector<std::string> texts;
  for (const char* stem : Stems()) texts.push_back("DROP TABLE IF EXISTS " + Table(stem));
  return RunAll(hdbc_, texts);
}

std::vector<std::string> SearchIndex::ReadyTexts() const {
  return {"CREATE TABLE " + Table("MS_READY_") + "(DONE NUMBER)",
          "INSERT INTO " + Table("MS_READY_") + "(DONE) VALUES (" + std::to_string(kSearchLayout) +
              ")"};
}

bool SearchIndex::MarkReady() {
  std::vector<std::string> texts = IndexTexts();
  for (std::string& text : CreatePeriodIndexes(Table("MS_DATE_"))) texts.push_back(std::move(text));
  for (std::string& text : ReadyTexts()) texts.push_back(std::move(text));
  return RunAll(hdbc_, texts);
}

bool SearchIndex::MarkStepsReady() {
  return RunAll(hdbc_, ReadyTexts());
}

std::string SearchIndex::BoxIds(const GeoBox& box, bool within) {
  std::string parts;
  for (const GeoBox& q : SplitAtAntimeridian(box)) {
    if (!parts.empty()) parts += " union all ";
    parts += "select ID/" + std::to_string(kMaxBoxParts) + " as MID,PARTS from " +
             Table("MS_BOX_") + " where " + BoxPartCondition(q, within);
  }
  // Within: every part of the record's boxes lies inside the query box.
  if (within) {
    return "select MID as METAID from (" + parts + ") BXS group by MID having count(*)=max(PARTS)";
  }
  return "select distinct MID as METAID from (" + parts + ") BXS";
}

bool SearchIndex::AddScores(const std::vector<TextTerm>& terms, const std::set<std::int64_t>& ids,
                            std::map<std::int64_t, double>* scores) {
  if (ids.empty()) return true;
  // Up to a few thousand ids are named, so that a selective search ranks
  // its few records instead of every record with the words; beyond that
  // the list costs more than ranking every match.
  std::string condition;
  if (ids.size() <= kRankedIds) {
    for (std::int64_t id : ids) condition += (condition.empty() ? "" : ",") + std::to_string(id);
    condition = " in (" + condition + ")";
  }
  std::map<std::int64_t, double> found;
  if (!AddRowScores(hdbc_, ScoreQuery(terms, condition), &found)) return false;
  for (const auto& [id, score] : found) {
    if (ids.count(id) != 0) (*scores)[id] += score;
  }
  return true;
}

bool SearchIndex::MatchScores(const std::vector<TextTerm>& terms,
                              std::map<std::int64_t, double>* scores) {
  return AddRowScores(hdbc_, ScoreQuery(terms, std::string()), scores);
}

std::string SearchIndex::PeriodIds(std::int32_t guid, const std::string& condition) {
  return PeriodSubSelect(Table("MS_DATE_"), guid, condition);
}

bool SearchIndex::Put(std::int64_t id, const IndexedRecord& record, bool fresh) {
  if (!inserts_) {
    auto inserts = std::make_unique<Inserts>(hdbc_);
    const std::string words = WordsInsert();
    const std::string box = BoxInsert();
    if (!inserts->words.ok() || !inserts->box.ok()) return false;
    inserts->wordsPrepared = !words.empty();
    if (inserts->wordsPrepared &&
        (!db::Succeeded(gis_SQLPrepare(inserts->words.get(), words.c_str(), GIS_SQL_NTS)) ||
         !db::Succeeded(gis_SQLBindParameter(inserts->words.get(), 1, 1, GIS_TYPE_INT, GIS_TYPE_INT,
                                             0, 0, &inserts->id, 8, nullptr)))) {
      inserts->words.DrainError();
      return false;
    }
    // As the words' rows, the boxes' wait for the end of a host's batch:
    // only statements that name the table read it.
    if (!db::Succeeded(gis_SQLPrepare(inserts->box.get(), box.c_str(), GIS_SQL_NTS)) ||
        !db::Succeeded(gis_SQLSetStmtOption(inserts->box.get(), GIS_SQL_ROWS_TO_BATCH_END, 1)) ||
        !db::Succeeded(gis_SQLBindParameter(inserts->box.get(), 1, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0,
                                            0, &inserts->id, 8, nullptr)) ||
        !db::Succeeded(gis_SQLBindParameter(inserts->box.get(), 2, 1, GIS_TYPE_INT, GIS_TYPE_INT, 0,
                                            0, &inserts->parts, 4, nullptr))) {
      inserts->box.DrainError();
      return false;
    }
    for (std::uint16_t k = 0; k < 4; ++k) {
      if (!db::Succeeded(gis_SQLBindParameter(inserts->box.get(), static_cast<std::uint16_t>(3 + k),
                                              1, GIS_TYPE_FLOAT, GIS_TYPE_FLOAT, 0, 0,
                                              &inserts->bounds[k], 8, nullptr))) {
        inserts->box.DrainError();
        return false;
      }
    }
    inserts_ = std::move(inserts);
  }
  Inserts& in = *inserts_;
  bool held = false;
  if (!HoldWords(id, record.text, fresh, &held)) return false;
  // The text is bound where it lies; an empty one binds NULL, which holds
  // no word.
  in.id = id;
  if (!held && (!in.wordsPrepared ||
                !db::Succeeded(gis_SQLBindParameter(
                    in.words.get(), 2, 1, GIS_TYPE_STRING, GIS_TYPE_STRING, 0, 0,
                    const_cast<char*>(record.text.c_str()),
                    static_cast<std::int32_t>(record.text.size() + 1), nullptr)) ||
                !db::Succeeded(gis_SQLExecute(in.words.get())))) {
    in.words.DrainError();
    return false;
  }
  std::vector<GeoBox> parts;
  for (const GeoBox& box : record.boxes) {
    for (const GeoBox& part : SplitAtAntimeridian(box)) parts.push_back(part);
  }
  if (parts.size() > static_cast<std::size_t>(kMaxBoxParts)) parts.resize(kMaxBoxParts);
  in.parts = static_cast<std::int32_t>(parts.size());
  for (std::size_t k = 0; k < parts.size(); ++k) {
    in.id = id * kMaxBoxParts + static_cast<std::int64_t>(k);
    in.bounds[0] = parts[k].west;
    in.bounds[1] = parts[k].south;
    in.bounds[2] = parts[k].east;
    in.bounds[3] = parts[k].north;
    if (!db::Succeeded(gis_SQLExecute(in.box.get()))) {
      in.box.DrainError();
      return false;
    }
  }
  return record.dates.empty() || RunAll(hdbc_, InsertPeriods(Table("MS_DATE_"), id, record.dates));
}

void WritePathRelease::operator()(WritePath* path) const {
  delete path;
}

bool IndexRecord(MdsContext* ctx, std::int64_t metaID, const CBaseMetaData& record,
                 const dataset::RecordRows& rows, bool added) {
  WritePath* path = KeptWritePath(ctx);
  if (path == nullptr || !WritesMaintain(ctx, path->index.get())) return true;
  SearchIndex& index = *path->index;
  IndexedRecord described;
  if (!DescribeRecord(record, rows, path->facts, ctx->schema, &described)) return false;
  // While the indexes wait, the distinct values are taken once at the end.
  return (added || index.Remove(metaID)) && index.Put(metaID, described) &&
         (ctx->searchRowsOnly || index.AddValues(metaID));
}

bool UnindexRecord(MdsContext* ctx, std::int64_t metaID) {
  WritePath* path = KeptWritePath(ctx);
  if (path == nullptr || !WritesMaintain(ctx, path->index.get())) return true;
  return path->index->Remove(metaID);
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

CHostDataBase* HostOf(MdsContext* ctx) {
  auto* mdb = dynamic_cast<COraMetaDataBase*>(ctx->mdb);
  return mdb == nullptr ? nullptr
                        : dynamic_cast<CHostDataBase*>(CatalogAccess::Context(*mdb).database);
}

namespace {

// Writes what the indexes hold of the records `ids` (ascending) in units
// that commit outside a transaction. The records are read and described on
// `reading` by a thread of their own when it is given, else on the build's
// connection.
bool WriteRecords(SearchIndex* index, MdsContext* ctx, const std::vector<std::int64_t>& ids,
                  CHostDataBase* reading, std::int64_t* records) {
  const SchemaFacts facts = FactsOf(ctx->schema);
  StoredRecordReader reader(ctx);
  std::unique_ptr<StoredRecordReader> readerAhead;
  if (reading != nullptr) readerAhead = std::make_unique<StoredRecordReader>(ctx, reading->HDBC());
  // Each thread that reads takes the records' words too, with a taker of
  // its own, where the engine gives one.
  std::unique_ptr<WordsTaker> taker = index->NewWordsTaker();
  std::unique_ptr<WordsTaker> takerAhead = readerAhead ? index->NewWordsTaker() : nullptr;
  const auto from = [&ids, ctx, &facts](StoredRecordReader* source,
                                        WordsTaker* words) -> BatchSource {
    return [&ids, ctx, &facts, source, words](std::size_t k, DescribedBatch* batch) {
      const std::size_t first = k * kBuildBatch;
      return ReadDescribed(source, ctx->schema, facts, ids, first,
                           std::min(ids.size(), first + kBuildBatch), words, batch);
    };
  };
  RecordFeed feed((ids.size() + kBuildBatch - 1) / kBuildBatch, from(&reader, taker.get()),
                  readerAhead ? from(readerAhead.get(), takerAhead.get()) : BatchSource());
  std::unique_ptr<db::Unit> unit;
  std::size_t inUnit = 0;
  DescribedBatch batch;
  while (feed.Next(&batch)) {
    if (!unit) {
      unit = std::make_unique<db::Unit>(ctx->hdbc);
      inUnit = 0;
    }
    if (!unit->ok()) return false;
    for (DescribedRecord& r : batch) {
      if (r.words.taken) index->OfferWords(r.id, &r.words);
      if (!index->Put(r.id, r.indexed, true)) return false;
    }
    if (records != nullptr) *records += static_cast<std::int64_t>(batch.size());
    inUnit += batch.size();
    if (inUnit >= kBuildUnit) {
      if (!index->FlushWords() || !unit->Commit()) return false;
      unit.reset();
    }
  }
  if (feed.failed()) return false;
  return !unit || (index->FlushWords() && unit->Commit());
}

}  // namespace

bool BuildSearchIndexes(COraMetaDataSet* /*set*/, MdsContext* ctx, std::int64_t* records) {
  if (records != nullptr) *records = 0;
  std::unique_ptr<SearchIndex> index = IndexOfContext(ctx);
  if (!index) return false;
  // The build goes in units of work of kBuildUnit records: outside a
  // transaction each commits, so that a large build never holds (and on
  // SQLite never searches through) one journal of everything it wrote; the
  // indexes count as built only once the last unit marks them ready, so a
  // build cut short is made anew.
  {
    // A build starts from nothing, so that what an interrupted one left is
    // never taken for part of the answer.
    db::Unit unit(ctx->hdbc);
    if (!unit.ok() || !index->Drop() || !index->Create() || !unit.Commit()) return false;
  }
  CSmartArray<std::int64_t> list;
  if (ctx->mdb->meta_GetIDList(ctx->mdsID, list) != 1) return false;
  std::vector<std::int64_t> ids;
  ids.reserve(static_cast<std::size_t>(list.GetSize()));
  for (std::int32_t i = 0; i < list.GetSize(); ++i) ids.push_back(list[i]);
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  index->BeginBuild();
  struct EndBuild {
    SearchIndex* index;
    ~EndBuild() { index->EndBuild(); }
  } end{index.get()};
  // The second connection, where the engine gives one, reads the records
  // and takes its share of the end of the build.
  std::unique_ptr<CHostDataBase> second = index->OpenReading(HostOf(ctx));
  if (!WriteRecords(index.get(), ctx, ids, second.get(), records)) return false;
  return MakeIndexes(index.get(), ctx->hdbc, second.get(), nullptr);
}

bool MakeIndexes(SearchIndex* index, gis_SQLHDBC_STRU* hdbc, CHostDataBase* second,
                 const std::function<bool()>& mayShare) {
  std::vector<FinishingStep> steps;
  if (second != nullptr) steps = index->FinishingSteps();
  // The ready mark comes last, once every step's work is committed.
  if (!steps.empty()) {
    if (!RunFinishingSteps(hdbc, second->HDBC(), steps, mayShare)) return false;
    db::Unit ready(hdbc);
    return ready.ok() && index->MarkStepsReady() && ready.Commit();
  }
  db::Unit ready(hdbc);
  return ready.ok() && index->AddValues(-1) && index->FinishBuild() && index->MarkReady() &&
         ready.Commit();
}

}  // namespace search
}  // namespace metashelf

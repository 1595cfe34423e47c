// Reading runs of stored records for an index build: the structure rows
// one by one (a document longer than the fetch buffer is read alone), the
// text and box-number rows a rowset at a time.
#include "search/search_index_rows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <new>

#include "dataset/lob_io.h"
#include "dataset/mds_context.h"
#include "db/statement.h"
#include "search/id_text.h"

namespace metashelf {
namespace search {
namespace {

// Structure documents up to this size come with their row.
constexpr std::int32_t kDocumentBuffer = 1 << 18;
constexpr std::uint32_t kRowset = 100;
constexpr std::int32_t kIdSlot = 24;
// The widest stored text value and its NUL.
constexpr std::int32_t kTextSlot = 4001;

}  // namespace

// The fetch buffers of a reader, made once for the whole build (a build
// reads thousands of runs).
struct StoredRecordReader::Buffers {
  char ids[kRowset][kIdSlot];
  std::int32_t guids[kRowset];
  std::int32_t positions[kRowset];
  std::int16_t idIndicators[kRowset];
  std::int16_t indicators[kRowset];
  std::int16_t valueIndicators[kRowset];
  double numbers[kRowset];
  char texts[kRowset * kTextSlot];
  char document[kDocumentBuffer];
};

namespace {

using Buffers = StoredRecordReader::Buffers;

// Runs `select` (columns METAID, NODEGUID, POSITION, NODEVALUE) a rowset at
// a time, handing each row to `row` with the value as text (`number`
// false) or as a number.
template <typename Row>
bool ReadValueRows(gis_SQLHDBC_STRU* hdbc, const std::string& select, bool number, Buffers* c,
                   Row row) {
  char* texts = c->texts;
  db::Statement stmt(hdbc);
  if (!stmt.ok()) return false;
  if (!db::Succeeded(gis_SQLPrepare(stmt.get(), select.c_str(), GIS_SQL_NTS)) ||
      !db::Succeeded(gis_SQLSetStmtOption(stmt.get(), GIS_SQL_ROWSET_SIZE, kRowset)) ||
      !db::Succeeded(gis_SQLExecute(stmt.get())) ||
      !db::Succeeded(
          gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, c->ids, kIdSlot, c->idIndicators)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_INT, c->guids, 4, c->indicators)) ||
      !db::Succeeded(gis_SQLBindCol(stmt.get(), 3, GIS_TYPE_INT, c->positions, 4, c->indicators)) ||
      !db::Succeeded(
          number ? gis_SQLBindCol(stmt.get(), 4, GIS_TYPE_FLOAT, c->numbers, 8, c->valueIndicators)
                 : gis_SQLBindCol(stmt.get(), 4, GIS_TYPE_STRING, texts, kTextSlot,
                                  c->valueIndicators))) {
    stmt.DrainError();
    return false;
  }
  for (;;) {
    std::uint32_t fetched = 0;
    const std::int16_t rc =
        gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &fetched, nullptr);
    if (rc == GIS_SQL_NO_DATA) return true;
    if (!db::Succeeded(rc)) {
      stmt.DrainError();
      return false;
    }
    for (std::uint32_t i = 0; i < std::min(fetched, kRowset); ++i) {
      // NULL values stand for nothing.
      if (c->valueIndicators[i] == -1) continue;
      const std::int64_t id = ParseIdText(c->ids[i], kIdSlot);
      if (number) {
        row(id, c->guids[i], c->positions[i], c->numbers[i], nullptr);
      } else {
        char* text = texts + static_cast<std::size_t>(i) * kTextSlot;
        text[kTextSlot - 1] = '\0';
        row(id, c->guids[i], c->positions[i], 0.0, text);
      }
    }
  }
}

}  // namespace

bool ReadBounds(gis_SQLHDBC_STRU* hdbc, const std::string& select,
                std::unordered_map<std::int64_t, std::vector<BoxBound>>* bounds) {
  // Left unfilled: the fetch writes what is read, and the text and
  // document buffers a bounds read never uses stay untouched.
  std::unique_ptr<Buffers> buffers(new (std::nothrow) Buffers);
  if (!buffers) return false;
  return ReadValueRows(
      hdbc, select, true, buffers.get(),
      [&](std::int64_t id, std::int32_t guid, std::int32_t position, double value, const char*) {
        if (!std::isnan(value)) {
          (*bounds)[id].push_back(BoxBound{guid, position, value});
        }
      });
}

StoredRecordReader::StoredRecordReader(MdsContext* ctx, gis_SQLHDBC_STRU* hdbc)
    : hdbc_(hdbc != nullptr ? hdbc : ctx->hdbc),
      box_(BoxNodesOf(ctx->schema)),
      table_(std::string(ctx->owner) + ".META_"),
      id_(std::to_string(ctx->mdsID)) {}

StoredRecordReader::~StoredRecordReader() = default;

bool StoredRecordReader::ReadTexts(const std::string& range,
                                   const std::unordered_map<std::int64_t, std::size_t>& at,
                                   std::vector<StoredRecord>* records) {
  // Each value's record, key and place in values_; the views are made once
  // every value is in (values_ may move while it grows).
  struct Stored {
    std::size_t record;
    std::uint64_t key;
    std::size_t offset;
    std::size_t length;
  };
  std::vector<Stored> stored;
  values_.clear();
  if (!ReadValueRows(
          hdbc_,
          "select MetaID,NODEGUID,POSITION,NODEVALUE from " + table_ + "NDTEXT_" + id_ + range,
          false, buffers_.get(),
          [&](std::int64_t id, std::int32_t guid, std::int32_t position, double, const char* text) {
            const auto place = at.find(id);
            if (place == at.end()) return;
            const std::size_t length = std::strlen(text);
            stored.push_back(
                Stored{place->second, LeafKey(guid, position), values_.size(), length});
            values_.append(text, length);
          })) {
    return false;
  }
  {
    std::vector<std::size_t> counts(records->size(), 0);
    for (const Stored& v : stored) ++counts[v.record];
    for (std::size_t i = 0; i < records->size(); ++i) (*records)[i].texts.reserve(counts[i]);
  }
  const std::string_view all(values_);
  for (const Stored& v : stored) {
    (*records)[v.record].texts.emplace_back(v.key, all.substr(v.offset, v.length));
  }
  // Of two values under one key the first read (the one earlier in
  // values_) stands for it, as the write path's map keeps the first.
  for (StoredRecord& r : *records) {
    std::sort(
        r.texts.begin(), r.texts.end(),
        [](const std::pair<std::uint64_t, std::string_view>& a,
           const std::pair<std::uint64_t, std::string_view>& b) {
          return a.first < b.first ||
                 (a.first == b.first && std::less<const char*>()(a.second.data(), b.second.data()));
        });
  }
  return true;
}

bool StoredRecordReader::Read(const std::vector<std::int64_t>& ids, std::size_t first,
                              std::size_t last, std::vector<StoredRecord>* out) {
  out->clear();
  if (first >= last) return true;
  const std::string range = " where MetaID between " + std::to_string(ids[first]) + " and " +
                            std::to_string(ids[last - 1]);
  // Each record's place in `out`; ids in the range that the collection
  // does not list are not its records.
  std::unordered_map<std::int64_t, std::size_t> at;
  std::vector<StoredRecord> records(last - first);
  for (std::size_t i = first; i < last; ++i) {
    records[i - first].id = ids[i];
    at.emplace(ids[i], i - first);
  }
  std::vector<bool> found(records.size(), false);
  if (!buffers_) buffers_.reset(new (std::nothrow) Buffers());
  if (!buffers_) return false;
  {
    db::Statement stmt(hdbc_);
    char* buffer = buffers_->document;
    if (!stmt.ok()) return false;
    char id[kIdSlot] = {};
    std::int32_t length = 0;
    std::int16_t idIndicator = 0, lengthIndicator = 0, documentIndicator = 0;
    const std::string select = "select MetaID,dbms_lob.getlength(STRUCT_INFO),STRUCT_INFO from " +
                               table_ + "STRUCTINFO_" + id_ + range;
    if (!db::Succeeded(gis_SQLExecDirect(stmt.get(), select.c_str(), GIS_SQL_NTS)) ||
        !db::Succeeded(
            gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_STRING, id, sizeof id, &idIndicator)) ||
        !db::Succeeded(gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_INT, &length, 4, &lengthIndicator)) ||
        !db::Succeeded(gis_SQLBindCol(stmt.get(), 3, GIS_TYPE_LONGRAW, buffer, kDocumentBuffer,
                                      &documentIndicator))) {
      stmt.DrainError();
      return false;
    }
    std::vector<std::int64_t> longer;
    for (;;) {
      length = 0;
      const std::int16_t rc = gis_SQLFetch(stmt.get());
      if (rc == GIS_SQL_NO_DATA) break;
      if (!db::Succeeded(rc)) {
        stmt.DrainError();
        return false;
      }
      const auto place = at.find(ParseIdText(id, sizeof id));
      if (place == at.end()) continue;
      found[place->second] = true;
      if (documentIndicator == -1 || lengthIndicator == -1 || length <= 0) continue;
      if (length > kDocumentBuffer) {
        longer.push_back(place->first);
        continue;
      }
      records[place->second].structure.assign(buffer, static_cast<std::size_t>(length));
    }
    // Documents longer than the buffer, each read alone.
    for (std::int64_t metaID : longer) {
      const std::string row =
          table_ + "STRUCTINFO_" + id_ + " where MetaID=" + std::to_string(metaID);
      std::int32_t size = -1;
      db::Statement lengthStmt(hdbc_);
      if (!lengthStmt.ok() ||
          !dataset::ReadLobLength(lengthStmt.get(),
                                  "select dbms_lob.getlength(STRUCT_INFO) from " + row, &size) ||
          size <= 0) {
        continue;
      }
      std::string& document = records[at[metaID]].structure;
      document.assign(static_cast<std::size_t>(size) + 1, '\0');
      db::Statement read(hdbc_);
      if (!read.ok() ||
          !dataset::ReadLob(read.get(), "select STRUCT_INFO from " + row, &document[0], size)) {
        read.DrainError();
        return false;
      }
      document.resize(static_cast<std::size_t>(size));
    }
  }
  if (!ReadTexts(range, at, &records)) return false;
  if (box_.Named()) {
    // The node condition is written NODEGUID+0 so that no engine answers it
    // from the (node, value) index: a run of ids against four nodes would
    // otherwise look cheaper by node, and read every record's bounds for
    // every run (a build that grows with the square of the collection).
    std::string guids;
    for (std::int32_t g : box_.guids) guids += (guids.empty() ? "" : ",") + std::to_string(g);
    if (!ReadValueRows(hdbc_,
                       "select MetaID,NODEGUID,POSITION,NODEVALUE from " + table_ + "NDNUMBER_" +
                           id_ + range + " and NODEGUID+0 in (" + guids + ")",
                       true, buffers_.get(),
                       [&](std::int64_t id, std::int32_t guid, std::int32_t position, double value,
                           const char*) {
                         const auto place = at.find(id);
                         if (place == at.end() || std::isnan(value)) return;
                         records[place->second].bounds.push_back(BoxBound{guid, position, value});
                       })) {
      return false;
    }
  }
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (found[i]) out->push_back(std::move(records[i]));
  }
  return true;
}

}  // namespace search
}  // namespace metashelf

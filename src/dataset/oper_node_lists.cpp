// COraMetaSetOper: reading a record's rows of one node table back as
// CLeafNode objects, a rowset of 100 rows per fetch, and the text form of a
// number read back.
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "dataset/meta_set_oper.h"
#include "dataset/sql_text.h"
#include "db/statement.h"

using metashelf::dataset::Format;

namespace {

constexpr std::uint32_t kRowset = 100;
// A text slot holds the widest stored value and its NUL.
constexpr std::int32_t kTextSlot = static_cast<std::int32_t>(metashelf::dataset::kMaxTextValue) + 1;
constexpr std::int32_t kDateSlot = 16;

enum class ValueKind { kText, kNumber, kDate };

// The text of a number read from a node of `schema`: integer-typed nodes
// get the value truncated toward zero; decimal, float and double nodes and
// nodes the schema does not know get the shortest text that reads back as
// the same double; beyond 1e18 an exponent form.
std::string NumberText(double x, std::int32_t guid, const CSchema* schema) {
  if (std::fabs(x) > 1e18) return metashelf::dataset::ShortestNumber(x, true);
  CNodeInfo info;
  if (schema == nullptr || schema->GetNodeInfoByGUID(guid, &info) == 0) {
    return metashelf::dataset::ShortestNumber(x);
  }
  std::int32_t size = 0;
  info.GetDataTypeSize(size);
  std::string name;
  if (size > 0) {
    name.assign(static_cast<std::size_t>(size) + 1, '\0');
    info.GetDataType(&name[0], size);
    name.resize(std::strlen(name.c_str()));
  }
  if (name == "decimal" || name == "float" || name == "double") {
    return metashelf::dataset::ShortestNumber(x);
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%" PRId64, static_cast<std::int64_t>(std::trunc(x)));
  return buffer;
}

// Column arrays of one rowset.
struct Rowset {
  std::int32_t guids[kRowset];
  std::int32_t positions[kRowset];
  std::int16_t indicators[kRowset];
};

// The rows of one record in the node table of `kind`; dates come back as
// YYYY-MM-DD text.
std::string ListQuery(const char* owner, ValueKind kind, std::int32_t mdsID, std::int64_t metaID) {
  const char* value = kind == ValueKind::kDate ? "TO_CHAR(NODEVALUE,'YYYY-MM-DD')" : "NODEVALUE";
  const char* table = kind == ValueKind::kText     ? "NDTEXT"
                      : kind == ValueKind::kNumber ? "NDNUMBER"
                                                   : "NDDATETIME";
  return Format("SELECT NODEGUID,POSITION,%s FROM %s.META_%s_%d WHERE METAID=%" PRId64, value,
                owner, table, mdsID, metaID);
}

// Appends a node per row of the record `metaID` in the node table of `kind`.
std::int32_t ReadList(gis_SQLHDBC_STRU* hdbc, const char* owner, std::int32_t mdsID,
                      std::int64_t metaID, ValueKind kind, const CSchema* schema,
                      CSmartArray<CLeafNode*>& list) {
  const std::string select = ListQuery(owner, kind, mdsID, metaID);
  std::unique_ptr<Rowset> rows(new (std::nothrow) Rowset());
  const std::int32_t slot = kind == ValueKind::kText   ? kTextSlot
                            : kind == ValueKind::kDate ? kDateSlot
                                                       : 8;
  // Not zeroed: a text slot is read only up to its NUL, which the fetch or
  // clear() below puts there (zeroing 400 KB was a third of a record read).
  std::unique_ptr<char[]> values(new (std::nothrow) char[kRowset * slot]);
  if (!rows || !values) return 0;
  double* numbers = reinterpret_cast<double*>(values.get());
  // NULL leaves a slot as it is: text slots start empty, number slots hold
  // a NaN, which no stored number is, so a NULL number reads back empty.
  auto clear = [&]() {
    for (std::uint32_t i = 0; i < kRowset; ++i) {
      if (kind == ValueKind::kNumber) {
        numbers[i] = std::numeric_limits<double>::quiet_NaN();
      } else {
        values[i * slot] = '\0';
      }
    }
  };
  clear();

  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  if (!metashelf::db::Succeeded(gis_SQLPrepare(stmt.get(), select.c_str(), GIS_SQL_NTS))) return 0;
  if (!metashelf::db::Succeeded(gis_SQLSetStmtOption(stmt.get(), GIS_SQL_ROWSET_SIZE, kRowset))) {
    return 0;
  }
  if (!metashelf::db::Succeeded(gis_SQLExecute(stmt.get()))) return 0;
  gis_SQLBindCol(stmt.get(), 1, GIS_TYPE_INT, rows->guids, 4, rows->indicators);
  gis_SQLBindCol(stmt.get(), 2, GIS_TYPE_INT, rows->positions, 4, rows->indicators);
  const std::int16_t valueType = kind == ValueKind::kNumber ? GIS_TYPE_FLOAT : GIS_TYPE_STRING;
  const std::int16_t bound =
      gis_SQLBindCol(stmt.get(), 3, valueType, values.get(), slot, rows->indicators);
  if (!metashelf::db::Succeeded(bound)) return 0;

  for (;;) {
    std::uint32_t fetched = 0;
    const std::int16_t rc =
        gis_SQLExtendedFetch(stmt.get(), GIS_SQL_FETCH_NEXT, 1, &fetched, nullptr);
    if (rc == GIS_SQL_NO_DATA) return 1;
    if (!metashelf::db::Succeeded(rc)) return 0;
    if (fetched > kRowset) fetched = kRowset;
    for (std::uint32_t i = 0; i < fetched; ++i) {
      std::unique_ptr<CLeafNode> node(new (std::nothrow) CLeafNode());
      if (!node) return 0;
      node->SetNodeGUID(rows->guids[i]);
      node->SetNodePosition(rows->positions[i]);
      // "guid<position", written without printf.
      char tag[32];
      char* end = std::to_chars(tag, tag + 12, rows->guids[i]).ptr;
      *end++ = '<';
      end = std::to_chars(end, end + 12, rows->positions[i]).ptr;
      *end = '\0';
      node->SetNodeTag(tag);
      if (kind == ValueKind::kNumber) {
        const double x = numbers[i];
        node->SetNodeValue(std::isnan(x) ? "" : NumberText(x, rows->guids[i], schema).c_str());
      } else {
        char* text = values.get() + i * slot;
        text[slot - 1] = '\0';
        node->SetNodeValue(text);
      }
      if (list.Add(node.get()) < 0) return 0;
      node.release();
    }
    clear();
  }
}

}  // namespace

std::int32_t COraMetaSetOper::ReadNodeTextList(std::int32_t mdsID, std::int64_t metaID,
                                               CSmartArray<CLeafNode*>& list) {
  return ReadList(hdbc_, owner_, mdsID, metaID, ValueKind::kText, schema_, list);
}

std::int32_t COraMetaSetOper::ReadNodeNumberList(std::int32_t mdsID, std::int64_t metaID,
                                                 CSmartArray<CLeafNode*>& list) {
  return ReadList(hdbc_, owner_, mdsID, metaID, ValueKind::kNumber, schema_, list);
}

std::int32_t COraMetaSetOper::ReadNodeDateTimeList(std::int32_t mdsID, std::int64_t metaID,
                                                   CSmartArray<CLeafNode*>& list) {
  return ReadList(hdbc_, owner_, mdsID, metaID, ValueKind::kDate, schema_, list);
}

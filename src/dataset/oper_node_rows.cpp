// COraMetaSetOper: single-row inserts into the three node-value tables and
// the deletes of a record's rows. Values are formatted into the statement
// text: text between quotes with each quote doubled, numbers as the
// shortest text that reads back as the same double, dates through to_date.
#include <cinttypes>
#include <cmath>
#include <cstring>

#include "dataset/meta_set_oper.h"
#include "dataset/sql_text.h"
#include "db/statement.h"

using metashelf::dataset::Format;

namespace {

// Runs `text` once; 1 exactly when the driver returned 0.
std::int32_t ExecOnce(gis_SQLHDBC_STRU* hdbc, const std::string& text) {
  metashelf::db::Statement stmt(hdbc);
  if (!stmt.ok()) return 0;
  return gis_SQLExecDirect(stmt.get(), text.c_str(), GIS_SQL_NTS) == GIS_SQL_SUCCESS ? 1 : 0;
}

}  // namespace

std::int32_t COraMetaSetOper::DeleteStructInfo(std::int32_t mdsID, std::int64_t metaID) {
  return ExecOnce(hdbc_, Format("delete from %s.META_STRUCTINFO_%d where MetaID=%" PRId64, owner_,
                                mdsID, metaID));
}

std::int32_t COraMetaSetOper::DeleteNodeText(std::int32_t mdsID, std::int64_t metaID) {
  return ExecOnce(
      hdbc_, Format("delete from %s.META_NDTEXT_%d where MetaID=%" PRId64, owner_, mdsID, metaID));
}

std::int32_t COraMetaSetOper::DeleteNodeNumber(std::int32_t mdsID, std::int64_t metaID) {
  return ExecOnce(hdbc_, Format("delete from %s.META_NDNUMBER_%d where MetaID=%" PRId64, owner_,
                                mdsID, metaID));
}

std::int32_t COraMetaSetOper::DeleteNodeDateTime(std::int32_t mdsID, std::int64_t metaID) {
  return ExecOnce(hdbc_, Format("delete from %s.META_NDDATETIME_%d where MetaID=%" PRId64, owner_,
                                mdsID, metaID));
}

std::int32_t COraMetaSetOper::InsertNodeText(std::int32_t mdsID, std::int64_t metaID,
                                             std::int32_t guid, std::int32_t position,
                                             const char* value) {
  const std::size_t length = value != nullptr ? std::strlen(value) : 0;
  if (length > metashelf::dataset::kMaxTextValue) return 0;
  if (length >= 1) {
    // The value is appended rather than formatted: it can be long, and a
    // second formatting pass would copy it again.
    std::string text = Format(
        "insert into %s.META_NDTEXT_%d(MetaID,NODEGUID,POSITION,"
        "NODEVALUE) values(%" PRId64 ", %d, %d,'",
        owner_, mdsID, metaID, guid, position);
    text.reserve(text.size() + length + 8);
    metashelf::dataset::AppendQuoted(&text, value, length);
    text += "')";
    return ExecOnce(hdbc_, text);
  }
  return ExecOnce(hdbc_, Format("insert into %s.META_NDTEXT_%d(MetaID,NODEGUID,POSITION) "
                                "values(%" PRId64 ", %d, %d)",
                                owner_, mdsID, metaID, guid, position));
}

std::int32_t COraMetaSetOper::InsertNodeNumber(std::int32_t mdsID, std::int64_t metaID,
                                               std::int32_t guid, std::int32_t position,
                                               double value) {
  if (!std::isfinite(value)) return 0;
  return ExecOnce(hdbc_, Format("insert into %s.META_NDNUMBER_%d(MetaID,NODEGUID,POSITION,"
                                "NODEVALUE) values(%" PRId64 ", %d, %d,%s)",
                                owner_, mdsID, metaID, guid, position,
                                metashelf::dataset::ShortestNumber(value).c_str()));
}

std::int32_t COraMetaSetOper::InsertNodeNumberNull(std::int32_t mdsID, std::int64_t metaID,
                                                   std::int32_t guid, std::int32_t position) {
  return ExecOnce(hdbc_, Format("insert into %s.META_NDNUMBER_%d(MetaID,NODEGUID,POSITION) "
                                "values(%" PRId64 ", %d, %d)",
                                owner_, mdsID, metaID, guid, position));
}

std::int32_t COraMetaSetOper::InsertNodeDateTime(std::int32_t mdsID, std::int64_t metaID,
                                                 std::int32_t guid, std::int32_t position,
                                                 const char* value) {
  if (value == nullptr || !metashelf::dataset::IsStorableDate(value)) return 0;
  return ExecOnce(hdbc_, Format("insert into %s.META_NDDATETIME_%d values(%" PRId64
                                ",%d,%d,to_date('%s','YYYY-MM-DD'))",
                                owner_, mdsID, metaID, guid, position, value));
}

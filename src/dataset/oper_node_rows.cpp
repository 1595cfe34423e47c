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

namespace {

// "insert into OWNER.<table>_<mdsID><columns> values(<metaID><sep><guid><sep><position>",
// built by appending: these texts are made once per leaf value, and
// printf-style formatting was a tenth of an import's time.
std::string InsertHead(const char* owner, const char* table, std::int32_t mdsID,
                       const char* columns, std::int64_t metaID, const char* sep, std::int32_t guid,
                       std::int32_t position, std::size_t extra) {
  using metashelf::dataset::AppendInt;
  std::string text;
  text.reserve(112 + extra);
  text += "insert into ";
  text += owner;
  text += '.';
  text += table;
  text += '_';
  AppendInt(&text, mdsID);
  text += columns;
  text += " values(";
  AppendInt(&text, metaID);
  text += sep;
  AppendInt(&text, guid);
  text += sep;
  AppendInt(&text, position);
  return text;
}

}  // namespace

std::int32_t COraMetaSetOper::InsertNodeText(std::int32_t mdsID, std::int64_t metaID,
                                             std::int32_t guid, std::int32_t position,
                                             const char* value) {
  const std::size_t length = value != nullptr ? std::strlen(value) : 0;
  if (length > metashelf::dataset::kMaxTextValue) return 0;
  if (length >= 1) {
    std::string text =
        InsertHead(owner_, "META_NDTEXT", mdsID, "(MetaID,NODEGUID,POSITION,NODEVALUE)", metaID,
                   ", ", guid, position, length + 8);
    text += ",'";
    metashelf::dataset::AppendQuoted(&text, value, length);
    text += "')";
    return ExecOnce(hdbc_, text);
  }
  std::string text = InsertHead(owner_, "META_NDTEXT", mdsID, "(MetaID,NODEGUID,POSITION)", metaID,
                                ", ", guid, position, 1);
  text += ')';
  return ExecOnce(hdbc_, text);
}

std::int32_t COraMetaSetOper::InsertNodeNumber(std::int32_t mdsID, std::int64_t metaID,
                                               std::int32_t guid, std::int32_t position,
                                               double value) {
  if (!std::isfinite(value)) return 0;
  std::string text =
      InsertHead(owner_, "META_NDNUMBER", mdsID, "(MetaID,NODEGUID,POSITION,NODEVALUE)", metaID,
                 ", ", guid, position, 32);
  text += ',';
  text += metashelf::dataset::ShortestNumber(value);
  text += ')';
  return ExecOnce(hdbc_, text);
}

std::int32_t COraMetaSetOper::InsertNodeNumberNull(std::int32_t mdsID, std::int64_t metaID,
                                                   std::int32_t guid, std::int32_t position) {
  std::string text = InsertHead(owner_, "META_NDNUMBER", mdsID, "(MetaID,NODEGUID,POSITION)",
                                metaID, ", ", guid, position, 1);
  text += ')';
  return ExecOnce(hdbc_, text);
}

std::int32_t COraMetaSetOper::InsertNodeDateTime(std::int32_t mdsID, std::int64_t metaID,
                                                 std::int32_t guid, std::int32_t position,
                                                 const char* value) {
  if (value == nullptr || !metashelf::dataset::IsStorableDate(value)) return 0;
  std::string text =
      InsertHead(owner_, "META_NDDATETIME", mdsID, "", metaID, ",", guid, position, 40);
  text += ",to_date('";
  text += value;
  text += "','YYYY-MM-DD'))";
  return ExecOnce(hdbc_, text);
}

// Opening the database, the catalog and collections for the commands, and
// the lookups they share (schemas and collections by name, fields, node
// values).
#include "session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "metashelf/base/numbers.h"
#include "metashelf/base/password_mask.h"
#include "metashelf/search.h"
#include "shipped.h"

namespace metashelf::cli {

void Fail(const std::string& message) {
  throw ToolError(kExitFailure, message);
}
void UsageFail(const std::string& message) {
  throw ToolError(kExitUsage, message);
}

Transaction::Transaction(CHostDataBase& db) : db_(db) {
  if (db_.Begin() != 1) Fail("cannot start a transaction: " + db_.LastError());
  open_ = true;
}

Transaction::~Transaction() {
  if (open_) db_.Rollback();
}

void Transaction::Commit() {
  if (!open_) return;
  open_ = false;
  if (db_.Commit() != 1) {
    const std::string reason = db_.LastError();
    db_.Rollback();
    Fail("cannot commit: " + reason);
  }
}

bool Transaction::Rollback() {
  if (!open_) return true;
  open_ = false;
  return db_.Rollback() == 1;
}

Session::Session(const Globals& globals, Access access) : globals_(globals) {
  if (globals_.db.empty()) globals_.db = CHostDataBase::DefaultUri();
  std::string error;
  const CHostDataBase::OpenMode mode = access == Access::kRead ? CHostDataBase::OpenMode::kReadOnly
                                       : access == Access::kWrite
                                           ? CHostDataBase::OpenMode::kExisting
                                           : CHostDataBase::OpenMode::kCreate;
  db_ = CHostDataBase::Open(globals_.db, mode, &error);
  if (!db_) {
    // A missing database is the one case with a next step to name.
    if (error.rfind("no database at ", 0) == 0) Fail(error + "; run metashelf init");
    // The library's reason names the database already, its password masked.
    for (const char* said : {"cannot open ", "cannot prepare "}) {
      const std::string prefix = said;
      if (error.rfind(prefix, 0) == 0) {
        Fail(prefix + "database " + OneLine(error.substr(prefix.size())));
      }
    }
    Fail("cannot open database " + base::MaskPassword(globals_.db) +
         (error.empty() ? std::string() : ": " + OneLine(error)));
  }
  displayUri_ = db_->DisplayUri();
}

Session::~Session() {
  if (catalog_) catalog_->mtdb_Close();
  catalog_.reset();
}

CMetaDataBase_abs& Session::catalog() {
  if (catalog_) return *catalog_;
  const std::int32_t id = db_->FindMtdb(globals_.catalog.c_str());
  if (id <= 0) {
    Fail("no catalog '" + globals_.catalog + "' in " + displayUri_ +
         " (create it with: metashelf init --catalog " + globals_.catalog + ")");
  }
  CMetaDataBase_abs* object = nullptr;
  if (NewMdb(&object) != 1 || object == nullptr) Fail("cannot create a catalog object");
  CatalogPtr catalog(object);
  if (catalog->mtdb_Open(db_.get(), id, 0) != 1) {
    Fail("cannot open catalog '" + globals_.catalog + "' in " + displayUri_);
  }
  catalog_ = std::move(catalog);
  catalogId_ = id;
  return *catalog_;
}

std::int32_t Session::catalogId() {
  catalog();
  return catalogId_;
}

std::int32_t Session::FindSchema(const std::string& name, std::string* registered) {
  std::vector<std::string> names = {name};
  if (const ShippedSchema* s = FindShippedSchema(name); s != nullptr && name != s->registeredName) {
    names.emplace_back(s->registeredName);
  }
  for (const std::string& n : names) {
    if (catalog().schema_IsExist(n.c_str()) != 1) continue;
    std::vector<char> buffer(n.begin(), n.end());
    buffer.push_back('\0');
    std::int32_t id = 0;
    catalog().schema_GetID(buffer.data(), &id);
    if (id > 0) {
      if (registered != nullptr) *registered = n;
      return id;
    }
  }
  return 0;
}

std::int32_t Session::RequireSchema(const std::string& name, std::string* registered) {
  const std::int32_t id = FindSchema(name, registered);
  if (id <= 0) {
    Fail("no schema '" + name + "' in catalog '" + globals_.catalog +
         "' (see: metashelf schema list; the shipped ones are added with: metashelf schema add "
         "fgdc, metashelf schema add iso19139)");
  }
  return id;
}

std::string Session::SchemaName(std::int32_t schemaId) {
  char buffer[256] = {};
  if (catalog().schema_GetName(schemaId, buffer, sizeof buffer) != 1) return std::string();
  return buffer;
}

namespace {

// A catalog's id list in ascending order, as the tool lists it.
std::vector<std::int32_t> Ascending(const CSmartArray<std::int32_t>& ids) {
  std::vector<std::int32_t> out;
  for (std::int32_t i = 0; i < ids.GetSize(); ++i) out.push_back(ids[i]);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

std::vector<std::int32_t> Session::SchemaIds() {
  CSmartArray<std::int32_t> ids;
  catalog().schema_GetIDList(ids);
  return Ascending(ids);
}

std::int32_t Session::FindCollection(const std::string& name) {
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  std::int32_t id = 0;
  catalog().mds_GetID(buffer.data(), &id);
  if (id <= 0) return 0;
  // Collection names are looked up across the owner's catalogs; keep ours.
  if (FindMtdbByMds(db_.get(), id) != catalogId()) return 0;
  return id;
}

std::vector<std::int32_t> Session::CollectionIds() {
  CSmartArray<std::int32_t> ids;
  catalog().mds_GetIDList(ids);
  return Ascending(ids);
}

Collection::Collection(Session& session, const std::string& name) : session_(session), name_(name) {
  id_ = session_.FindCollection(name);
  if (id_ <= 0) {
    Fail("no collection '" + name + "' in catalog '" + session_.globals().catalog +
         "' (see: metashelf collection list)");
  }
  CMetaDataSet_abs* object = nullptr;
  if (NewMds(&object) != 1 || object == nullptr) Fail("cannot create a collection object");
  set_.reset(object);
  if (set_->Open(&session_.catalog(), id_) != 1) Fail("cannot open collection '" + name + "'");
  if (set_->GetCSchemaPtr(&schema_) != 1 || schema_ == nullptr) {
    Fail("collection '" + name + "' has no usable schema");
  }
  X_CLS_MDS info{};
  if (session_.catalog().mds_GetInfo(id_, &info) == 1) {
    schemaName_ = session_.SchemaName(info.schemaID);
  }
}

Collection::~Collection() {
  if (set_) set_->Close();
}

bool Collection::HasRecord(std::int64_t metaId) {
  if (metaId <= 0) return false;
  X_CLS_METAINFO info{};
  return session_.catalog().meta_GetInfo(metaId, &info) == 1 && info.colID == id_;
}

void Collection::RequireRecord(std::int64_t metaId) {
  if (!HasRecord(metaId)) {
    Fail("no record " + std::to_string(metaId) + " in collection '" + name_ + "'");
  }
}

std::vector<std::int64_t> Collection::RecordIds() {
  CSmartArray<std::int64_t> ids;
  if (set_->GetIDList(ids) != 1 && RecordCount() > 0) {
    Fail("cannot list the records of collection '" + name_ + "'");
  }
  std::vector<std::int64_t> out;
  for (std::int32_t i = 0; i < ids.GetSize(); ++i) out.push_back(ids[i]);
  return out;
}

std::int32_t Collection::RecordCount() {
  std::int32_t count = 0;
  if (set_->GetNum(&count) != 1) Fail("cannot count the records of collection '" + name_ + "'");
  return count;
}

bool Collection::ResolveField(const std::string& name, FieldInfo* info, std::int32_t* guid) {
  CNodeInfo node;
  const bool byPath = name.find('/') != std::string::npos;
  const bool found = byPath ? schema_->GetNodeInfoByPath(name.c_str(), &node) == 1
                            : (schema_->GetNodeInfoByAlias(name.c_str(), &node) == 1 ||
                               schema_->GetNodeInfoByPath(name.c_str(), &node) == 1);
  if (!found) return false;
  short type = 0;
  node.GetTableType(type);
  if (info != nullptr) {
    info->path = node.Path();
    info->tableType = type;
  }
  if (guid != nullptr) node.GetNodeGUID(*guid);
  return true;
}

FieldResolver Collection::Resolver() {
  return [this](const std::string& name, FieldInfo* info) {
    return ResolveField(name, info, nullptr);
  };
}

std::vector<std::pair<std::int64_t, std::string>> Collection::NodeValues(std::int32_t guid,
                                                                         short tableType) {
  if (tableType < 1 || tableType > 3) return {};
  // The call does not say how many elements it filled: unfilled ones keep
  // metaID 0. A block too small stops the read short, so grow and retry
  // until the last block of 100 rows surely fitted.
  std::int32_t capacity = std::max<std::int32_t>(256, RecordCount() + 128);
  for (;;) {
    std::vector<NodeDataStrcT> values(static_cast<std::size_t>(capacity));
    for (NodeDataStrcT& v : values) v.metaID = 0;
    if (set_->GetNodeDataByGuid(guid, static_cast<char>(tableType), values.data(), capacity) != 1) {
      Fail("cannot read the values of node " + std::to_string(guid) + " in collection '" + name_ +
           "'");
    }
    std::size_t filled = 0;
    while (filled < values.size() && values[filled].metaID != 0) ++filled;
    if (filled + 100 > static_cast<std::size_t>(capacity) && capacity < (1 << 28)) {
      capacity *= 2;
      continue;
    }
    std::vector<std::pair<std::int64_t, std::string>> out;
    out.reserve(filled);
    for (std::size_t i = 0; i < filled; ++i)
      out.emplace_back(values[i].metaID, ValueText(values[i], tableType));
    return out;
  }
}

std::string Collection::ValueText(const NodeDataStrcT& v, short tableType) {
  return tableType == 1   ? std::string(v.textValue, strnlen(v.textValue, 512))
         : tableType == 2 ? base::ShortestDouble(v.numberValue)
                          : std::string(v.dateValue, strnlen(v.dateValue, 16));
}

bool Collection::AliasNode(const char* alias, std::int32_t* guid, short* tableType) {
  CNodeInfo node;
  if (schema_->GetNodeInfoByAlias(alias, &node) != 1) return false;
  node.GetNodeGUID(*guid);
  node.GetTableType(*tableType);
  return true;
}

std::vector<std::pair<std::int64_t, std::string>> Collection::AliasValues(const char* alias) {
  std::int32_t guid = 0;
  short type = 0;
  if (!AliasNode(alias, &guid, &type)) return {};
  return NodeValues(guid, type);
}

std::vector<std::pair<std::int64_t, std::string>> Collection::AliasValues(
    const char* alias, const std::vector<std::int64_t>& ids) {
  if (ids.empty()) return {};
  std::int32_t guid = 0;
  short type = 0;
  if (!AliasNode(alias, &guid, &type) || type < 1 || type > 3) return {};
  std::vector<NodeDataStrcT> values;
  if (MsNodeValuesOf(set_.get(), guid, static_cast<char>(type), ids, &values) != 1) {
    Fail("cannot read the values of node " + std::to_string(guid) + " in collection '" + name_ +
         "'");
  }
  std::vector<std::pair<std::int64_t, std::string>> out;
  out.reserve(values.size());
  for (const NodeDataStrcT& v : values) out.emplace_back(v.metaID, ValueText(v, type));
  return out;
}

void FailIfDamaged(Session& session) {
  if (session.db().CheckStorage(nullptr) != 1) Fail("the database is damaged; run metashelf check");
}

std::string OneLine(const std::string& text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      blank = !out.empty();
      continue;
    }
    if (blank) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

std::int64_t ParseRecordId(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  // Digits only: strtoll alone would take " 1" and "+1" as 1.
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  const long long v = digits ? std::strtoll(text.c_str(), &end, 10) : 0;
  if (!digits || *end != '\0' || errno != 0 || v <= 0) {
    UsageFail("'" + text + "' is not a record id (a positive whole number)");
  }
  return v;
}

}  // namespace metashelf::cli

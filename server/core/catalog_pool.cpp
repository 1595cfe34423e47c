// Connections of the server and the pool that lends them (catalog_pool.h).
#include "core/catalog_pool.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#if __has_include("metashelf/search.h")
#include "metashelf/search.h"
#define METASHELF_SERVER_INDEXED_SEARCH 1
#endif
#include <utility>

namespace metashelf::server {

OpenCollection::OpenCollection(std::int32_t id, std::string name, std::string schemaName,
                               SetPtr set, CSchema* schema)
    : id_(id),
      name_(std::move(name)),
      schemaName_(std::move(schemaName)),
      set_(std::move(set)),
      schema_(schema) {}

OpenCollection::~OpenCollection() {
  if (set_) set_->Close();
}

bool OpenCollection::Alias(const std::string& alias, NodeRef* node) const {
  CNodeInfo info;
  if (schema_->GetNodeInfoByAlias(alias.c_str(), &info) != 1) return false;
  if (node != nullptr) {
    info.GetNodeGUID(node->guid);
    info.GetTableType(node->tableType);
    node->path = info.Path();
  }
  return true;
}

std::vector<NodeRef> OpenCollection::TextAliases() const {
  std::vector<NodeRef> out;
  const std::int32_t count = schema_->GetNodeCount();
  for (std::int32_t i = 0; i < count; ++i) {
    CNodeInfo info;
    if (schema_->GetNodeInfoAt(i, &info) != 1 || info.Alias().empty()) continue;
    NodeRef node;
    info.GetTableType(node.tableType);
    if (node.tableType != 1) continue;
    info.GetNodeGUID(node.guid);
    node.path = info.Path();
    out.push_back(std::move(node));
  }
  return out;
}

std::string OpenCollection::RootElement() const {
  CNodeInfo info;
  if (schema_->GetNodeCount() < 1 || schema_->GetNodeInfoAt(0, &info) != 1) return std::string();
  std::string path = info.Path();
  if (!path.empty() && path[0] == '/') path.erase(0, 1);
  return path.substr(0, path.find('/'));
}

bool OpenCollection::RecordIds(std::vector<std::int64_t>* ids) {
  CSmartArray<std::int64_t> list;
  std::int32_t count = 0;
  if (set_->GetNum(&count) != 1) return false;
  if (count > 0 && set_->GetIDList(list) != 1) return false;
  ids->clear();
  ids->reserve(static_cast<std::size_t>(list.GetSize()));
  for (std::int32_t i = 0; i < list.GetSize(); ++i) ids->push_back(list[i]);
  std::sort(ids->begin(), ids->end());
  return true;
}

bool OpenCollection::IndexedSearchReady() {
#ifdef METASHELF_SERVER_INDEXED_SEARCH
  if (!indexReady_) indexReady_ = MsSearchIndexesReady(set_.get()) == 1;
#endif
  return indexReady_;
}

std::unique_ptr<Connection> Connection::Open(const std::string& uri, const std::string& catalog,
                                             std::string* error) {
  std::unique_ptr<Connection> c(new Connection());
  c->db_ = CHostDataBase::Open(uri, error);
  if (!c->db_) return nullptr;
  const std::int32_t id = c->db_->FindMtdb(catalog.c_str());
  if (id <= 0) {
    *error = "no catalog '" + catalog + "' in " + c->db_->DisplayUri();
    return nullptr;
  }
  CMetaDataBase_abs* object = nullptr;
  if (NewMdb(&object) != 1 || object == nullptr) {
    *error = "cannot create a catalog object";
    return nullptr;
  }
  c->catalog_.reset(object);
  if (c->catalog_->mtdb_Open(c->db_.get(), id, 0) != 1) {
    *error = "cannot open catalog '" + catalog + "' in " + c->db_->DisplayUri();
    return nullptr;
  }
  c->catalogId_ = id;
  return c;
}

Connection::~Connection() {
  open_.clear();  // sets close before their catalog
  if (catalog_) catalog_->mtdb_Close();
}

std::vector<CollectionInfo> Connection::Collections() {
  CSmartArray<std::int32_t> list;
  catalog_->mds_GetIDList(list);
  std::vector<std::int32_t> ids;
  for (std::int32_t i = 0; i < list.GetSize(); ++i) ids.push_back(list[i]);
  // Names and schemas of collections stay as they are while their ids do,
  // and a remark changed elsewhere shows within a second: one statement per
  // request instead of three per collection.
  const auto now = std::chrono::steady_clock::now();
  if (ids == listedIds_ && now - listedAt_ < std::chrono::seconds(1)) return listed_;
  std::vector<CollectionInfo> out;
  for (std::int32_t id : ids) {
    X_CLS_MDS info{};
    if (catalog_->mds_GetInfo(id, &info) != 1) continue;
    CollectionInfo c;
    c.id = info.colID;
    c.name.assign(info.colName, strnlen(info.colName, sizeof info.colName));
    c.remark.assign(info.remark, strnlen(info.remark, sizeof info.remark));
    char schema[256] = {};
    if (catalog_->schema_GetName(info.schemaID, schema, sizeof schema) == 1) c.schemaName = schema;
    out.push_back(std::move(c));
  }
  std::sort(out.begin(), out.end(),
            [](const CollectionInfo& a, const CollectionInfo& b) { return a.id < b.id; });
  listedIds_ = std::move(ids);
  listed_ = out;
  listedAt_ = now;
  return out;
}

OpenCollection* Connection::FindById(std::int32_t id) {
  if (id <= 0) return nullptr;
  auto it = open_.find(id);
  if (it != open_.end()) return it->second.get();
  // The catalog lists collections across the owner's catalogs; keep ours.
  if (FindMtdbByMds(db_.get(), id) != catalogId_) return nullptr;
  X_CLS_MDS info{};
  if (catalog_->mds_GetInfo(id, &info) != 1) return nullptr;
  CMetaDataSet_abs* object = nullptr;
  if (NewMds(&object) != 1 || object == nullptr) return nullptr;
  SetPtr set(object);
  if (set->Open(catalog_.get(), id) != 1) return nullptr;
  CSchema* schema = nullptr;
  if (set->GetCSchemaPtr(&schema) != 1 || schema == nullptr) return nullptr;
  char schemaName[256] = {};
  catalog_->schema_GetName(info.schemaID, schemaName, sizeof schemaName);
  auto open = std::make_unique<OpenCollection>(
      id, std::string(info.colName, strnlen(info.colName, sizeof info.colName)), schemaName,
      std::move(set), schema);
  OpenCollection* result = open.get();
  open_.emplace(id, std::move(open));
  return result;
}

OpenCollection* Connection::Find(const std::string& name) {
  if (name.empty() || name.size() > 127) return nullptr;
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  std::int32_t id = 0;
  if (catalog_->mds_GetID(buffer.data(), &id) != 1 || id <= 0) return nullptr;
  OpenCollection* found = FindById(id);
  return found != nullptr && found->name() == name ? found : nullptr;
}

OpenCollection* Connection::CollectionOfRecord(std::int64_t id) {
  if (id <= 0) return nullptr;
  X_CLS_METAINFO info{};
  if (catalog_->meta_GetInfo(id, &info) != 1) return nullptr;
  return FindById(info.colID);
}

std::string Connection::SchemaText(std::int32_t schemaId) {
  CBlobData blob;
  if (catalog_->GetSchemaDoc(schemaId, &blob) != 1) return std::string();
  const auto& bytes = blob.Bytes();
  return std::string(bytes.begin(), bytes.end());
}

Lease::Lease(ConnectionPool* pool, std::unique_ptr<Connection> connection)
    : pool_(pool), connection_(std::move(connection)) {}

Lease::~Lease() {
  if (pool_ != nullptr && connection_) pool_->Release(std::move(connection_));
}

ConnectionPool::ConnectionPool(std::string uri, std::string catalog, int size)
    : uri_(std::move(uri)), catalog_(std::move(catalog)), size_(std::max(1, size)) {}

ConnectionPool::~ConnectionPool() = default;

Lease ConnectionPool::Acquire(std::string* error) {
  std::unique_lock<std::mutex> lock(mutex_);
  freed_.wait(lock, [this] { return !idle_.empty() || opened_ < size_; });
  if (!idle_.empty()) {
    std::unique_ptr<Connection> c = std::move(idle_.back());
    idle_.pop_back();
    return Lease(this, std::move(c));
  }
  ++opened_;
  lock.unlock();
  std::unique_ptr<Connection> c = Connection::Open(uri_, catalog_, error);
  if (!c) {
    lock.lock();
    --opened_;
    freed_.notify_one();
    return Lease(nullptr, nullptr);
  }
  return Lease(this, std::move(c));
}

void ConnectionPool::Release(std::unique_ptr<Connection> connection) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(connection));
  }
  freed_.notify_one();
}

}  // namespace metashelf::server

// The server's database connections. Each request borrows one Connection
// from a bounded pool and gives it back when done: a connection is its own
// database object (a SQLite reader in WAL beside any writer, or a PostgreSQL
// session) with the catalog opened on it and the collections it has served
// so far kept open. Nothing is shared between connections, so requests on
// different connections never wait for one another in the library.
#ifndef METASHELF_SERVER_CORE_CATALOG_POOL_H_
#define METASHELF_SERVER_CORE_CATALOG_POOL_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"

namespace metashelf::server {

struct ObjectDeleter {
  void operator()(CMetaObject_abs* object) const { DeleteMdb(object); }
};
using CatalogPtr = std::unique_ptr<CMetaDataBase_abs, ObjectDeleter>;
using SetPtr = std::unique_ptr<CMetaDataSet_abs, ObjectDeleter>;

// A schema node that a queryable or a record field stands for.
struct NodeRef {
  std::int32_t guid = 0;
  std::string path;
  short tableType = 0;  // 1 text, 2 number, 3 date; 0 holds no value
};

// One opened collection of the catalog.
class OpenCollection {
 public:
  OpenCollection(std::int32_t id, std::string name, std::string schemaName, SetPtr set,
                 CSchema* schema);
  ~OpenCollection();

  std::int32_t id() const { return id_; }
  const std::string& name() const { return name_; }
  const std::string& schemaName() const { return schemaName_; }
  CMetaDataSet_abs& set() { return *set_; }
  CSchema& schema() { return *schema_; }

  // The node of a search alias; false when the schema has none.
  bool Alias(const std::string& alias, NodeRef* node) const;
  // Every aliased node that holds text, in schema order (free text).
  std::vector<NodeRef> TextAliases() const;
  // The element that every record of the collection starts with, as the
  // schema names it ("metadata", "gmd:MD_Metadata").
  std::string RootElement() const;
  // Every record id, ascending.
  bool RecordIds(std::vector<std::int64_t>* ids);
  // Whether the library's search indexes of the collection (free text,
  // boxes) are complete and may answer searches. Asked until they are,
  // then kept.
  bool IndexedSearchReady();
  // The names the catalog interface offers this collection's records
  // under, worked out once per connection (the schema of an open
  // collection never changes); empty until set.
  std::optional<std::vector<std::string>>& outputSchemaNames() { return outputSchemaNames_; }

 private:
  std::int32_t id_;
  std::string name_;
  std::string schemaName_;
  SetPtr set_;
  CSchema* schema_;
  bool indexReady_ = false;
  std::optional<std::vector<std::string>> outputSchemaNames_;
};

// Name, schema and record count of a collection, for listings.
struct CollectionInfo {
  std::int32_t id = 0;
  std::string name;
  std::string schemaName;
  std::string remark;
};

class Connection {
 public:
  // Opens `uri` and catalog `catalog`; null with `*error` set otherwise.
  static std::unique_ptr<Connection> Open(const std::string& uri, const std::string& catalog,
                                          std::string* error);
  ~Connection();

  CHostDataBase& db() { return *db_; }
  CMetaDataBase_abs& catalog() { return *catalog_; }
  std::int32_t catalogId() const { return catalogId_; }

  // The collections of the catalog, in id order.
  std::vector<CollectionInfo> Collections();
  // The collection called `name` (opened once, then kept); null when the
  // catalog has none.
  OpenCollection* Find(const std::string& name);
  OpenCollection* FindById(std::int32_t id);
  // The collection that holds record `id`, or null.
  OpenCollection* CollectionOfRecord(std::int64_t id);
  // The text of schema `schemaId` as registered; empty when unreadable.
  std::string SchemaText(std::int32_t schemaId);

 private:
  Connection() = default;
  std::unique_ptr<CHostDataBase> db_;
  CatalogPtr catalog_;
  std::int32_t catalogId_ = 0;
  std::map<std::int32_t, std::unique_ptr<OpenCollection>> open_;
  // The listing as last read, the ids it was read for and when.
  std::vector<std::int32_t> listedIds_;
  std::vector<CollectionInfo> listed_;
  std::chrono::steady_clock::time_point listedAt_;
};

class ConnectionPool;

// A borrowed connection, given back when the lease ends.
class Lease {
 public:
  Lease(ConnectionPool* pool, std::unique_ptr<Connection> connection);
  ~Lease();
  Lease(Lease&&) = default;
  Lease(const Lease&) = delete;
  Lease& operator=(const Lease&) = delete;
  Connection* operator->() { return connection_.get(); }
  Connection& operator*() { return *connection_; }
  explicit operator bool() const { return connection_ != nullptr; }

 private:
  ConnectionPool* pool_;
  std::unique_ptr<Connection> connection_;
};

// At most `size` connections, opened when first needed. Acquire waits for
// a free one.
class ConnectionPool {
 public:
  ConnectionPool(std::string uri, std::string catalog, int size);
  ~ConnectionPool();

  // A connection, or an empty lease with `*error` set when none can be
  // opened.
  Lease Acquire(std::string* error);
  int size() const { return size_; }

 private:
  friend class Lease;
  void Release(std::unique_ptr<Connection> connection);

  const std::string uri_;
  const std::string catalog_;
  const int size_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<std::unique_ptr<Connection>> idle_;
  int opened_ = 0;
};

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_CORE_CATALOG_POOL_H_

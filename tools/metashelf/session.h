// What every command of the tool works with: the global options, the error
// that ends a command with a message and an exit status, the opened
// database and catalog (Session), one opened collection (Collection), and a
// transaction that rolls back unless committed.
#ifndef METASHELF_TOOLS_SESSION_H_
#define METASHELF_TOOLS_SESSION_H_

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "metashelf/host.h"
#include "metashelf/metashelf.h"
#include "metashelf/query/query_parser.h"

namespace metashelf::cli {

// The query language the commands read (shared with the server's pages).
using query::FieldInfo;
using query::FieldResolver;
using query::ParsedQuery;
using query::ParseQuery;
using query::QueryError;

// Exit statuses: 0 success, 1 a failure, 2 a usage error.
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

struct Globals {
  std::string db;  // as given (--db or METASHELF_DB); empty: the default
  std::string catalog = "default";
  bool quiet = false;
};

// Ends a command: main prints "metashelf: <message>" and exits with `code`.
class ToolError : public std::runtime_error {
 public:
  ToolError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

[[noreturn]] void Fail(const std::string& message);
[[noreturn]] void UsageFail(const std::string& message);

struct ObjectDeleter {
  void operator()(CMetaObject_abs* object) const { DeleteMdb(object); }
};
using CatalogPtr = std::unique_ptr<CMetaDataBase_abs, ObjectDeleter>;
using SetPtr = std::unique_ptr<CMetaDataSet_abs, ObjectDeleter>;

// Rolls back on destruction unless Commit() succeeded.
class Transaction {
 public:
  explicit Transaction(CHostDataBase& db);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  // Throws ToolError when the commit fails (the work is then rolled back).
  void Commit();
  // Rolls back now; false when the rollback itself failed.
  bool Rollback();

 private:
  CHostDataBase& db_;
  bool open_ = false;
};

// What a command does with the database: kRead opens it read-only (it
// works on read-only media and files of other users, and never creates a
// file); kWrite needs an existing database it can write; kCreate makes the
// database file when missing.
enum class Access { kRead, kWrite, kCreate };

class Session {
 public:
  // Opens the database of `globals` (throws ToolError when it cannot).
  explicit Session(const Globals& globals, Access access = Access::kWrite);
  ~Session();

  CHostDataBase& db() { return *db_; }
  const std::string& uri() const { return displayUri_; }
  const Globals& globals() const { return globals_; }

  // Opens the catalog named by --catalog; fails when there is none.
  CMetaDataBase_abs& catalog();
  std::int32_t catalogId();

  // The registered schema a user's name stands for: the name itself, or the
  // registered name of a shipped schema ("fgdc" -> "KORVEN_FGDC"). 0 when
  // the catalog has no such schema; `registered` receives the name used.
  std::int32_t FindSchema(const std::string& name, std::string* registered);
  std::int32_t RequireSchema(const std::string& name, std::string* registered);
  std::string SchemaName(std::int32_t schemaId);
  std::vector<std::int32_t> SchemaIds();

  // The collection of this catalog called `name`, or 0.
  std::int32_t FindCollection(const std::string& name);
  std::vector<std::int32_t> CollectionIds();

 private:
  Globals globals_;
  std::unique_ptr<CHostDataBase> db_;
  std::string displayUri_;
  CatalogPtr catalog_;
  std::int32_t catalogId_ = 0;
};

// An opened collection of the session's catalog.
class Collection {
 public:
  // Opens collection `name`; throws ToolError when the catalog has none.
  Collection(Session& session, const std::string& name);
  ~Collection();

  CMetaDataSet_abs& set() { return *set_; }
  CSchema& schema() { return *schema_; }
  std::int32_t id() const { return id_; }
  const std::string& name() const { return name_; }
  const std::string& schemaName() const { return schemaName_; }
  Session& session() { return session_; }

  // True when record `metaId` belongs to this collection.
  bool HasRecord(std::int64_t metaId);
  // Throws ToolError naming the record when it does not.
  void RequireRecord(std::int64_t metaId);
  std::vector<std::int64_t> RecordIds();
  std::int32_t RecordCount();

  // A field (alias or node path) of the collection's schema; false when
  // the schema knows none. `guid` may be null.
  bool ResolveField(const std::string& name, FieldInfo* info, std::int32_t* guid);
  FieldResolver Resolver();

  // Every stored value of a node, in record id order, as text (numbers in
  // their shortest form). Reads in growing blocks until all fit.
  std::vector<std::pair<std::int64_t, std::string>> NodeValues(std::int32_t guid, short tableType);
  // The values of the node behind `alias`, or nothing when the schema has
  // no such alias.
  std::vector<std::pair<std::int64_t, std::string>> AliasValues(const char* alias);
  // The same for the records `ids` only (a search's hits), in record id
  // order: a few are read by id, many by one read of every value.
  std::vector<std::pair<std::int64_t, std::string>> AliasValues(
      const char* alias, const std::vector<std::int64_t>& ids);

 private:
  // The node behind `alias` (its GUID and table type); false when the
  // schema has no such alias.
  bool AliasNode(const char* alias, std::int32_t* guid, short* tableType);
  // A value read by GetNodeDataByGuid as text (numbers in their shortest form).
  static std::string ValueText(const NodeDataStrcT& v, short tableType);

  Session& session_;
  SetPtr set_;
  CSchema* schema_ = nullptr;
  std::int32_t id_ = 0;
  std::string name_;
  std::string schemaName_;
};

// Fails with "the database is damaged; run metashelf check" when the
// engine's own check of the file finds a fault; returns otherwise.
void FailIfDamaged(Session& session);

// `text` on one line: line breaks and tabs become blanks, runs of blanks
// one blank, and the ends are trimmed (titles in tab-separated listings).
std::string OneLine(const std::string& text);

// Parses a record id given on the command line; usage error otherwise.
std::int64_t ParseRecordId(const std::string& text);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_SESSION_H_

// CHostDataBase: the database object a host opens by URI. It is the
// CBas_GDataBase/Cora_IDataBase that catalogs are opened on, keeps the
// catalog registry, hands out free ids, and gives the host transactions.
//
//   std::string error;
//   auto db = CHostDataBase::Open("sqlite:metashelf.db", &error);
//   std::int32_t id = db->db_CreateMtdb("default");
//   catalog->mtdb_Open(db.get(), id, 0);
#ifndef METASHELF_HOST_H_
#define METASHELF_HOST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "metashelf/export.h"
#include "metashelf/host_database.h"

class METASHELF_API CHostDataBase : public CBas_GDataBase,
                                    public Cora_IDataBase,
                                    public Cora_IConnection {
 public:
  // Opens "sqlite:PATH" (the file is created when missing) or a PostgreSQL
  // URI ("postgresql://...", "postgres://...") or libpq conninfo string
  // ("host=... dbname=..."). Returns null with `*error` set (passwords never
  // appear in it) when the database cannot be opened.
  static std::unique_ptr<CHostDataBase> Open(const std::string& uri, std::string* error);

  // The default URI: "sqlite:metashelf.db".
  static const char* DefaultUri();

  ~CHostDataBase() override;

  // Catalog registry beyond the lookup of CBas_GDataBase.
  // The id of the catalog called `name`, or 0.
  virtual std::int32_t FindMtdb(const char* name) = 0;
  // Every catalog: id and name, in id order.
  virtual std::vector<std::pair<std::int32_t, std::string>> ListMtdbs() = 0;

  // Transactions for the host. 1 on success, 0 on failure (the reason in
  // LastError()). The library itself never commits or rolls back.
  virtual std::int32_t Begin() = 0;
  virtual std::int32_t Commit() = 0;
  virtual std::int32_t Rollback() = 0;

  // The backend's name: "sqlite" or "postgresql".
  virtual const char* Backend() const = 0;
  // The URI with any password masked, for messages.
  virtual std::string DisplayUri() const = 0;
  virtual const std::string& LastError() const = 0;
};

#endif  // METASHELF_HOST_H_

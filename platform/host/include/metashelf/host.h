// CHostDataBase: the database object a host opens by URI. It is the
// CBas_GDataBase/Cora_IDataBase that catalogs are opened on, keeps the
// catalog registry, hands out free ids, and gives the host transactions.
//
//   std::string error;
//   auto db = CHostDataBase::Open("sqlite:metashelf.db", &error);
//   std::int32_t id = db->db_CreateMtdb("default");
//   catalog->mtdb_Open(db.get(), id, 0);
//
// Owners. Every catalog created through one database object lives in that
// object's owner, db_GetOwner(): FindMtdbByMds, which knows nothing but
// db_GetOwner(), must find every collection of the database's catalogs
// there. The owner is "METASHELF" unless the URI names another
// ("sqlite:PATH?owner=NAME": a letter, then letters, digits or "_", under 32
// characters, upper-cased). Several owners can share one database: each
// object opened with its own owner provisions and uses its own objects, and
// texts naming OWNER.TABLE of any of them run.
//
// SQLite: a database is one file, PATH, which a person can copy, mail and
// open elsewhere once no process has it open (while one has, copy it with
// Backup). It holds the catalog registry (table MS_CATALOGS), the
// sequences and free ids (table MS_SEQUENCES) and every owner's objects as
// tables named "OWNER.TABLE"; SQL texts keep writing OWNER.TABLE, which the
// driver maps to those names. A draw from a sequence is written in the
// transaction that made it; a value handed out is never handed out again,
// even when that transaction rolls back (as Oracle's sequences promise),
// since the object remembers it and raises the sequence past it. The file
// uses WAL with synchronous=NORMAL (a power cut may lose the last commits,
// never consistency) and a 30-second busy timeout. A file of the older
// layout (owners and sequences in files beside PATH) is refused with the
// way to convert it, Upgrade.
//
// The catalog lookup record (db_GetMtdbInfo), kMtdbInfoRecordSize bytes:
//
//   offset 0        4                          132             166
//          +--------+--------------------------+---------------+
//          | id     | catalog name, NUL-ended  | owner, NUL-   |
//          | int32  | (cut at 127 bytes)       | ended         |
//          +--------+--------------------------+---------------+
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

  // How Open treats a SQLite file: kCreate makes it when missing (as the
  // Open above); kExisting needs a database there; kReadOnly needs one and
  // never writes (it opens on read-only media and files the user may not
  // write; every write then fails). A read-write open of a file that cannot
  // be written fails saying the database is read-only. PostgreSQL opens the
  // same way in every mode.
  enum class OpenMode { kCreate, kExisting, kReadOnly };
  static std::unique_ptr<CHostDataBase> Open(const std::string& uri, OpenMode mode,
                                             std::string* error);

  // Converts the SQLite database of `uri` from the older layout of several
  // files (owners in "<stem>.<OWNER>.db", sequences in "<stem>.sequences.db"
  // beside PATH) into one file, in one transaction; the old files are left
  // in place. `*report` says what was done (nothing, for a database already
  // in one file). False with `*error` set, the database unchanged, when a
  // file is missing or unreadable.
  static bool Upgrade(const std::string& uri, std::string* report, std::string* error);

  // The default URI: "sqlite:metashelf.db".
  static const char* DefaultUri();

  ~CHostDataBase() override;

  // Catalog creation (db_CreateMtdb) provisions the owner's catalog objects
  // when they are absent (tables KRDB_META_SCHEMA, KRDB_META_SET,
  // KRDB_META_INFO, package KRPG_MD, sequence KRSQ_SCHEMANODEID) and fails
  // (-1, reason in LastError()) for an empty name, a name over 127 bytes or
  // a name already registered. Catalog ids are never reused.

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
  // The reason of the host's own operations above (catalog registry, ids,
  // transactions); statements run on HDBC() report in LastStatementError().
  virtual const std::string& LastError() const = 0;

  // Another connection to the same database, with the credentials and the
  // owner this one was opened with, as a host object of its own (its
  // transactions, ids and statement errors are its own; nothing is
  // provisioned again), so that a host or the library can work on two
  // connections at once. It sees what this one has committed. Null with
  // `*error` set (passwords never appear in it) when it cannot be opened or
  // the backend offers none (SQLite, whose file a host opens again with Open).
  virtual std::unique_ptr<CHostDataBase> OpenSibling(std::string* error);

  // Writes a consistent copy of the whole database to the new file
  // `destination` while others go on reading and writing (SQLite; the copy
  // is written beside it and renamed into place when whole). 1 on success,
  // 0 with the reason in LastError(): PostgreSQL says to use pg_dump.
  virtual std::int32_t Backup(const char* destination) = 0;
  // The engine's own check of its storage (SQLite's integrity_check): 1
  // when it finds nothing wrong, 0 with each problem it reports in
  // `*problems` (at most 100). PostgreSQL has no such check here: 1.
  virtual std::int32_t CheckStorage(std::vector<std::string>* problems) = 0;

  // A failed statement's diagnostic, as the driver gave it.
  struct StatementError {
    std::string state;        // five characters, SQLSTATE-like ("23000")
    std::int32_t native = 0;  // the backend's own code
    std::string message;      // the database's words
    // Failures counted on the connection since the object was opened; 0
    // when none failed yet (the fields above are then empty). A host reads
    // it before a call to tell whether the call added a failure.
    std::uint64_t number = 0;
  };
  // The last statement that failed on HDBC(), whoever ran it (the library's
  // catalogs and sets included, whether or not they drained it): it is kept
  // after the statement is freed, until the next failure replaces it.
  virtual StatementError LastStatementError() const = 0;
};

#endif  // METASHELF_HOST_H_

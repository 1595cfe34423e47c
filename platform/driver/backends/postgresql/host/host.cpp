// CHostDataBase on PostgreSQL: the catalog registry (schema metashelf_host),
// owners as schemas, ids from database sequences (distinct across every
// connection, never reused, not rolled back) and the host's transactions.
//
// The URI is a postgresql:// (or postgres://) URI or a libpq conninfo
// string; an `owner` option (URI query parameter or conninfo keyword, not
// passed to libpq) names the schema the host's catalogs live in
// (default METASHELF). Messages never hold the password.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "backend_api/catalog_registry.h"
#include "backend_api/connected_host.h"
#include "backend_api/opener.h"
#include "backends/postgresql/connection.h"
#include "backends/postgresql/host/byte_checks.h"
#include "backends/postgresql/host/provisioning.h"
#include "metashelf/base/guard.h"
#include "metashelf/base/owner_name.h"

namespace metashelf {
namespace host {
namespace {

using driver::Diagnostic;
using driver::postgresql::PgConnection;
using driver::postgresql::ResultPtr;
using driver::postgresql::TextParam;

constexpr const char* kDefaultOwner = "METASHELF";

// The catalog's text value tables, META_NDTEXT_<n>, hold values of up to
// 4,000 bytes in NODEVALUE and index them with their node: too wide for a
// btree entry, so they are keyed by their first 512 characters (at most
// 2,048 bytes).
driver::dialect::Rules CatalogRules() {
  driver::dialect::Rules rules;
  rules.prefixKeyed.push_back({"META_NDTEXT_", "NODEVALUE", 512});
  return rules;
}

// Takes the `owner` option out of a URI's query or a conninfo string.
std::string TakeOwner(std::string* uri) {
  std::string owner;
  const bool isUri = uri->rfind("postgresql://", 0) == 0 || uri->rfind("postgres://", 0) == 0;
  if (isUri) {
    const auto query = uri->find('?');
    if (query == std::string::npos) return owner;
    std::string kept;
    std::size_t pos = query + 1;
    while (pos <= uri->size()) {
      auto end = uri->find('&', pos);
      if (end == std::string::npos) end = uri->size();
      const std::string item = uri->substr(pos, end - pos);
      if (item.rfind("owner=", 0) == 0) {
        owner = item.substr(6);
      } else if (!item.empty()) {
        kept += (kept.empty() ? "" : "&") + item;
      }
      pos = end + 1;
    }
    *uri = uri->substr(0, query) + (kept.empty() ? "" : "?" + kept);
    return owner;
  }
  // conninfo: keyword=value pairs separated by blanks.
  std::string kept;
  std::size_t pos = 0;
  while (pos < uri->size()) {
    while (pos < uri->size() && (*uri)[pos] == ' ') ++pos;
    std::size_t end = pos;
    bool quoted = false;
    while (end < uri->size() && (quoted || (*uri)[end] != ' ')) {
      if ((*uri)[end] == '\\') {
        ++end;
      } else if ((*uri)[end] == '\'') {
        quoted = !quoted;
      }
      ++end;
    }
    if (end > uri->size()) end = uri->size();
    const std::string item = uri->substr(pos, end - pos);
    if (item.rfind("owner=", 0) == 0) {
      owner = item.substr(6);
    } else if (!item.empty()) {
      kept += (kept.empty() ? "" : " ") + item;
    }
    pos = end;
  }
  *uri = kept;
  return owner;
}

class PgHostDataBase : public ConnectedHost<PgConnection> {
 public:
  // `conninfo` is what the connection was opened with (the owner option
  // taken out), kept for its siblings and never shown.
  PgHostDataBase(std::unique_ptr<PgConnection> connection, std::string owner, std::string display,
                 std::string conninfo)
      : ConnectedHost(std::move(connection), std::move(owner)),
        display_(std::move(display)),
        conninfo_(std::move(conninfo)) {}

  bool Init(std::string* error) {
    // The owner exists from the start, as an Oracle user does; its catalog
    // objects come with the first catalog.
    const bool ok = InTransaction("ms_init", [&] {
      if (!ProvisionRegistry(connection_.get(), error)) return false;
      Diagnostic diag;
      if (!connection_->Run("CREATE SCHEMA IF NOT EXISTS " + owner_, {}, &diag)) {
        *error = diag.message;
        return false;
      }
      return true;
    });
    if (!ok) return false;
    // Tables made before a VARCHAR2 column held at most its bytes get their
    // checks now. A database that cannot take them at this moment (another
    // host adding the same) opens all the same: the next open adds them.
    std::string ignored;
    const std::string kept = last_error_;
    InTransaction("ms_byte_checks",
                  [&] { return AddByteChecks(connection_.get(), owner_, &ignored); });
    last_error_ = kept;
    return true;
  }

  // CBas_GDataBase
  int db_GetMtdbInfo(std::int32_t mtdbID, unsigned char* record) override {
    return base::Guard<int>(0, [&]() -> int {
      if (record == nullptr) return 0;
      ResultPtr r = Run("SELECT name, owner FROM metashelf_host.ms_catalogs WHERE mtdb_id = $1",
                        {std::to_string(mtdbID)});
      if (!r || PQntuples(r.get()) != 1) return 0;
      FillMtdbInfo(record, mtdbID, PQgetvalue(r.get(), 0, 0), PQgetvalue(r.get(), 0, 1));
      return 1;
    });
  }

  std::int32_t db_CreateMtdb(const char* name) override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      if (!CheckNewCatalogName(*this, name, &last_error_)) return -1;
      std::int32_t id = -1;
      const bool ok = InTransaction("ms_create_mtdb", [&] {
        std::string error;
        if (!ProvisionCatalogObjects(connection_.get(), owner_, &error)) {
          last_error_ = error;
          return false;
        }
        ResultPtr r =
            Run("INSERT INTO metashelf_host.ms_catalogs(mtdb_id, name, owner) "
                "VALUES (nextval('metashelf_host.ms_mtdb_id'), $1, $2) RETURNING mtdb_id",
                {std::string(name), owner_});
        if (!r || PQntuples(r.get()) != 1) return false;
        id = static_cast<std::int32_t>(std::strtol(PQgetvalue(r.get(), 0, 0), nullptr, 10));
        return true;
      });
      return ok ? id : -1;
    });
  }

  std::int32_t db_DeleteMtdb(std::int32_t mtdbID) override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      ResultPtr r = Run("DELETE FROM metashelf_host.ms_catalogs WHERE mtdb_id = $1",
                        {std::to_string(mtdbID)});
      if (!r) return 0;
      return std::strcmp(PQcmdTuples(r.get()), "1") == 0 ? 1 : 0;
    });
  }

  // Cora_IDataBase
  std::int32_t db_GetFreeXCLSID() override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      // Ids are drawn a block at a time, so that a record's add does not wait
      // for one of its own; ids are distinct and never reused all the same,
      // and one this object never hands out is merely skipped.
      if (nextIds_.empty()) {
        ResultPtr r = Run("SELECT nextval('metashelf_host.ms_xclsid') FROM generate_series(1, " +
                              std::to_string(kIdBlock) + ")",
                          {});
        if (!r) return 0;
        for (int i = 0; i < PQntuples(r.get()); ++i) {
          nextIds_.push_back(
              static_cast<std::int32_t>(std::strtol(PQgetvalue(r.get(), i, 0), nullptr, 10)));
        }
        std::sort(nextIds_.begin(), nextIds_.end(), std::greater<std::int32_t>());
        if (nextIds_.empty()) return 0;
      }
      const std::int32_t id = nextIds_.back();
      nextIds_.pop_back();
      return id;
    });
  }

  // CHostDataBase
  std::int32_t FindMtdb(const char* name) override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      if (name == nullptr) return 0;
      ResultPtr r = Run("SELECT mtdb_id FROM metashelf_host.ms_catalogs WHERE name = $1",
                        {std::string(name)});
      if (!r || PQntuples(r.get()) != 1) return 0;
      return static_cast<std::int32_t>(std::strtol(PQgetvalue(r.get(), 0, 0), nullptr, 10));
    });
  }

  std::vector<std::pair<std::int32_t, std::string>> ListMtdbs() override {
    return base::Guard<std::vector<std::pair<std::int32_t, std::string>>>(
        std::vector<std::pair<std::int32_t, std::string>>(),
        [&]() -> std::vector<std::pair<std::int32_t, std::string>> {
          std::vector<std::pair<std::int32_t, std::string>> out;
          ResultPtr r =
              Run("SELECT mtdb_id, name FROM metashelf_host.ms_catalogs ORDER BY mtdb_id", {});
          if (!r) return out;
          for (int i = 0; i < PQntuples(r.get()); ++i) {
            out.emplace_back(
                static_cast<std::int32_t>(std::strtol(PQgetvalue(r.get(), i, 0), nullptr, 10)),
                PQgetvalue(r.get(), i, 1));
          }
          return out;
        });
  }

  std::int32_t Begin() override {
    return base::Guard<std::int32_t>(0, [&] { return Run("BEGIN", {}) ? 1 : 0; });
  }
  std::int32_t Commit() override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      ResultPtr r = Run("COMMIT", {});
      if (!r) return 0;
      // COMMIT of a transaction that an error aborted rolls it back and says so
      // only in its command tag.
      if (std::strcmp(PQcmdStatus(r.get()), "ROLLBACK") == 0) {
        last_error_ = "the transaction had failed and was rolled back";
        return 0;
      }
      return 1;
    });
  }
  std::int32_t Rollback() override {
    return base::Guard<std::int32_t>(0, [&] { return Run("ROLLBACK", {}) ? 1 : 0; });
  }

  const char* Backend() const override { return "postgresql"; }
  // A copy of a PostgreSQL database while others use it is pg_dump's work
  // (it reads in one snapshot); the server checks its own storage.
  std::int32_t Backup(const char* /*destination*/) override {
    return base::Guard<std::int32_t>(0, [&]() -> std::int32_t {
      last_error_ =
          "a PostgreSQL database is copied with pg_dump (for example: pg_dump -Fc -f FILE DBNAME), "
          "which reads one consistent snapshot while others work";
      return 0;
    });
  }
  std::int32_t CheckStorage(std::vector<std::string>* /*problems*/) override { return 1; }
  std::string DisplayUri() const override { return display_; }
  std::unique_ptr<CHostDataBase> OpenSibling(std::string* error) override;

 private:
  ResultPtr Run(const std::string& text, const std::vector<TextParam>& params) {
    Diagnostic diag;
    ResultPtr r = connection_->Run(text, params, &diag);
    if (!r) last_error_ = diag.message;
    return r;
  }

  // Runs `work` all-or-nothing: in a transaction of its own, or in a
  // savepoint when the host has one open. Work the server undid as a
  // deadlock's victim (another host provisioning or registering at the
  // same moment) is done again, a few times at most.
  template <typename Work>
  bool InTransaction(const char* savepoint, Work work) {
    constexpr int kAttempts = 4;
    for (int attempt = 1;; ++attempt) {
      if (InTransactionOnce(savepoint, work)) return true;
      const bool victim =
          last_error_.rfind("[40P01]", 0) == 0 || last_error_.rfind("[40001]", 0) == 0;
      if (!victim || attempt >= kAttempts) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
    }
  }

  template <typename Work>
  bool InTransactionOnce(const char* savepoint, Work work) {
    const bool nested = PQtransactionStatus(connection_->raw()) != PQTRANS_IDLE;
    const std::string sp = savepoint;
    if (!Run(nested ? "SAVEPOINT " + sp : std::string("BEGIN"), {})) return false;
    if (work()) {
      if (Run(nested ? "RELEASE SAVEPOINT " + sp : std::string("COMMIT"), {})) return true;
    }
    const std::string keep = last_error_;
    if (nested) {
      Run("ROLLBACK TO SAVEPOINT " + sp, {});
      Run("RELEASE SAVEPOINT " + sp, {});
    } else {
      Run("ROLLBACK", {});
    }
    last_error_ = keep;
    return false;
  }

  static constexpr int kIdBlock = 16;
  std::string display_;
  std::string conninfo_;
  std::vector<std::int32_t> nextIds_;  // drawn, not handed out yet; last first
};

}  // namespace

// The passwords an address carries: the URI's user information after the
// first ':' up to the last '@' before the host, and the value of every
// password key (conninfo or query parameter), whatever its case.
std::vector<std::string> PasswordsOf(const std::string& uri) {
  std::vector<std::string> out;
  const std::size_t scheme = uri.find("://");
  if (scheme != std::string::npos) {
    const std::size_t start = scheme + 3;
    const std::size_t end = uri.find_first_of("/?#", start);
    const std::size_t at = uri.rfind('@', end == std::string::npos ? uri.size() : end);
    const std::size_t colon = uri.find(':', start);
    if (at != std::string::npos && at >= start && colon != std::string::npos && colon < at) {
      out.push_back(uri.substr(colon + 1, at - colon - 1));
    }
  }
  std::string lower = uri;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  for (std::size_t p = lower.find("password"); p != std::string::npos;
       p = lower.find("password", p + 8)) {
    std::size_t v = p + 8;
    while (v < uri.size() && uri[v] == ' ') ++v;
    if (v >= uri.size() || uri[v] != '=') continue;
    ++v;
    while (v < uri.size() && uri[v] == ' ') ++v;
    std::size_t e = v;
    if (v < uri.size() && uri[v] == '\'') {
      ++v;
      e = uri.find('\'', v);
      if (e == std::string::npos) e = uri.size();
    } else {
      while (e < uri.size() && uri[e] != ' ' && uri[e] != '&') ++e;
    }
    out.push_back(uri.substr(v, e - v));
  }
  return out;
}

// `text` with every password of `uri`, and every part of one that libpq
// may have taken for something else (an unencoded '@' makes the tail of a
// password part of the host name), replaced by "****"; on one line.
std::string WithoutPasswords(std::string text, const std::string& uri) {
  std::vector<std::string> parts;
  for (const std::string& password : PasswordsOf(uri)) {
    if (password.empty() || password == "****") continue;
    parts.push_back(password);
    for (std::size_t b = 0, at; b <= password.size(); b = at + 1) {
      at = password.find('@', b);
      if (at == std::string::npos) at = password.size();
      if (at - b >= 2 && at - b < password.size()) parts.push_back(password.substr(b, at - b));
    }
  }
  // Longest first, so that a part never leaves the rest of a longer one.
  std::sort(parts.begin(), parts.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& part : parts) {
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 4)) {
      text.replace(p, part.size(), "****");
    }
  }
  // libpq ends lines of its messages with a line break and indents the
  // next with a tab: one line, as every message of ours.
  std::string out;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

// The database exists before metashelf opens it, whatever the mode asks: a
// server's databases are made by its administrator.
std::unique_ptr<CHostDataBase> OpenPostgreSQL(const std::string& uri,
                                              CHostDataBase::OpenMode /*mode*/,
                                              std::string* error) {
  const std::string display = WithoutPasswords(driver::postgresql::MaskPassword(uri), uri);
  std::string conninfo = uri;
  std::string owner = TakeOwner(&conninfo);
  if (owner.empty()) owner = kDefaultOwner;
  UpperCaseOwner(&owner);
  if (!base::IsOwnerName(owner)) {
    *error = InvalidOwnerMessage(owner);
    return nullptr;
  }
  std::string reason;
  auto connection = PgConnection::Open(conninfo, &reason);
  if (!connection) {
    *error = "cannot open " + display + ": " +
             WithoutPasswords(driver::postgresql::MaskPassword(reason), uri);
    return nullptr;
  }
  connection->SetRules(CatalogRules());
  auto db = std::make_unique<PgHostDataBase>(std::move(connection), owner, display, conninfo);
  if (!db->Init(&reason)) {
    *error = "cannot prepare " + display + ": " + WithoutPasswords(reason, uri);
    return nullptr;
  }
  return db;
}

namespace {

// The registry and the owner's schema are there already: the sibling only
// connects, with the rules its opener was given.
std::unique_ptr<CHostDataBase> PgHostDataBase::OpenSibling(std::string* error) {
  std::string ignored;
  std::string& message = error ? *error : ignored;
  return base::Guard(std::unique_ptr<CHostDataBase>(), [&]() -> std::unique_ptr<CHostDataBase> {
    std::string reason;
    auto connection = PgConnection::Open(conninfo_, &reason);
    if (!connection) {
      message = "cannot open " + display_ + ": " +
                WithoutPasswords(driver::postgresql::MaskPassword(reason), conninfo_);
      return nullptr;
    }
    connection->SetRules(connection_->rules());
    connection->faults().StartAsSiblingOf(connection_->faults());
    return std::make_unique<PgHostDataBase>(std::move(connection), owner_, display_, conninfo_);
  });
}

bool IsPostgreSQLUri(const std::string& uri) {
  return uri.rfind("postgresql://", 0) == 0 || uri.rfind("postgres://", 0) == 0 ||
         uri.find('=') != std::string::npos;
}
}  // namespace

// A conninfo string is any text with a '=', so the opener comes after those
// whose URIs may hold one.
extern const Opener kPostgreSQLOpener = {"a PostgreSQL URI", IsPostgreSQLUri, OpenPostgreSQL,
                                         nullptr};

}  // namespace host
}  // namespace metashelf

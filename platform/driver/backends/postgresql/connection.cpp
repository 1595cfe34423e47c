// Opening a PostgreSQL connection, the per-connection cache of prepared
// statements, and the one-statement helper of the host object.
#include "backends/postgresql/connection.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "backends/postgresql/sequence_functions.h"
#include "backends/postgresql/statement.h"
#include "backends/postgresql/value_codec.h"
#include "metashelf/base/password_mask.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// Prepared statements kept per connection before the cache starts over.
constexpr std::size_t kMaxPrepared = 512;

// Uses of a statement after which its plan is made again (then at twice as
// many, and so on).
constexpr std::uint64_t kFirstReplan = 64;

// Session settings every connection runs with: ISO dates for text results
// and UTF-8 text whatever the server's default is.
const char* const kSessionSetup[] = {
    "SET DateStyle = ISO, YMD",
    "SET client_encoding = 'UTF8'",
    "SET standard_conforming_strings = on",
};

// Settings taken when the server has them: documents are compressed with
// lz4 (PostgreSQL 14 and later, when built with it), which costs a fraction
// of the default's time for a little more room; a value reads back the same.
const char* const kSessionPreferences[] = {
    "SET default_toast_compression = lz4",
};

}  // namespace

std::string MaskPassword(const std::string& conninfo) {
  return base::MaskPassword(conninfo);
}

std::unique_ptr<PgConnection> PgConnection::Open(const std::string& conninfo, std::string* error) {
  PGconn* conn = PQconnectdb(conninfo.c_str());
  if (conn == nullptr) {
    *error = "out of memory opening a PostgreSQL connection";
    return nullptr;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    *error = PQerrorMessage(conn);
    while (!error->empty() && (error->back() == '\n' || error->back() == ' ')) error->pop_back();
    PQfinish(conn);
    return nullptr;
  }
  // Server notices ("already exists, skipping") are not errors; libpq would
  // print them on stderr.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  std::unique_ptr<PgConnection> out(new (std::nothrow) PgConnection(conn));
  if (!out) {
    PQfinish(conn);
    *error = "out of memory opening a PostgreSQL connection";
    return nullptr;
  }
  for (const char* setup : kSessionSetup) {
    Diagnostic diag;
    if (!out->Run(setup, {}, &diag)) {
      *error = diag.message;
      return nullptr;
    }
  }
  for (const char* preference : kSessionPreferences) {
    Diagnostic ignored;
    out->Run(preference, {}, &ignored);
  }
  EnsureSequenceFunctions(out.get());
  if (const char* rows = std::getenv("METASHELF_PG_ROWS_PER_INSERT")) {
    // Anything but a count from 1 to 64 leaves the default.
    char* end = nullptr;
    const long most = std::strtol(rows, &end, 10);
    if (end != rows && *end == '\0' && most >= 1 && most <= out->mostHeldRows_) {
      out->mostHeldRows_ = static_cast<int>(most);
    }
  }
  return out;
}

PgConnection::~PgConnection() {
  PQfinish(conn_);
}

std::unique_ptr<Statement> PgConnection::NewStatement() {
  if (PQstatus(conn_) != CONNECTION_OK) return nullptr;
  return std::unique_ptr<Statement>(new (std::nothrow) PgStatement(this));
}

void PgConnection::Forget() {
  // One round trip drops every prepared statement of this connection.
  ResultPtr r(PQexecParams(conn_, "DEALLOCATE ALL", 0, nullptr, nullptr, nullptr, nullptr, 0));
  prepared_.clear();
  forms_.clear();
}

const Prepared* PgConnection::Prepare(const std::string& text, Diagnostic* error) {
  auto found = prepared_.find(text);
  if (found != prepared_.end()) {
    Prepared& known = found->second;
    if (known.replanAt == 0 || ++known.uses < known.replanAt) return &known;
    // The server keeps the plan it chose when the statement was new, for
    // the tables as they were then; a long import's tables grow from
    // nothing, and a plan made over an empty table scans it whole. Made
    // again under a new name each time the uses double, the plan follows
    // the tables' growth at a round trip per doubling.
    known.replanAt *= 2;
    const std::string name = "ms_" + std::to_string(++nextName_);
    ResultPtr d = Describe(name, text, error);
    if (!d) return nullptr;
    known.name = name;
    return &known;
  }
  if (prepared_.size() >= kMaxPrepared) {
    if (!Settle(error)) return nullptr;
    Forget();
  }

  Prepared p;
  p.name = "ms_" + std::to_string(++nextName_);
  ResultPtr d = Describe(p.name, text, error);
  if (!d) return nullptr;
  p.params = PQnparams(d.get());
  p.columns = PQnfields(d.get());
  p.text = text;
  for (int k = 0; k < p.params; ++k) p.types.push_back(PQparamtype(d.get(), k));
  // A single-row insert has one plan whatever the table holds.
  RowShape ignored;
  if (!SplitSingleRowInsert(text, p.params, &ignored)) p.replanAt = kFirstReplan;
  p.resultFormat = 1;
  for (int c = 0; c < PQnfields(d.get()); ++c) {
    if (!ReadsInBinary(PQftype(d.get(), c))) p.resultFormat = 0;
  }
  return &prepared_.emplace(text, std::move(p)).first->second;
}

std::shared_ptr<const dialect::Adapted> PgConnection::Adapt(const std::string& key,
                                                            dialect::Error* error) {
  auto found = adapted_.find(key);
  if (found != adapted_.end()) return found->second;
  auto adapted = std::make_shared<dialect::Adapted>();
  if (!dialect::Adapt(key, dialect::Target::kPostgreSQL, rules_, adapted.get(), error)) {
    return nullptr;
  }
  if (adapted_.size() >= kMaxPrepared) adapted_.clear();
  adapted_.emplace(key, adapted);
  return adapted;
}

ResultPtr PgConnection::Run(const std::string& text, const std::vector<TextParam>& params,
                            Diagnostic* error) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  Request request;
  request.text = text.c_str();
  request.count = static_cast<int>(values.size());
  request.values = values.data();
  if (!Cacheable(text)) NoteShapeChange();
  return Now(request, false, error);
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

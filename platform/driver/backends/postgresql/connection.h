// The PostgreSQL backend's connection: one libpq connection, a cache of
// server-side prepared statements keyed by their adapted text, and a small
// "run one statement" helper for the host object. Every statement goes
// through the extended query protocol (PQprepare/PQexecPrepared or
// PQexecParams), so a text never carries a second statement.
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_

#include <libpq-fe.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialect/dialect.h"
#include "internal/backend.h"

namespace metashelf {
namespace driver {
namespace postgresql {

// Frees a PGresult when it goes out of scope.
struct ResultDeleter {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// A prepared statement on the server: its name, the number of parameters
// the server inferred, and the result format that decodes without loss
// (1 binary when every result column has a type the backend reads in binary).
struct Prepared {
  std::string name;
  int params = 0;
  int columns = 0;
  int resultFormat = 0;
};

// One text parameter of PgConnection::Run; nullopt is NULL.
using TextParam = std::optional<std::string>;

class PgConnection : public Connection {
 public:
  // Opens a connection with a libpq conninfo string or URI. Null with
  // `*error` set on failure; the message never holds the password.
  static std::unique_ptr<PgConnection> Open(const std::string& conninfo, std::string* error);
  ~PgConnection() override;

  std::unique_ptr<Statement> NewStatement() override;

  PGconn* raw() const { return conn_; }

  // The server-side prepared form of `text` (already adapted), prepared on
  // first use and kept for the connection's life. Null with `*error` filled
  // when the server refuses the text.
  const Prepared* Prepare(const std::string& text, Diagnostic* error);

  // The PostgreSQL form of an Oracle text whose literals have been lifted
  // out (dialect::LiftLiterals), adapted once per connection. Null with
  // `*error` for a text the adapter refuses.
  std::shared_ptr<const dialect::Adapted> Adapt(const std::string& key, std::string* error);

  // Runs one statement with text parameters and text results; the result
  // (rows or command status) or null with `*error` filled.
  ResultPtr Run(const std::string& text, const std::vector<TextParam>& params, Diagnostic* error);

  // Lifts literals out of statement texts, recognising recent shapes.
  dialect::ShapeMemo& shapes() { return shapes_; }

 protected:
  // Units of work (units.cpp). PostgreSQL takes no savepoint outside a
  // transaction block, so the outermost unit outside one runs BEGIN.
  bool TransactionOpen() override;
  bool RunUnitStep(UnitStep step, const std::string& savepoint, Diagnostic* error) override;

 private:
  explicit PgConnection(PGconn* conn) : conn_(conn) {}
  void Forget();

  PGconn* conn_;
  std::map<std::string, Prepared> prepared_;
  std::map<std::string, std::shared_ptr<const dialect::Adapted>> adapted_;
  std::uint64_t nextName_ = 0;
  dialect::ShapeMemo shapes_;
};

// Fills `*out` from a failed result (or, when `result` is null, from the
// connection's last message). Defined in error.cpp.
void MapError(const PGresult* result, PGconn* conn, Diagnostic* out);

// Masks the password of a conninfo string or URI, for messages.
std::string MaskPassword(const std::string& conninfo);

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_CONNECTION_H_

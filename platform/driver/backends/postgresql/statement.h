// One driver statement on a PostgreSQL connection. The Oracle text is
// adapted (literal values lifted out into parameters, so that near-identical
// texts share one server-side prepared statement), run with
// PQexecPrepared, and its whole result kept for Fetch and ExtendedFetch.
// A SELECT ... FOR UPDATE carries each row's ctid as a hidden last column,
// through which gis_SQLPutData writes a BLOB (blob.cpp). Inside a write
// unit, a SELECT ... FOR UPDATE whose bound columns are all locators waits
// for nobody: it is held back, and each piece written through its first
// row is queued as an update that finds that row itself (blob.cpp).
#ifndef METASHELF_DRIVER_BACKENDS_POSTGRESQL_STATEMENT_H_
#define METASHELF_DRIVER_BACKENDS_POSTGRESQL_STATEMENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "backends/postgresql/connection.h"
#include "backends/postgresql/value_codec.h"
#include "dialect/dialect.h"
#include "internal/bound_statement.h"

namespace metashelf {
namespace driver {
namespace postgresql {

// Statements worth a server-side prepared form: queries, row changes and
// procedure calls. Everything else (DDL, ALTER SEQUENCE, SET) runs once with
// PQexecParams, and may change the tables.
bool Cacheable(const std::string& text);

class PgStatement : public BoundStatement {
 public:
  explicit PgStatement(PgConnection* connection) : conn_(connection) {}

  std::int16_t Prepare(const char* text, std::size_t length) override;
  std::int16_t Execute() override;
  std::int16_t ExecDirect(const char* text, std::size_t length) override;
  std::int16_t Fetch() override;
  std::int16_t ExtendedFetch(std::uint16_t orientation, std::int32_t offset,
                             std::uint32_t* rowCount, std::uint16_t* rowStatus) override;
  std::int16_t ParamData(void** token) override;
  std::int16_t PutData(const void* data, std::int32_t length) override;
  std::int16_t CloseCursor() override;

 private:
  // Adapts `text` and, for statements that can be prepared, prepares it.
  std::int16_t Compile(const char* text, std::size_t length);
  // The parameters of the adapted text, from the caller's bindings and the
  // lifted literals.
  bool CollectParams(std::vector<WireParam>* out);
  std::int16_t FailWith(const Diagnostic& diag);
  int PreparedParams() const override;
  int PreparedColumns() const override;
  // Writes row `row` of the result into element `element` of every bound
  // column, as StoreRow does.
  std::int16_t DeliverRow(int row, std::uint32_t element);
  // Remembers the fetched row as the target of the next BLOB write.
  void TakeLocator(int row);
  // Whether every bound column is a locator (at least one), so that a
  // fetch has nothing to deliver but the row's identity.
  bool LocatorsOnly() const;
  // The held-back select's first row as the target of the next BLOB write.
  void TakeDeferredLocator();
  // Writes one piece through that row (queued inside a unit).
  std::int16_t PutDeferred(const void* data, std::int32_t length);
  // Runs the held-back select now; the next fetch delivers row `from`.
  std::int16_t RunDeferred(int from);
  // The request of the held-back select, over `deferredParams_`.
  Request DeferredRequest(std::vector<const char*>* values, std::vector<int>* lengths,
                          std::vector<int>* formats, int extra) const;

  PgConnection* conn_;
  bool compiled_ = false;
  bool cacheable_ = false;
  int resultColumns_ = 0;  // result columns the caller sees (known once prepared)
  std::shared_ptr<const dialect::Adapted> adapted_;
  std::vector<dialect::Literal> literals_;

  ResultPtr result_;
  int format_ = 0;
  int next_ = 0;  // the next row Fetch delivers

  // BLOB writes through the fetched row of a SELECT ... FOR UPDATE.
  bool locatorReady_ = false;
  bool appendNext_ = false;
  // The locked row's ctid; shared with a queued write that will replace it
  // (empty until that write's result is read).
  std::shared_ptr<std::string> ctid_ = std::make_shared<std::string>();
  std::string lockColumn_;

  // A SELECT ... FOR UPDATE held back inside a unit (nothing sent yet): its
  // parameters, and whether its first row was fetched (then the locator
  // writes find that row by running the select inside their update).
  bool deferred_ = false;
  bool deferredFetched_ = false;
  bool locatorDeferred_ = false;
  std::vector<WireParam> deferredParams_;
  // The ctid of the row the first row's writes went to (read with their
  // results), so that a later run of the select does not deliver it again.
  std::shared_ptr<std::string> deferredWritten_;
  int skipRow_ = -1;  // a row of result_ never delivered
};

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

#endif  // METASHELF_DRIVER_BACKENDS_POSTGRESQL_STATEMENT_H_

// Preparing and executing statements on PostgreSQL.
#include "backends/postgresql/statement.h"

#include <cstdlib>

#include "dialect/date_format.h"
#include "metashelf/base/ascii.h"
#include "metashelf/driver.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// The first word of a statement, upper-cased (blanks and opening
// parentheses before it skipped).
std::string LeadingWord(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                             text[i] == '\r' || text[i] == '(')) {
    ++i;
  }
  std::size_t end = i;
  while (end < text.size() && base::IsAsciiLetter(text[end])) ++end;
  return base::AsciiUpper(std::string_view(text).substr(i, end - i));
}

// Statements that begin or end a transaction or savepoint: run as they
// are, never inside a savepoint of their own.
bool ControlsTransaction(const std::string& text) {
  const std::string word = LeadingWord(text);
  return word == "BEGIN" || word == "START" || word == "COMMIT" || word == "END" ||
         word == "ROLLBACK" || word == "ABORT" || word == "SAVEPOINT" || word == "RELEASE" ||
         word == "PREPARE" || word == "SET";
}

std::string LiteralText(const dialect::Literal& literal) {
  switch (literal.kind) {
    case dialect::Literal::Kind::kInt:
      return std::to_string(literal.integer);
    case dialect::Literal::Kind::kReal:
      return ShortestDouble(literal.real);
    case dialect::Literal::Kind::kText:
      return literal.text;
  }
  return std::string();
}

}  // namespace

bool Cacheable(const std::string& text) {
  const std::string word = LeadingWord(text);
  return word == "SELECT" || word == "INSERT" || word == "UPDATE" || word == "DELETE" ||
         word == "WITH" || word == "CALL";
}

std::int16_t PgStatement::FailWith(const Diagnostic& diag) {
  return Fail(diag.state.c_str(), diag.native, diag.message);
}

std::int16_t PgStatement::Compile(const char* text, std::size_t length) {
  CloseCursor();
  compiled_ = false;
  literals_.clear();
  const std::string_view source(text, length);
  dialect::Error error;
  dialect::Shaped shaped;
  bool ok = false;
  if (conn_->shapes().Lift(source, &shaped, &error)) {
    literals_ = std::move(shaped.literals);
    // Texts that differ only in their literals share one adapted form.
    adapted_ = conn_->Adapt(shaped.key, &error);
    ok = adapted_ != nullptr;
  } else {
    literals_.clear();
    auto own = std::make_shared<dialect::Adapted>();
    ok = dialect::Adapt(source, dialect::Target::kPostgreSQL, conn_->rules(), own.get(), &error);
    adapted_ = std::move(own);
  }
  if (!ok) return Fail(dialect::StateOf(error), error.oracle, error.message);
  cacheable_ = Cacheable(adapted_->text);
  // Whatever else runs may make, drop or alter a table.
  if (!cacheable_) conn_->NoteShapeChange();
  resultColumns_ = 0;
  if (cacheable_) {
    Diagnostic diag;
    const Prepared* prepared = conn_->Prepare(adapted_->text, &diag);
    if (prepared == nullptr) return FailWith(diag);
    resultColumns_ = adapted_->forUpdate ? adapted_->visibleColumns : prepared->columns;
  }
  compiled_ = true;
  return GIS_SQL_SUCCESS;
}

std::int16_t PgStatement::Prepare(const char* text, std::size_t length) {
  return Compile(text, length);
}

std::int16_t PgStatement::ExecDirect(const char* text, std::size_t length) {
  const std::int16_t rc = Compile(text, length);
  if (rc != GIS_SQL_SUCCESS) return rc;
  return Execute();
}

bool PgStatement::CollectParams(std::vector<WireParam>* out) {
  out->clear();
  out->reserve(adapted_->params.size());
  for (std::size_t k = 0; k < adapted_->params.size(); ++k) {
    const dialect::ParamSource& source = adapted_->params[k];
    const std::string* dateFormat =
        k < adapted_->dateFormats.size() && !adapted_->dateFormats[k].empty()
            ? &adapted_->dateFormats[k]
            : nullptr;
    WireParam wire;
    if (source.kind == dialect::ParamSource::Kind::kLiteral) {
      if (source.index < 0 || static_cast<std::size_t>(source.index) >= literals_.size()) {
        Fail("HY000", 0, "statement literal out of range");
        return false;
      }
      wire.null = false;
      wire.bytes = LiteralText(literals_[static_cast<std::size_t>(source.index)]);
    } else {
      Value value;
      if (!CallerValue(source.index, &value)) return false;
      std::string error;
      if (!EncodeParam(value, &wire, &error)) {
        Fail("HY090", 0, error);
        return false;
      }
    }
    if (dateFormat != nullptr && !wire.null) {
      // Oracle's TO_DATE reading, done here: PostgreSQL's to_date differs.
      dialect::CivilTime t;
      bool isNull = false;
      dialect::Error error;
      if (!dialect::ParseOracleDate(wire.bytes, *dateFormat, &t, &isNull, &error)) {
        Fail(dialect::StateOf(error), error.oracle, error.message);
        return false;
      }
      wire.null = isNull;
      wire.bytes = isNull ? std::string() : dialect::StorageText(t);
    }
    out->push_back(std::move(wire));
  }
  return true;
}

std::int16_t PgStatement::Execute() {
  if (!compiled_) return Fail("HY010", 0, "no statement has been prepared");
  CloseCursor();
  std::vector<WireParam> wire;
  if (!CollectParams(&wire)) return GIS_SQL_ERROR;
  std::vector<const char*> values(wire.size());
  std::vector<int> lengths(wire.size());
  std::vector<int> formats(wire.size());
  for (std::size_t i = 0; i < wire.size(); ++i) {
    values[i] = wire[i].null ? nullptr : wire[i].bytes.data();
    lengths[i] = static_cast<int>(wire[i].bytes.size());
    formats[i] = wire[i].format;
  }
  Request request;
  request.count = static_cast<int>(wire.size());
  request.values = values.data();
  request.lengths = lengths.data();
  request.formats = formats.data();
  format_ = 0;
  Diagnostic diag;
  if (cacheable_) {
    const Prepared* prepared = conn_->Prepare(adapted_->text, &diag);
    if (prepared == nullptr) return FailWith(diag);
    format_ = prepared->resultFormat;
    request.prepared = prepared;
    request.toBatchEnd = rowsToBatchEnd_;
    request.name = prepared->name.c_str();
    request.resultFormat = format_;
    // A row change that gives no rows back waits for nobody inside a write
    // unit: it is queued, and its result read with the unit's next wait.
    if (conn_->InUnit() && prepared->columns == 0 && !adapted_->forUpdate) {
      if (!conn_->Queue(request, nullptr, &diag)) return FailWith(diag);
      return GIS_SQL_SUCCESS;
    }
    // Nor does a select that only locates a row to write a BLOB into: it is
    // held back, and runs inside the writes (blob.cpp), so a row that is not
    // there fails the unit when their results are read.
    if (conn_->InUnit() && adapted_->forUpdate && LocatorsOnly()) {
      if (!conn_->UnitUsable(&diag)) return FailWith(diag);
      deferredParams_ = std::move(wire);
      deferred_ = true;
      return GIS_SQL_SUCCESS;
    }
  } else {
    request.text = adapted_->text.c_str();
  }
  ResultPtr result = conn_->Now(request, !ControlsTransaction(adapted_->text), &diag);
  if (!result) return FailWith(diag);
  if (PQresultStatus(result.get()) == PGRES_TUPLES_OK) {
    result_ = std::move(result);
    next_ = 0;
  }
  return GIS_SQL_SUCCESS;
}

int PgStatement::PreparedParams() const {
  return compiled_ ? adapted_->callerParams : -1;
}

int PgStatement::PreparedColumns() const {
  return compiled_ && cacheable_ ? resultColumns_ : -1;
}

std::int16_t PgStatement::CloseCursor() {
  result_.reset();
  next_ = 0;
  locatorReady_ = false;
  appendNext_ = false;
  deferred_ = false;
  deferredFetched_ = false;
  locatorDeferred_ = false;
  deferredParams_.clear();
  deferredWritten_.reset();
  skipRow_ = -1;
  return GIS_SQL_SUCCESS;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

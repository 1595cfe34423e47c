// PostgreSQL's native errors (SQLSTATE) as the driver reports them: an
// ODBC-style state and the Oracle error number the same failure carries on
// Oracle, so that callers see one vocabulary whatever the backend. The
// server's own SQLSTATE leads the message text.
#include <cstdint>
#include <cstring>
#include <string>

#include "backends/postgresql/connection.h"

namespace metashelf {
namespace driver {
namespace postgresql {
namespace {

// A five-character SQLSTATE packed into an integer, usable as a case label.
constexpr std::uint64_t Code(const char* s) {
  std::uint64_t v = 0;
  for (int i = 0; i < 5 && s[i] != '\0'; ++i) v = (v << 8) | static_cast<unsigned char>(s[i]);
  return v;
}

struct Mapped {
  const char* state;
  std::int32_t native;
};

// One exhaustive switch: specific codes first, then whole classes.
Mapped Map(const std::string& sqlstate) {
  switch (Code(sqlstate.c_str())) {
    case Code("23505"):
      return {"23000", 1};  // unique violation: ORA-00001
    case Code("23502"):
      return {"23000", 1400};  // not null: ORA-01400
    case Code("23503"):
      return {"23000", 2291};  // foreign key: ORA-02291
    case Code("23514"):
      return {"23000", 2290};  // check: ORA-02290
    case Code("42P01"):
      return {"42S02", 942};  // undefined table: ORA-00942
    case Code("42P07"):
      return {"42S01", 955};  // duplicate table: ORA-00955
    case Code("42703"):
      return {"42S22", 904};  // undefined column: ORA-00904
    case Code("42883"):
      return {"42000", 904};  // undefined function: ORA-00904
    case Code("42601"):
      return {"42000", 900};  // syntax error: ORA-00900
    case Code("42501"):
      return {"42000", 1031};  // insufficient privilege: ORA-01031
    case Code("3F000"):
      return {"42000", 1435};  // invalid schema: ORA-01435
    case Code("42P06"):
      return {"42000", 1920};  // duplicate schema: ORA-01920
    case Code("22001"):
      return {"22001", 12899};  // value too long: ORA-12899
    case Code("22003"):
      return {"22003", 1438};  // numeric out of range: ORA-01438
    case Code("22012"):
      return {"22012", 1476};  // division by zero: ORA-01476
    case Code("22P02"):
      return {"22018", 1722};  // invalid text representation: ORA-01722
    case Code("22007"):
      return {"22007", 1861};  // invalid datetime format: ORA-01861
    case Code("22008"):
      return {"22008", 1839};  // datetime field overflow: ORA-01839
    case Code("22023"):
      return {"HY024", 4002};  // invalid parameter (INCREMENT 0): ORA-04002
    case Code("2200F"):
      return {"22000", 1405};  // zero-length string
    case Code("40P01"):
      return {"40001", 60};  // deadlock: ORA-00060
    case Code("40001"):
      return {"40001", 8177};  // serialization failure: ORA-08177
    case Code("55P03"):
      return {"HYT00", 54};  // lock not available: ORA-00054
    case Code("57014"):
      return {"HY008", 1013};  // query canceled: ORA-01013
    case Code("25P02"):
      return {"25000", 1086};  // in failed transaction
    case Code("26000"):
      return {"HY010", 1003};  // unknown prepared statement: ORA-01003
    case Code("0A000"):
      return {"HYC00", 3001};  // feature not supported: ORA-03001
    case Code("53100"):
      return {"HY000", 1653};  // disk full: unable to extend, as SQLite's full disk
    case Code("53200"):        // out of memory
    case Code("53300"):
      return {"HY001", 4031};  // too many connections
    case Code("54000"):        // program limit exceeded
    case Code("54001"):
      return {"HY000", 1706};  // statement too complex
    case Code("P0001"):
      return {"HY000", 20000};  // raised by a procedure: ORA-20000
    default:
      break;
  }
  switch (Code(sqlstate.substr(0, 2).c_str())) {
    case Code("08"):
      return {"08S01", 3113};  // connection exception: ORA-03113
    case Code("22"):
      return {"22000", 1722};  // other data exceptions
    case Code("23"):
      return {"23000", 1};  // other integrity violations
    case Code("25"):
      return {"25000", 1453};  // invalid transaction state
    case Code("28"):
      return {"28000", 1017};  // invalid authorisation: ORA-01017
    case Code("40"):
      return {"40001", 60};  // transaction rollback
    case Code("42"):
      return {"42000", 900};  // other syntax or access errors
    case Code("53"):
      return {"HY001", 4031};  // insufficient resources
    case Code("57"):
      return {"HY000", 1089};  // operator intervention
    case Code("58"):
      return {"HY000", 1114};  // system error
    case Code("XX"):
      return {"HY000", 600};  // internal error: ORA-00600
    default:
      return {"HY000", 0};
  }
}

// A unique violation on the server's own catalog of names: a table, view
// or index made at the same time by another connection took the name
// first (the server reports 42P07 only for one already there).
bool TakenInCatalog(const PGresult* result) {
  const char* constraint = PQresultErrorField(result, PG_DIAG_CONSTRAINT_NAME);
  if (constraint == nullptr) return false;
  const std::string name = constraint;
  return name == "pg_class_relname_nsp_index" || name == "pg_type_typname_nsp_index";
}

}  // namespace

void MapError(const PGresult* result, PGconn* conn, Diagnostic* out) {
  std::string sqlstate;
  std::string message;
  if (result != nullptr) {
    const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (s != nullptr) sqlstate = s;
    const char* m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
    if (m != nullptr) message = m;
  }
  if (message.empty()) {
    message = conn != nullptr ? PQerrorMessage(conn) : "out of memory";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
  }
  if (sqlstate.empty()) {
    // No server answer: the connection broke or the client ran out of memory.
    const bool broken = conn != nullptr && PQstatus(conn) != CONNECTION_OK;
    sqlstate = broken ? "08006" : "XX000";
  }
  Mapped m = Map(sqlstate);
  if (sqlstate == "23505" && result != nullptr && TakenInCatalog(result)) m = {"42S01", 955};
  if (sqlstate == "23514" && result != nullptr) {
    const char* constraint = PQresultErrorField(result, PG_DIAG_CONSTRAINT_NAME);
    if (constraint != nullptr && std::strncmp(constraint, dialect::kByteLimitCheck,
                                              sizeof dialect::kByteLimitCheck - 1) == 0) {
      m = {"22001", 12899};  // a VARCHAR2 over its bytes: ORA-12899
      message = "ORA-12899: value too large for column " +
                std::string(constraint + sizeof dialect::kByteLimitCheck - 1);
    }
  }
  out->state = m.state;
  out->native = m.native;
  out->message = "[" + sqlstate + "] " + message;
}

}  // namespace postgresql
}  // namespace driver
}  // namespace metashelf

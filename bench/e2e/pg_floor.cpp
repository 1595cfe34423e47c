// Copies the owner's table shapes into scratch schemas, captures an
// import's rows in binary and replays them with libpq as the floor. The
// replay binds every value in the binary form the server sent it in, with
// the column's type (or streams it in binary COPY), so that no text is
// parsed on either side.
#include "pg_floor.h"

#include <chrono>
#include <cstring>

namespace metashelf::bench {
namespace {

double Since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// A value index is keyed on the node GUID (with the value, or a prefix of
// it); the record id indexes are not.
bool IsValueIndex(const std::string& definition) {
  return definition.find("nodeguid") != std::string::npos;
}

}  // namespace

bool PgFloor::Fail(const std::string& what) {
  error_ = what;
  return false;
}

PgFloor::Result PgFloor::Query(const std::string& sql, const std::vector<std::string>& params,
                               int format) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  Result r(PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                        nullptr, nullptr, format));
  const ExecStatusType status = PQresultStatus(r.get());
  if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    Fail(std::string(PQerrorMessage(conn_)) + " in " + sql.substr(0, 160));
    return nullptr;
  }
  return r;
}

bool PgFloor::Command(const std::string& sql) {
  return Query(sql, {}) != nullptr;
}

bool PgFloor::Prepare(const std::string& owner, const std::string& scratch, bool late) {
  if (owner_.empty()) {
    owner_ = owner;
    first_ = scratch;
    Result names = Query(
        "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "WHERE n.nspname = $1 AND c.relkind = 'r' ORDER BY c.oid",
        {owner});
    if (!names) return false;
    for (int i = 0; i < PQntuples(names.get()); ++i) {
      Table t;
      t.name = PQgetvalue(names.get(), i, 0);
      Result key = Query(
          "SELECT a.attname FROM pg_index x JOIN pg_attribute a ON a.attrelid = x.indrelid AND "
          "a.attnum = ANY(x.indkey) WHERE x.indisprimary AND x.indrelid = ($1 || '.' || $2)::"
          "regclass ORDER BY a.attnum",
          {Quoted(owner), Quoted(t.name)});
      if (!key) return false;
      for (int k = 0; k < PQntuples(key.get()); ++k) t.key.push_back(PQgetvalue(key.get(), k, 0));
      Result any = Query("SELECT 1 FROM " + Quoted(owner) + "." + Quoted(t.name) + " LIMIT 1", {});
      if (!any) return false;
      t.hadRows = PQntuples(any.get()) > 0;
      tables_.push_back(std::move(t));
    }
  } else if (owner != owner_) {
    return Fail("one owner per floor");
  }
  Scratch s;
  s.name = scratch;
  if (!Command("CREATE SCHEMA " + Quoted(scratch))) return false;
  for (const Table& t : tables_) {
    const std::string from = Quoted(owner) + "." + Quoted(t.name);
    const std::string to = Quoted(scratch) + "." + Quoted(t.name);
    // No autovacuum on the copies: one floor run's rows must not start work
    // that lands in the other's time.
    if (!Command("CREATE TABLE " + to + " (LIKE " + from +
                 " INCLUDING DEFAULTS) WITH (autovacuum_enabled = false)")) {
      return false;
    }
    if (t.hadRows && !Command("INSERT INTO " + to + " SELECT * FROM " + from)) return false;
    Result indexes = Query(
        "SELECT indexdef FROM pg_indexes WHERE schemaname = $1 AND tablename = $2 "
        "ORDER BY indexname",
        {owner, t.name});
    if (!indexes) return false;
    for (int i = 0; i < PQntuples(indexes.get()); ++i) {
      std::string text = PQgetvalue(indexes.get(), i, 0);
      const std::string on = " ON " + owner + ".";
      const auto at = text.find(on);
      if (at == std::string::npos) return Fail("unexpected index text: " + text);
      text.replace(at, on.size(), " ON " + Quoted(scratch) + ".");
      if (late && IsValueIndex(text)) {
        s.lateIndexes.push_back(text);
      } else if (!Command(text)) {
        return false;
      }
    }
  }
  scratches_.push_back(std::move(s));
  return true;
}

bool PgFloor::Capture() {
  for (const Table& t : tables_) {
    const std::string table = Quoted(owner_) + "." + Quoted(t.name);
    const std::string before = Quoted(first_) + "." + Quoted(t.name);
    std::string sql = "SELECT * FROM " + table + " ORDER BY ctid";
    if (t.hadRows && !t.key.empty()) {
      std::string same;
      for (const std::string& k : t.key) {
        same += (same.empty() ? "" : " AND ") + ("b." + Quoted(k) + " = n." + Quoted(k));
      }
      sql = "SELECT n.* FROM " + table + " n WHERE NOT EXISTS (SELECT 1 FROM " + before +
            " b WHERE " + same + ") ORDER BY n.ctid";
    } else if (t.hadRows) {
      sql = "SELECT * FROM " + table + " EXCEPT ALL SELECT * FROM " + before;
    }
    Result rows = Query(sql, {}, 1);
    if (!rows) return false;
    const int n = PQntuples(rows.get());
    if (n == 0) continue;
    rows_ += n;
    if (t.name.compare(0, 7, "meta_nd") == 0) leafRows_ += n;
    captured_.emplace_back(t.name, std::move(rows));
    // The import's tables are vacuumed now rather than by autovacuum while a
    // floor runs.
    if (!Command("VACUUM ANALYZE " + table)) return false;
  }
  return true;
}

bool PgFloor::DrainToSync(const std::string& table) {
  bool ok = true;
  for (;;) {
    Result r(PQgetResult(conn_));
    if (!r) {
      // The end of one statement's results, or of the connection.
      if (PQstatus(conn_) == CONNECTION_BAD) return Fail("connection lost");
      continue;
    }
    const ExecStatusType status = PQresultStatus(r.get());
    if (status == PGRES_PIPELINE_SYNC) return ok;
    if (status != PGRES_COMMAND_OK && ok) {
      ok = Fail(table + ": " + PQresultErrorMessage(r.get()));
    }
    if (status == PGRES_FATAL_ERROR && PQstatus(conn_) == CONNECTION_BAD) return false;
  }
}

bool PgFloor::Pipelined(const std::vector<std::string>& names) {
  if (PQenterPipelineMode(conn_) != 1) return Fail("cannot enter pipeline mode");
  bool ok = true;
  for (std::size_t i = 0; i < captured_.size() && ok; ++i) {
    const PGresult* rows = captured_[i].second.get();
    const int columns = PQnfields(rows);
    // A record's rows share a MetaID; a table without one syncs per row.
    const int metaColumn = PQfnumber(rows, "metaid");
    std::vector<const char*> values(columns);
    std::vector<int> lengths(columns);
    const std::vector<int> formats(columns, 1);
    const int n = PQntuples(rows);
    for (int r = 0; r < n && ok; ++r) {
      for (int c = 0; c < columns; ++c) {
        values[c] = PQgetisnull(rows, r, c) ? nullptr : PQgetvalue(rows, r, c);
        lengths[c] = PQgetlength(rows, r, c);
      }
      if (PQsendQueryPrepared(conn_, names[i].c_str(), columns, values.data(), lengths.data(),
                              formats.data(), 0) != 1) {
        ok = Fail(captured_[i].first + ": " + PQerrorMessage(conn_));
        if (PQpipelineSync(conn_) == 1) DrainToSync(captured_[i].first);
        break;
      }
      const bool last =
          r + 1 == n || metaColumn < 0 ||
          PQgetlength(rows, r, metaColumn) != PQgetlength(rows, r + 1, metaColumn) ||
          std::memcmp(PQgetvalue(rows, r, metaColumn), PQgetvalue(rows, r + 1, metaColumn),
                      static_cast<std::size_t>(PQgetlength(rows, r, metaColumn))) != 0;
      if (!last) continue;
      if (PQpipelineSync(conn_) != 1) {
        ok = Fail(std::string("sync: ") + PQerrorMessage(conn_));
        break;
      }
      ok = DrainToSync(captured_[i].first);
    }
  }
  if (PQexitPipelineMode(conn_) != 1) ok = ok && Fail("cannot leave pipeline mode");
  return ok;
}

namespace {

void PutBig16(std::string* out, std::int16_t v) {
  const auto u = static_cast<std::uint16_t>(v);
  out->push_back(static_cast<char>(u >> 8));
  out->push_back(static_cast<char>(u & 0xff));
}

void PutBig32(std::string* out, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int shift = 24; shift >= 0; shift -= 8)
    out->push_back(static_cast<char>((u >> shift) & 0xff));
}

}  // namespace

bool PgFloor::Copy(const std::string& scratch) {
  for (const auto& [table, held] : captured_) {
    const PGresult* rows = held.get();
    const int columns = PQnfields(rows);
    Result started(PQexec(
        conn_,
        ("COPY " + Quoted(scratch) + "." + Quoted(table) + " FROM STDIN (FORMAT binary)").c_str()));
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) {
      return Fail("copy " + table + ": " + PQerrorMessage(conn_));
    }
    // The binary COPY stream: signature, flags, header extension, then per
    // row its field count and each field as length (-1 NULL) and bytes.
    std::string data("PGCOPY\n\377\r\n\0", 11);
    PutBig32(&data, 0);
    PutBig32(&data, 0);
    bool ok = true;
    for (int r = 0; r < PQntuples(rows) && ok; ++r) {
      PutBig16(&data, static_cast<std::int16_t>(columns));
      for (int c = 0; c < columns; ++c) {
        if (PQgetisnull(rows, r, c)) {
          PutBig32(&data, -1);
          continue;
        }
        PutBig32(&data, PQgetlength(rows, r, c));
        data.append(PQgetvalue(rows, r, c), static_cast<std::size_t>(PQgetlength(rows, r, c)));
      }
      if (data.size() >= (1 << 20)) {
        ok = PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
        data.clear();
      }
    }
    PutBig16(&data, -1);
    ok = ok && PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
    if (PQputCopyEnd(conn_, ok ? nullptr : "client failure") != 1) ok = false;
    Result done(PQgetResult(conn_));
    if (PQresultStatus(done.get()) != PGRES_COMMAND_OK) ok = false;
    while (Result more{PQgetResult(conn_)}) {
    }
    if (!ok) return Fail("copy " + table + ": " + PQerrorMessage(conn_));
  }
  return true;
}

bool PgFloor::Run(const std::string& scratch, Mode mode, FloorTime* time) {
  const Scratch* s = nullptr;
  for (const Scratch& candidate : scratches_) {
    if (candidate.name == scratch) s = &candidate;
  }
  if (s == nullptr) return Fail("no scratch schema " + scratch);
  // Prepared before the clock starts, as the library's statement cache would
  // hold them after the first record.
  std::vector<std::string> names;
  for (std::size_t i = 0; i < captured_.size() && mode == Mode::kPipelined; ++i) {
    const PGresult* rows = captured_[i].second.get();
    const int columns = PQnfields(rows);
    std::string sql =
        "INSERT INTO " + Quoted(scratch) + "." + Quoted(captured_[i].first) + " VALUES(";
    std::vector<Oid> types;
    for (int c = 0; c < columns; ++c) {
      sql += (c == 0 ? "$" : ",$") + std::to_string(c + 1);
      types.push_back(PQftype(rows, c));
    }
    sql += ")";
    names.push_back(scratch + "_" + std::to_string(i));
    Result prepared(PQprepare(conn_, names.back().c_str(), sql.c_str(), columns, types.data()));
    if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
      return Fail(std::string("prepare: ") + PQerrorMessage(conn_));
    }
  }
  const auto start = std::chrono::steady_clock::now();
  if (!Command("BEGIN")) return false;
  bool ok = mode == Mode::kPipelined ? Pipelined(names) : Copy(scratch);
  time->rows = Since(start);
  const auto indexes = std::chrono::steady_clock::now();
  for (const std::string& text : s->lateIndexes) ok = ok && Command(text);
  ok = ok && Command("COMMIT");
  time->indexes = Since(indexes);
  time->indexesBuilt = static_cast<int>(s->lateIndexes.size());
  if (!ok) {
    const std::string keep = error_;
    Command("ROLLBACK");
    error_ = keep;
  }
  for (const std::string& name : names) Command("DEALLOCATE " + Quoted(name));
  return ok;
}

std::int64_t PgSchemaBytes(PGconn* conn, const std::string& owner) {
  const char* values[1] = {owner.c_str()};
  PGresult* r = PQexecParams(conn,
                             "SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0) FROM pg_class "
                             "c JOIN pg_namespace n ON n.oid = c.relnamespace "
                             "WHERE n.nspname = $1 AND c.relkind = 'r'",
                             1, nullptr, values, nullptr, nullptr, 0);
  std::int64_t bytes = -1;
  if (PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1) {
    bytes = std::stoll(PQgetvalue(r, 0, 0));
  }
  PQclear(r);
  return bytes;
}

}  // namespace metashelf::bench

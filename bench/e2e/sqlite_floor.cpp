// Captures an import's rows and replays them with the SQLite C API as the
// floor. The replay connection uses the journal settings the SQLite backend
// sets (WAL, synchronous NORMAL) so that only the library's own work
// separates the two times.
#include "sqlite_floor.h"

#include <chrono>
#include <cstdio>
#include <map>

namespace metashelf::bench {
namespace {

bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    *error = (message ? message : "?") + std::string(" in ") + sql.substr(0, 120);
    sqlite3_free(message);
    return false;
  }
  return true;
}

std::vector<std::string> Tables(sqlite3* db, const std::string& schema) {
  std::vector<std::string> names;
  sqlite3_stmt* s = nullptr;
  const std::string sql = "SELECT name FROM " + schema +
                          ".sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%'";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) return names;
  while (sqlite3_step(s) == SQLITE_ROW) {
    names.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
  }
  sqlite3_finalize(s);
  return names;
}

std::int64_t MaxRowid(sqlite3* db, const std::string& table) {
  sqlite3_stmt* s = nullptr;
  std::int64_t max = 0;
  if (sqlite3_prepare_v2(db, ("SELECT coalesce(max(rowid),0) FROM " + table).c_str(), -1, &s,
                         nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW) {
    max = sqlite3_column_int64(s, 0);
  }
  sqlite3_finalize(s);
  return max;
}

// The tables' byte checks call ms_byte_limit(value, n, column); the floor's
// own connection answers them as the library's does (NULL or at most n
// bytes passes), so that it copies rows into the same tables doing the same
// checks.
void ByteLimit(sqlite3_context* ctx, int /*argc*/, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
  if (sqlite3_value_type(argv[0]) != SQLITE_BLOB) sqlite3_value_text(argv[0]);
  if (sqlite3_value_bytes(argv[0]) <= sqlite3_value_int64(argv[1])) {
    return sqlite3_result_int(ctx, 1);
  }
  sqlite3_result_error(ctx, "value too large for its column", -1);
}

}  // namespace

std::uint64_t FolderBytes(const std::filesystem::path& folder) {
  std::uint64_t bytes = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
    if (e.is_regular_file()) bytes += e.file_size();
  }
  return bytes;
}

sqlite3* OpenWithOwners(const std::filesystem::path& main, std::vector<std::string>* owners) {
  sqlite3* db = nullptr;
  if (sqlite3_open(main.c_str(), &db) != SQLITE_OK ||
      sqlite3_create_function(db, "ms_byte_limit", 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                              ByteLimit, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  const std::string stem = main.stem().string() + ".";
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(main.parent_path(), ec)) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".db" || name == main.filename().string() ||
        name.compare(0, stem.size(), stem) != 0) {
      continue;
    }
    const std::string owner = name.substr(stem.size(), name.size() - stem.size() - 3);
    std::string error;
    if (!Exec(db, "ATTACH DATABASE '" + e.path().string() + "' AS " + owner, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      sqlite3_close(db);
      return nullptr;
    }
    owners->push_back(owner);
  }
  return db;
}

SqliteFloor::~SqliteFloor() {
  for (Table& t : tables_) {
    for (sqlite3_value* v : t.values) sqlite3_value_free(v);
  }
}

bool SqliteFloor::Fail(const std::string& what) {
  error_ = what;
  return false;
}

bool SqliteFloor::Snapshot(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code ec;
  std::filesystem::create_directories(to, ec);
  for (const auto& e : std::filesystem::directory_iterator(from, ec)) {
    std::filesystem::copy_file(e.path(), to / e.path().filename(),
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
  }
  return !ec;
}

bool SqliteFloor::Capture(const std::filesystem::path& imported,
                          const std::filesystem::path& before) {
  std::vector<std::string> owners, ownersBefore;
  sqlite3* now = OpenWithOwners(imported, &owners);
  sqlite3* then = OpenWithOwners(before, &ownersBefore);
  if (now == nullptr || then == nullptr) {
    sqlite3_close(now);
    sqlite3_close(then);
    return Fail("cannot open the databases");
  }
  std::vector<std::string> schemas = {"main"};
  schemas.insert(schemas.end(), owners.begin(), owners.end());
  bool ok = true;
  for (const std::string& schema : schemas) {
    for (const std::string& name : Tables(now, schema)) {
      const std::string qualified = schema + ".\"" + name + "\"";
      // A table made by the import itself starts from nothing.
      const std::int64_t from = MaxRowid(then, qualified);
      sqlite3_stmt* s = nullptr;
      const std::string sql =
          "SELECT * FROM " + qualified + " WHERE rowid>" + std::to_string(from) + " ORDER BY rowid";
      if (sqlite3_prepare_v2(now, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
        ok = Fail(sqlite3_errmsg(now));
        break;
      }
      Table table;
      table.schema = schema;
      table.name = name;
      table.columns = sqlite3_column_count(s);
      while (sqlite3_step(s) == SQLITE_ROW) {
        for (int c = 0; c < table.columns; ++c) {
          table.values.push_back(sqlite3_value_dup(sqlite3_column_value(s, c)));
        }
        ++rows_;
        // "META_ND..." in an owner's file, "OWNER.META_ND..." in one file.
        if (name.compare(0, 7, "META_ND") == 0 || name.find(".META_ND") != std::string::npos) {
          ++leafRows_;
        }
      }
      sqlite3_finalize(s);
      if (!table.values.empty()) tables_.push_back(std::move(table));
    }
    if (!ok) break;
  }
  sqlite3_close(now);
  sqlite3_close(then);
  return ok;
}

namespace {

// The value indexes of `schema`: their CREATE texts, qualified with the
// schema (the stored text names no schema), in `texts`; each is dropped.
bool DropValueIndexes(sqlite3* db, const std::string& schema, std::vector<std::string>* texts,
                      std::string* error) {
  sqlite3_stmt* s = nullptr;
  const std::string sql = "SELECT name, sql FROM " + schema +
                          ".sqlite_master WHERE type='index' AND sql LIKE '%NODEGUID%'";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
    *error = sqlite3_errmsg(db);
    return false;
  }
  std::vector<std::string> names;
  while (sqlite3_step(s) == SQLITE_ROW) {
    const std::string name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
    std::string text = reinterpret_cast<const char*>(sqlite3_column_text(s, 1));
    const auto at = text.find(name);
    if (at == std::string::npos) {
      *error = "unexpected index text: " + text;
      sqlite3_finalize(s);
      return false;
    }
    // The main file's own texts run as they are.
    if (schema != "main") text.insert(at, schema + ".");
    texts->push_back(text);
    names.push_back(name);
  }
  sqlite3_finalize(s);
  for (const std::string& name : names) {
    if (!Exec(db, "DROP INDEX " + schema + ".\"" + name + "\"", error)) return false;
  }
  return true;
}

}  // namespace

bool SqliteFloor::Run(const std::filesystem::path& before, bool late, FloorTime* time) {
  std::vector<std::string> owners;
  sqlite3* db = OpenWithOwners(before, &owners);
  if (db == nullptr) return Fail("cannot open the snapshot");
  std::string pragmas = "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;";
  std::vector<std::string> lateIndexes;
  for (const std::string& o : owners) {
    pragmas += "PRAGMA " + o + ".journal_mode=WAL; PRAGMA " + o + ".synchronous=NORMAL;";
  }
  bool ok = Exec(db, pragmas, &error_);
  std::vector<std::string> schemas = {"main"};
  schemas.insert(schemas.end(), owners.begin(), owners.end());
  for (const std::string& schema : schemas) {
    ok = ok && (!late || DropValueIndexes(db, schema, &lateIndexes, &error_));
  }
  if (!ok) {
    sqlite3_close(db);
    return false;
  }
  const auto start = std::chrono::steady_clock::now();
  ok = Exec(db, "BEGIN", &error_);
  for (const Table& t : tables_) {
    if (!ok) break;
    std::string sql = "INSERT INTO " + t.schema + ".\"" + t.name + "\" VALUES(";
    for (int c = 0; c < t.columns; ++c) sql += c == 0 ? "?" : ",?";
    sql += ")";
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) != SQLITE_OK) {
      ok = Fail(sqlite3_errmsg(db));
      break;
    }
    for (std::size_t at = 0; at < t.values.size(); at += static_cast<std::size_t>(t.columns)) {
      for (int c = 0; c < t.columns; ++c) sqlite3_bind_value(s, c + 1, t.values[at + c]);
      if (sqlite3_step(s) != SQLITE_DONE) {
        ok = Fail(t.name + ": " + sqlite3_errmsg(db));
        break;
      }
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  }
  const auto indexes = std::chrono::steady_clock::now();
  for (const std::string& text : lateIndexes) ok = ok && Exec(db, text, &error_);
  ok = ok && Exec(db, "COMMIT", &error_);
  const auto end = std::chrono::steady_clock::now();
  time->rows = std::chrono::duration<double>(indexes - start).count();
  time->indexes = std::chrono::duration<double>(end - indexes).count();
  time->indexesBuilt = static_cast<int>(lateIndexes.size());
  sqlite3_close(db);
  return ok;
}

}  // namespace metashelf::bench

// search (readable query text -> numbered conditions -> SearchMetaData) and
// values (every value of one node with its record id).
#include <algorithm>
#include <charconv>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "commands.h"
#include "json_text.h"

namespace metashelf::cli {
namespace {

// A score as JSON and listings show it: the shortest text that reads back.
std::string JsonNumber(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

const char* TableName(short type) {
  return type == kTableTypeText ? "text" : type == kTableTypeNumber ? "number" : "date";
}

// The parsed query; a refused text is a usage error that points at the
// column where it went wrong.
ParsedQuery ParseOrFail(Collection& collection, const std::string& query) {
  ParsedQuery parsed;
  QueryError error;
  if (!ParseQuery(query, collection.Resolver(), &parsed, &error)) {
    std::string message = "query: " + error.message;
    if (error.column > 0) message += " (column " + std::to_string(error.column) + ")";
    if (error.message.rfind("unknown field", 0) == 0) {
      // A damaged file can make a schema lose its fields: say so rather
      // than blame the query.
      FailIfDamaged(collection.session());
      message +=
          "; fields are node paths or the aliases listed by: metashelf schema show " +
          (collection.schemaName().empty() ? std::string("SCHEMA") : collection.schemaName());
    }
    UsageFail(message);
  }
  return parsed;
}

std::string Statement(Collection& collection, const ParsedQuery& parsed) {
  std::string sql;
  if (MsSearchSql(&collection.set(), parsed.expression, parsed.conditions, &sql) != 1) {
    Fail("cannot write the search statement for this query");
  }
  return sql;
}

int RunValues(const Globals& globals, const std::string& name, const std::string& field,
              bool json) {
  Session session(globals, Access::kRead);
  Collection collection(session, name);
  FieldInfo info;
  std::int32_t guid = 0;
  if (!collection.ResolveField(field, &info, &guid)) {
    FailIfDamaged(session);
    UsageFail("unknown field '" + field + "' in schema '" + collection.schemaName() +
              "' (see: metashelf schema show " + collection.schemaName() + ")");
  }
  if (info.tableType < 1 || info.tableType > 3) {
    UsageFail("field '" + field + "' (" + info.path + ") holds no values of its own");
  }
  const auto values = collection.NodeValues(guid, info.tableType);
  if (json) {
    std::cout << "{\"collection\":" << JsonString(name) << ",\"field\":" << JsonString(field)
              << ",\"path\":" << JsonString(info.path) << ",\"type\":\""
              << TableName(info.tableType) << "\",\"values\":[";
    for (std::size_t i = 0; i < values.size(); ++i) {
      std::cout << (i ? "," : "") << "{\"id\":" << values[i].first << ",\"value\":";
      if (info.tableType == kTableTypeNumber) {
        std::cout << values[i].second;
      } else {
        std::cout << JsonString(values[i].second);
      }
      std::cout << "}";
    }
    std::cout << "]}\n";
    return 0;
  }
  std::cout << "ID\tVALUE\n";
  for (const auto& [id, value] : values) std::cout << id << "\t" << OneLine(value) << "\n";
  std::cerr << values.size() << " value(s) of " << info.path << "\n";
  return 0;
}

}  // namespace

std::string TitleOf(Collection& collection, std::int64_t id) {
  for (const auto& [rid, value] : collection.AliasValues("title")) {
    if (rid == id) return value;
  }
  return std::string();
}

void EnsureSearchIndexes(Collection& collection) {
  if (MsSearchIndexesReady(&collection.set()) == 1) return;
  // One transaction: a build is far quicker than row-by-row commits, and an
  // interrupted one leaves nothing behind.
  Transaction transaction(collection.session().db());
  std::int64_t records = 0;
  const std::uint64_t failures = collection.session().db().LastStatementError().number;
  if (MsReindex(&collection.set(), &records) != 1) {
    const CHostDataBase::StatementError failed = collection.session().db().LastStatementError();
    Fail("the search indexes of collection '" + collection.name() + "' could not be built" +
         (failed.number != failures ? ": " + failed.message : std::string()));
  }
  transaction.Commit();
  if (!collection.session().globals().quiet) {
    std::cerr << "built the search indexes of '" << collection.name() << "' (" << records
              << " record(s))\n";
  }
}

bool PrepareSearchIndexes(const Globals& globals, const std::string& name) {
  {
    Session session(globals, Access::kRead);
    Collection collection(session, name);
    if (MsSearchIndexesReady(&collection.set()) == 1) return true;
  }
  std::unique_ptr<Session> writer;
  try {
    writer = std::make_unique<Session>(globals, Access::kWrite);
  } catch (const ToolError&) {
    return false;  // a read-only database: searches go without the indexes
  }
  Collection collection(*writer, name);
  EnsureSearchIndexes(collection);
  return true;
}

void FindRecords(Collection& collection, const ParsedQuery& parsed, bool indexed,
                 const MsSearchOptions& options, std::vector<MsSearchHit>* hits,
                 std::int32_t* total) {
  if (indexed) {
    if (MsSearch(&collection.set(), parsed.expression, parsed.conditions, options, hits, total) !=
        1) {
      Fail("the search failed in collection '" + collection.name() + "'");
    }
    return;
  }
  for (const SearchNode& c : parsed.conditions) {
    if (c.op == "text" || c.op == "intersects" || c.op == "within") {
      Fail("free-text and box conditions need the search indexes of '" + collection.name() +
           "', which a read-only database cannot build: run metashelf reindex " +
           collection.name() + " where it can be written");
    }
  }
  std::vector<SearchNode> conditions = parsed.conditions;
  CSmartArray<std::int64_t> found;
  if (collection.set().SearchMetaData(parsed.expression, conditions, found) != 1) {
    Fail("the search failed in collection '" + collection.name() + "'");
  }
  std::set<std::int64_t> unique;
  for (std::int32_t i = 0; i < found.GetSize(); ++i) unique.insert(found[i]);
  hits->clear();
  std::int32_t skipped = 0;
  for (std::int64_t id : unique) {
    if (skipped++ < options.offset) continue;
    if (options.limit > 0 && static_cast<std::int32_t>(hits->size()) >= options.limit) break;
    hits->push_back(MsSearchHit{id, 0.0});
  }
  if (total != nullptr) *total = static_cast<std::int32_t>(unique.size());
}

int RunSearch(const Globals& globals, const SearchOptions& options) {
  const bool indexed = PrepareSearchIndexes(globals, options.collection);
  Session session(globals, Access::kRead);
  Collection collection(session, options.collection);
  ParsedQuery parsed = ParseOrFail(collection, options.query);
  if (options.sql) std::cerr << Statement(collection, parsed) << "\n";

  MsSearchOptions searchOptions;
  searchOptions.orderByScore = options.order == "score";
  searchOptions.limit = options.limit;
  std::vector<MsSearchHit> hits;
  std::int32_t total = 0;
  FindRecords(collection, parsed, indexed, searchOptions, &hits, &total);
  std::set<std::int64_t> unique;
  for (const MsSearchHit& hit : hits) unique.insert(hit.metaID);
  std::map<std::int64_t, std::string> titles;
  if (!unique.empty()) {
    for (auto& [id, value] : collection.AliasValues("title")) {
      if (unique.count(id) != 0) titles.emplace(id, value);
    }
  }
  if (options.json) {
    std::cout << "{\"collection\":" << JsonString(options.collection)
              << ",\"query\":" << JsonString(options.query)
              << ",\"expression\":" << JsonString(parsed.expression) << ",\"conditions\":[";
    for (std::size_t i = 0; i < parsed.conditions.size(); ++i) {
      const SearchNode& c = parsed.conditions[i];
      std::cout << (i ? "," : "") << "{\"id\":" << c.condID
                << ",\"path\":" << JsonString(c.nodePath) << ",\"op\":" << JsonString(c.op)
                << ",\"value\":" << JsonString(c.value1);
      if (c.op == "between") std::cout << ",\"value2\":" << JsonString(c.value2);
      std::cout << "}";
    }
    std::cout << "],";
    if (options.sql) std::cout << "\"sql\":" << JsonString(Statement(collection, parsed)) << ",";
    std::cout << "\"count\":" << total << ",\"records\":[";
    bool first = true;
    for (const MsSearchHit& hit : hits) {
      std::cout << (first ? "" : ",") << "{\"id\":" << hit.metaID
                << ",\"title\":" << JsonString(titles.count(hit.metaID) ? titles[hit.metaID] : "")
                << ",\"score\":" << JsonNumber(hit.score) << "}";
      first = false;
    }
    std::cout << "]}\n";
    return 0;
  }
  std::cout << (searchOptions.orderByScore ? "ID\tSCORE\tTITLE\n" : "ID\tTITLE\n");
  for (const MsSearchHit& hit : hits) {
    std::cout << hit.metaID << "\t";
    if (searchOptions.orderByScore) std::cout << JsonNumber(hit.score) << "\t";
    std::cout << OneLine(titles[hit.metaID]) << "\n";
  }
  std::cerr << total << " record(s) match";
  if (static_cast<std::int32_t>(hits.size()) < total) std::cerr << ", " << hits.size() << " shown";
  std::cerr << "\n";
  return 0;
}

namespace {

int RunReindex(const Globals& globals, const std::string& name) {
  Session session(globals);
  Collection collection(session, name);
  Transaction transaction(session.db());
  std::int64_t records = 0;
  if (MsReindex(&collection.set(), &records) != 1) {
    Fail("the search indexes of collection '" + name + "' could not be built");
  }
  transaction.Commit();
  if (!session.globals().quiet) {
    std::cerr << "search indexes of '" << name << "' built over " << records << " record(s)\n";
  }
  return 0;
}

}  // namespace

void AddSearchCommands(CLI::App& app, Globals& globals, Action& action) {
  auto search = std::make_shared<SearchOptions>();
  CLI::App* searchCmd = app.add_subcommand(
      "search",
      "search a collection: QUERY such as 'title like water and (westbc >= -120 or keyword = "
      "Hydrology)'");
  searchCmd->add_option("COLLECTION", search->collection, "collection name")->required();
  searchCmd
      ->add_option("QUERY", search->query,
                   "fields (aliases or node paths), =, <>, <, <=, >, >=, like, "
                   "between X and Y; text ~ \"words\" (phrases, prefix*); bbox "
                   "intersects|within W,S,E,N; joined by and/or, with parentheses")
      ->required();
  searchCmd->add_flag("--json", search->json, "print JSON for programs");
  searchCmd->add_flag("--sql", search->sql, "also show the SQL statement (on standard error)");
  searchCmd->add_option("--order", search->order, "order of the records: id (default) or score")
      ->check(CLI::IsMember({"id", "score"}));
  searchCmd->add_option("--limit", search->limit, "show at most this many records (0: all)")
      ->check(CLI::NonNegativeNumber);
  searchCmd->callback(
      [&, search] { action = [&, search] { return RunSearch(globals, *search); }; });

  auto reindex = std::make_shared<std::string>();
  CLI::App* reindexCmd = app.add_subcommand(
      "reindex", "build a collection's search indexes (free text, substrings, boxes) anew");
  reindexCmd->add_option("COLLECTION", *reindex, "collection name")->required();
  reindexCmd->callback(
      [&, reindex] { action = [&, reindex] { return RunReindex(globals, *reindex); }; });

  struct ValuesArgs {
    std::string collection, field;
    bool json = false;
  };
  auto values = std::make_shared<ValuesArgs>();
  CLI::App* valuesCmd =
      app.add_subcommand("values", "list every stored value of a field with its record id");
  valuesCmd->add_option("COLLECTION", values->collection, "collection name")->required();
  valuesCmd->add_option("FIELD", values->field, "alias or node path")->required();
  valuesCmd->add_flag("--json", values->json, "print JSON for programs");
  valuesCmd->callback([&, values] {
    action = [&, values] {
      return RunValues(globals, values->collection, values->field, values->json);
    };
  });
}

}  // namespace metashelf::cli

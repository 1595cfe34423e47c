// search (readable query text -> numbered conditions -> SearchMetaData) and
// values (every value of one node with its record id).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>

#include "commands.h"
#include "json_text.h"
#include "metashelf/base/numbers.h"

namespace metashelf::cli {
namespace {

// Keys in the order written, as the output always had them.
using Json = nlohmann::ordered_json;

// A score as listings show it: the shortest text that reads back.
std::string ScoreText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

// A number as JSON writes it: whole numbers without a fraction ("3", not
// "3.0"), others by their shortest form; a value JSON cannot hold (not
// finite) as null.
Json JsonNumber(double value) {
  if (!std::isfinite(value)) return nullptr;
  if (value == std::trunc(value) && std::fabs(value) < 9e15) {
    return static_cast<std::int64_t>(value);
  }
  return value;
}

// One line of JSON; text that is not UTF-8 is written with replacement
// characters rather than refused.
void PrintJson(const Json& doc) {
  std::cout << doc.dump(-1, ' ', false, Json::error_handler_t::replace) << "\n";
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
    Json doc{{"collection", name},
             {"field", field},
             {"path", info.path},
             {"type", TableName(info.tableType)},
             {"values", Json::array()}};
    Json& list = doc["values"];
    for (const auto& [id, value] : values) {
      list.push_back(Json{{"id", id}, {"value", nullptr}});
      double number = 0;
      if (info.tableType != kTableTypeNumber) {
        list.back()["value"] = value;
      } else if (base::ParseDouble(value, &number)) {
        list.back()["value"] = JsonNumber(number);
      }
    }
    PrintJson(doc);
    return 0;
  }
  std::cout << "ID\tVALUE\n";
  for (const auto& [id, value] : values) std::cout << id << "\t" << OneLine(value) << "\n";
  std::cerr << values.size() << " value(s) of " << info.path << "\n";
  return 0;
}

}  // namespace

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
  std::vector<std::int64_t> found;
  for (const MsSearchHit& hit : hits) found.push_back(hit.metaID);
  std::map<std::int64_t, std::string> titles;
  for (auto& [id, value] : collection.AliasValues("title", found)) titles.emplace(id, value);
  if (options.json) {
    Json doc{{"collection", options.collection},
             {"query", options.query},
             {"expression", parsed.expression},
             {"conditions", Json::array()}};
    for (const SearchNode& c : parsed.conditions) {
      Json& condition = doc["conditions"].emplace_back(
          Json{{"id", c.condID}, {"path", c.nodePath}, {"op", c.op}, {"value", c.value1}});
      if (c.op == "between") condition["value2"] = c.value2;
    }
    if (options.sql) doc["sql"] = Statement(collection, parsed);
    doc["count"] = total;
    Json& records = doc["records"] = Json::array();
    for (const MsSearchHit& hit : hits) {
      records.push_back(Json{{"id", hit.metaID},
                             {"title", titles.count(hit.metaID) ? titles[hit.metaID] : ""},
                             {"score", JsonNumber(hit.score)}});
    }
    PrintJson(doc);
    return 0;
  }
  std::cout << (searchOptions.orderByScore ? "ID\tSCORE\tTITLE\n" : "ID\tTITLE\n");
  for (const MsSearchHit& hit : hits) {
    std::cout << hit.metaID << "\t";
    if (searchOptions.orderByScore) std::cout << ScoreText(hit.score) << "\t";
    std::cout << OneLine(titles[hit.metaID]) << "\n";
  }
  std::cerr << total << " record(s) match";
  if (static_cast<std::int32_t>(hits.size()) < total) std::cerr << ", " << hits.size() << " shown";
  std::cerr << "\n";
  return 0;
}

namespace {

// Outside a transaction, as an import builds them: the build commits in
// steps, works on a second connection where the backend has one, and marks
// the indexes ready last, so that one that fails or is cut short leaves
// them not ready (the next search builds them) and never half-built.
int RunReindex(const Globals& globals, const std::string& name) {
  Session session(globals);
  Collection collection(session, name);
  std::int64_t records = 0;
  const std::uint64_t failures = session.db().LastStatementError().number;
  if (MsReindex(&collection.set(), &records) != 1) {
    const CHostDataBase::StatementError failed = session.db().LastStatementError();
    Fail("the search indexes of collection '" + name + "' could not be built" +
         (failed.number != failures ? ": " + failed.message : std::string()) +
         "; the next search builds them");
  }
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

// search (readable query text -> numbered conditions -> SearchMetaData) and
// values (every value of one node with its record id).
#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <set>

#include "commands.h"
#include "text_util.h"

namespace metashelf::cli {
namespace {

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
      message +=
          "; fields are node paths or the aliases listed by: metashelf schema show " +
          (collection.schemaName().empty() ? std::string("SCHEMA") : collection.schemaName());
    }
    UsageFail(message);
  }
  return parsed;
}

std::string Statement(Collection& collection, const ParsedQuery& parsed) {
  auto* set = dynamic_cast<COraMetaDataSet*>(&collection.set());
  std::string sql;
  if (set == nullptr || set->BuildSearchSql(parsed.expression, parsed.conditions, sql) != 1) {
    Fail("cannot write the search statement for this query");
  }
  return sql;
}

int RunValues(const Globals& globals, const std::string& name, const std::string& field,
              bool json) {
  Session session(globals);
  Collection collection(session, name);
  FieldInfo info;
  std::int32_t guid = 0;
  if (!collection.ResolveField(field, &info, &guid)) {
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

int RunSearch(const Globals& globals, const SearchOptions& options) {
  Session session(globals);
  Collection collection(session, options.collection);
  ParsedQuery parsed = ParseOrFail(collection, options.query);
  if (options.sql) std::cerr << Statement(collection, parsed) << "\n";

  CSmartArray<std::int64_t> found;
  if (collection.set().SearchMetaData(parsed.expression, parsed.conditions, found) != 1) {
    Fail("the search failed in collection '" + options.collection + "'");
  }
  // An "or" yields a record once for each side it meets.
  std::set<std::int64_t> unique;
  for (std::int32_t i = 0; i < found.GetSize(); ++i) unique.insert(found[i]);
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
    std::cout << "\"count\":" << unique.size() << ",\"records\":[";
    bool first = true;
    for (std::int64_t id : unique) {
      std::cout << (first ? "" : ",") << "{\"id\":" << id
                << ",\"title\":" << JsonString(titles.count(id) ? titles[id] : "") << "}";
      first = false;
    }
    std::cout << "]}\n";
    return 0;
  }
  std::cout << "ID\tTITLE\n";
  for (std::int64_t id : unique) std::cout << id << "\t" << OneLine(titles[id]) << "\n";
  std::cerr << unique.size() << " record(s) match\n";
  return 0;
}

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
                   "between X and Y, joined by and/or, with parentheses")
      ->required();
  searchCmd->add_flag("--json", search->json, "print JSON for programs");
  searchCmd->add_flag("--sql", search->sql, "also show the SQL statement (on standard error)");
  searchCmd->callback(
      [&, search] { action = [&, search] { return RunSearch(globals, *search); }; });

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

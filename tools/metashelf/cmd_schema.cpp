// Schema commands: add (a schema text, or a shipped schema by name), list,
// show (the nodes), rm, and the generators from-xsd and from-samples (which
// can also grow a registered schema by the paths of sample records).
#include <filesystem>
#include <iostream>
#include <memory>

#include "commands.h"
#include "file_io.h"
#include "metashelf/schema_generators.h"
#include "shipped.h"

namespace metashelf::cli {
namespace {

const char* TableTypeName(short type) {
  switch (type) {
    case kTableTypeText:
      return "text";
    case kTableTypeNumber:
      return "number";
    case kTableTypeDate:
      return "date";
    default:
      return "-";
  }
}

// Hands out throw-away identifiers so a schema text can be checked before
// the catalog spends real ones on it.
void CountingIds(int count, std::vector<std::int64_t>& ids, void* context) {
  auto* next = static_cast<std::int64_t*>(context);
  for (int i = 0; i < count; ++i) ids.push_back((*next)++);
}

// The number of nodes of a schema text; throws naming the file and the
// parser's reason when the text is refused.
std::int32_t CheckSchemaText(const std::string& file, const std::string& text) {
  if (text.find('\0') != std::string::npos) Fail(file + ": not a schema text (NUL bytes)");
  std::int64_t next = 1;
  CSchemaRegister parser(&next);
  std::string schemaDoc, nodeInfo, xpathDoc;
  const std::int32_t nodes =
      parser.ParseSchema(text.c_str(), schemaDoc, nodeInfo, xpathDoc, CountingIds);
  if (nodes < 0) {
    Fail(file + ": not a usable schema text: " +
         (parser.LastError().empty() ? std::string("refused") : parser.LastError()));
  }
  return nodes;
}

int RunSchemaList(const Globals& globals) {
  Session session(globals, Access::kRead);
  const std::vector<std::int32_t> ids = session.SchemaIds();
  if (ids.empty()) {
    std::cout << "no schemas in catalog '" << globals.catalog
              << "' (add one with: metashelf schema add fgdc)\n";
    return 0;
  }
  std::cout << "ID\tSCHEMA\tCOLLECTIONS\tREMARK\n";
  for (std::int32_t id : ids) {
    X_CLS_SCHEMA info{};
    if (session.catalog().schema_GetInfo(id, &info) != 1) {
      Fail("cannot read schema " + std::to_string(id));
    }
    std::int32_t collections = 0;
    session.catalog().mds_GetNum(&collections, id);
    std::string name = info.schemaName;
    if (const ShippedSchema* s = FindShippedSchema(name);
        s != nullptr && name == s->registeredName) {
      name += " (" + std::string(s->shortName) + ")";
    }
    std::cout << id << "\t" << name << "\t" << collections << "\t" << info.remark << "\n";
  }
  return 0;
}

int RunSchemaShow(const Globals& globals, const std::string& name) {
  Session session(globals, Access::kRead);
  std::string registered;
  const std::int32_t id = session.RequireSchema(name, &registered);
  CBlobData blob;
  if (session.catalog().GetNodeInfo(id, &blob) != 1) {
    Fail("cannot read the nodes of schema '" + registered + "'");
  }
  std::string text(static_cast<std::size_t>(blob.GetDataLength()), '\0');
  if (!text.empty()) blob.GetData(text.data(), 0, blob.GetDataLength());
  CSchema schema;
  if (schema.SetNodeStructList(text.c_str()) != 1) {
    Fail("the stored nodes of schema '" + registered + "' cannot be read");
  }
  std::cout << "schema '" << registered << "' (id " << id << "), " << schema.GetNodeCount()
            << " nodes\n";
  std::cout << "GUID\tTYPE\tTABLE\tALIAS\tPATH\n";
  for (std::int32_t i = 0; i < schema.GetNodeCount(); ++i) {
    CNodeInfo node;
    if (schema.GetNodeInfoAt(i, &node) != 1) continue;
    std::int32_t guid = 0;
    short table = 0;
    node.GetNodeGUID(guid);
    node.GetTableType(table);
    std::cout << guid << "\t" << (node.DataType().empty() ? "-" : node.DataType()) << "\t"
              << TableTypeName(table) << "\t" << (node.Alias().empty() ? "-" : node.Alias()) << "\t"
              << node.Path() << "\n";
  }
  return 0;
}

int RunSchemaRemove(const Globals& globals, const std::string& name) {
  Session session(globals);
  std::string registered;
  const std::int32_t id = session.RequireSchema(name, &registered);
  std::int32_t collections = 0;
  if (session.catalog().mds_GetNum(&collections, id) != 1) {
    Fail("cannot count the collections of schema '" + registered + "'");
  }
  if (collections > 0) {
    Fail("schema '" + registered + "' is used by " + std::to_string(collections) +
         " collection(s); remove them first");
  }
  Transaction tx(session.db());
  if (session.catalog().schema_Del(id) != 1) Fail("cannot remove schema '" + registered + "'");
  tx.Commit();
  std::cout << "removed schema '" << registered << "'\n";
  return 0;
}

struct GeneratorArgs {
  std::vector<std::string> inputs;
  std::string name, root, extend;
  std::vector<std::string> aliases;  // PATH=ALIAS
};

SchemaGeneratorOptions GeneratorOptions(const GeneratorArgs& args, const std::string& fallback) {
  SchemaGeneratorOptions options;
  options.name = args.name.empty() ? fallback : args.name;
  options.rootElement = args.root;
  for (const std::string& a : args.aliases) {
    const std::size_t eq = a.rfind('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == a.size()) {
      UsageFail("--alias " + a + ": write it as PATH=ALIAS");
    }
    options.aliases.emplace_back(a.substr(0, eq), a.substr(eq + 1));
  }
  return options;
}

int RunSchemaFromXsd(const GeneratorArgs& args) {
  const std::string& xsd = args.inputs.front();
  const std::string text = ReadFile(xsd);
  std::string schema, error;
  const SchemaGeneratorOptions options =
      GeneratorOptions(args, std::filesystem::path(xsd).stem().string());
  if (SchemaTextFromXsd(text, options, schema, error) < 0) Fail(xsd + ": " + error);
  std::cout << schema;
  return 0;
}

// Loads the nodes of a registered schema.
void LoadRegistered(Session& session, std::int32_t id, const std::string& name, CSchema& schema) {
  CBlobData blob;
  if (session.catalog().GetNodeInfo(id, &blob) != 1) {
    Fail("cannot read the nodes of schema '" + name + "'");
  }
  std::string text(static_cast<std::size_t>(blob.GetDataLength()), '\0');
  if (!text.empty()) blob.GetData(text.data(), 0, blob.GetDataLength());
  if (schema.SetNodeStructList(text.c_str()) != 1) {
    Fail("the stored nodes of schema '" + name + "' cannot be read");
  }
}

// The schema text name of a registered schema: its shipped text's name for
// a shipped one, the registered name otherwise.
std::string TextNameOf(const std::string& registered) {
  const ShippedSchema* shipped = FindShippedSchema(registered);
  if (shipped == nullptr || registered != shipped->registeredName) return registered;
  try {
    const std::string text = ReadFile(DataDir() + "/schemas/" + shipped->file);
    const std::size_t at = text.find("<schemaText name=\"");
    if (at != std::string::npos) {
      const std::size_t begin = at + 18;
      const std::size_t end = text.find('"', begin);
      if (end != std::string::npos) return text.substr(begin, end - begin);
    }
  } catch (const ToolError&) {
  }
  return registered;
}

int RunSchemaFromSamples(const Globals& globals, const GeneratorArgs& args) {
  const std::vector<std::string> files = CollectXmlFiles(args.inputs);
  if (files.empty()) Fail("no XML files among the paths given");
  std::vector<std::string> samples;
  for (const std::string& f : files) samples.push_back(ReadFile(f));
  std::string schema, error;
  SchemaGeneratorReport report;
  if (args.extend.empty()) {
    SchemaGeneratorOptions options = GeneratorOptions(args, "samples");
    options.guessAliases = true;
    if (SchemaTextFromSamples(samples, options, schema, error, report) < 0) Fail(error);
  } else {
    Session session(globals);
    std::string registered;
    const std::int32_t id = session.RequireSchema(args.extend, &registered);
    CSchema base;
    LoadRegistered(session, id, registered, base);
    SchemaGeneratorOptions options = GeneratorOptions(args, TextNameOf(registered));
    options.guessAliases = true;
    if (SchemaTextExtending(base, samples, options, schema, error, report) < 0) Fail(error);
    for (const std::string& root : report.skippedRoots) {
      std::cerr << "note: samples with root " << root << " are not records of schema '"
                << registered << "'; they add nothing\n";
    }
  }
  for (const auto& [path, alias] : report.guessedAliases) {
    std::cerr << "note: guessed alias '" << alias << "' for " << path
              << " (give --alias PATH=" << alias << " to choose another node)\n";
  }
  std::cout << schema;
  return 0;
}

}  // namespace

int RunSchemaAdd(const Globals& globals, const std::string& name, const std::string& file,
                 const std::string& remark) {
  std::string registered = name;
  std::string path = file;
  if (path.empty()) {
    const ShippedSchema* shipped = FindShippedSchema(name);
    if (shipped == nullptr) {
      UsageFail("schema add " + name +
                ": give the schema text FILE (only the shipped schemas fgdc and iso19139 are "
                "known by name)");
    }
    registered = shipped->registeredName;
    path = DataDir() + "/schemas/" + shipped->file;
  }
  const std::string text = ReadFile(path);
  const std::int32_t nodes = CheckSchemaText(path, text);
  Session session(globals);
  if (session.catalog().schema_IsExist(registered.c_str()) == 1) {
    Fail("schema '" + registered + "' already exists in catalog '" + globals.catalog + "'");
  }
  Transaction tx(session.db());
  const std::uint64_t failuresBefore = session.db().LastStatementError().number;
  const std::int32_t id = session.catalog().schema_Add(registered.c_str(), text.c_str(),
                                                       remark.empty() ? nullptr : remark.c_str());
  if (id <= 0) {
    // The database's reason, when one of the registration's statements failed.
    const CHostDataBase::StatementError failed = session.db().LastStatementError();
    const std::string detail = failed.number != failuresBefore ? failed.message : std::string();
    Fail("cannot register schema '" + registered + "' from " + path +
         (detail.empty() ? std::string() : ": " + detail));
  }
  tx.Commit();
  std::cout << "registered schema '" << registered << "' (id " << id << ", " << nodes
            << " nodes) from " << path << "\n";
  return 0;
}

void AddSchemaCommands(CLI::App& app, Globals& globals, Action& action) {
  CLI::App* schema = app.add_subcommand("schema", "register, list, show and remove schemas");
  schema->require_subcommand(1);

  struct AddArgs {
    std::string name, file, remark;
  };
  auto add = std::make_shared<AddArgs>();
  CLI::App* addCmd = schema->add_subcommand(
      "add",
      "register a schema text under NAME; 'schema add fgdc' and 'schema add iso19139' "
      "register the shipped schemas (as KORVEN_FGDC and KORVEN_ISO)");
  addCmd->add_option("NAME", add->name, "schema name")->required();
  addCmd->add_option("FILE", add->file, "schema text (omit for a shipped schema)");
  addCmd->add_option("--remark", add->remark, "free text kept with the schema");
  addCmd->callback([&, add] {
    action = [&, add] { return RunSchemaAdd(globals, add->name, add->file, add->remark); };
  });

  schema->add_subcommand("list", "list the schemas of the catalog")->callback([&] {
    action = [&] { return RunSchemaList(globals); };
  });

  auto showName = std::make_shared<std::string>();
  CLI::App* show =
      schema->add_subcommand("show", "list a schema's nodes: GUID, data type, table, alias, path");
  show->add_option("NAME", *showName, "schema name")->required();
  show->callback(
      [&, showName] { action = [&, showName] { return RunSchemaShow(globals, *showName); }; });

  auto rmName = std::make_shared<std::string>();
  CLI::App* rm = schema->add_subcommand("rm", "remove a schema that no collection uses");
  rm->add_option("NAME", *rmName, "schema name")->required();
  rm->callback([&, rmName] { action = [&, rmName] { return RunSchemaRemove(globals, *rmName); }; });

  auto xsd = std::make_shared<GeneratorArgs>();
  xsd->inputs.resize(1);
  CLI::App* fromXsd =
      schema->add_subcommand("from-xsd", "print a schema text generated from an XML Schema (XSD)");
  fromXsd->add_option("XSD", xsd->inputs.front(), "XML Schema file (one file, no includes)")
      ->required();
  fromXsd->add_option("--name", xsd->name, "name written on the schema text");
  fromXsd->add_option("--root", xsd->root, "global element to start from");
  fromXsd->add_option("--alias", xsd->aliases, "search alias of a node: PATH=ALIAS (repeatable)");
  fromXsd->callback([&, xsd] { action = [xsd] { return RunSchemaFromXsd(*xsd); }; });

  auto samples = std::make_shared<GeneratorArgs>();
  CLI::App* fromSamples = schema->add_subcommand(
      "from-samples", "print a schema text generated from sample records (files or folders)");
  fromSamples->add_option("FILES", samples->inputs, "sample records")->required();
  fromSamples->add_option("--name", samples->name, "name written on the schema text");
  fromSamples->add_option("--alias", samples->aliases,
                          "search alias of a node: PATH=ALIAS (repeatable); title, abstract, "
                          "keyword and the bounds westbc, eastbc, southbc, northbc are guessed "
                          "from common element names when not given (said on standard error)");
  fromSamples->add_option("--extend", samples->extend,
                          "print the registered schema NAME grown by the paths of the samples");
  fromSamples->callback(
      [&, samples] { action = [&, samples] { return RunSchemaFromSamples(globals, *samples); }; });
}

}  // namespace metashelf::cli

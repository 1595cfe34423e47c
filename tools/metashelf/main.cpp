// metashelf: the command-line tool for data managers. Parses the command
// line (CLI11), runs the chosen command, and turns every failure into one
// line on standard error: usage errors exit 2, failures 1.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>

#include "commands.h"
#include "session.h"

namespace {

using metashelf::cli::Action;
using metashelf::cli::Globals;

int Main(int argc, char** argv) {
  Globals globals;
  Action action;
  CLI::App app{
      "metashelf stores geographic metadata records (FGDC, ISO 19139, ...) in a database, "
      "reads them back exactly as they were, and searches them.",
      "metashelf"};
  app.set_version_flag("--version", "metashelf 0.1.0");
  app.require_subcommand(1);
  app.fallthrough();
  app.add_option("--db", globals.db,
                 "database: sqlite:PATH or a PostgreSQL URI/conninfo (default sqlite:metashelf.db)")
      ->envname("METASHELF_DB");
  app.add_option("--catalog", globals.catalog, "catalog to work in (default \"default\")")
      ->envname("METASHELF_CATALOG");
  app.add_flag("-q,--quiet", globals.quiet, "no progress output");

  metashelf::cli::AddCatalogCommands(app, globals, action);
  metashelf::cli::AddSchemaCommands(app, globals, action);
  metashelf::cli::AddCollectionCommands(app, globals, action);
  metashelf::cli::AddImportCommand(app, globals, action);
  metashelf::cli::AddRecordCommands(app, globals, action);
  metashelf::cli::AddSearchCommands(app, globals, action);
  metashelf::cli::AddAttachmentCommands(app, globals, action);
  metashelf::cli::AddMapCommand(app, globals, action);
  metashelf::cli::AddDemoCommand(app, globals, action);
  metashelf::cli::AddFileCommands(app, globals, action);
  metashelf::cli::AddServeCommand(app, globals, action);

  // Name an unknown command rather than asking for "a subcommand".
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--db" || arg == "--catalog") {
      ++i;
      continue;
    }
    if (arg.empty() || arg[0] == '-') continue;
    bool known = true;
    try {
      app.get_subcommand(arg);
    } catch (const CLI::OptionNotFound&) {
      known = false;
    }
    if (!known) {
      std::cerr << "metashelf: unknown command '" << arg << "' (run 'metashelf --help')\n";
      return metashelf::cli::kExitUsage;
    }
    break;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "metashelf: " << e.what() << " (run 'metashelf --help' for usage)\n";
    return metashelf::cli::kExitUsage;
  }
  // An empty --db would silently mean the default file in this folder.
  if (app.get_option("--db")->count() > 0 && globals.db.empty()) {
    std::cerr << "metashelf: --db needs a database: sqlite:PATH or a PostgreSQL URI "
                 "(run 'metashelf --help' for usage)\n";
    return metashelf::cli::kExitUsage;
  }
  if (!action) {
    std::cerr << "metashelf: no command given; run 'metashelf --help'\n";
    return metashelf::cli::kExitUsage;
  }
  return action();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const metashelf::cli::ToolError& e) {
    std::cout.flush();
    std::cerr << "metashelf: " << e.what() << "\n";
    return e.code();
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << "metashelf: " << e.what() << "\n";
    return metashelf::cli::kExitFailure;
  } catch (...) {
    std::cerr << "metashelf: unexpected failure\n";
    return metashelf::cli::kExitFailure;
  }
}

// serve: the catalog over HTTP (CSW and OGC API - Records). The server
// itself is the server library's; this command only configures and starts
// it, after giving every collection its search indexes.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "server.h"

namespace metashelf::cli {
namespace {

// The server searches through the collections' search indexes when they are
// complete and through the value tables otherwise, which takes a hundred
// times longer on a large collection. An import into a new collection
// leaves them to the first search, so they are built here, before
// listening, as `metashelf search` would. A database that cannot be written
// is served without them.
void PrepareAllSearchIndexes(const Globals& globals) {
  std::vector<std::string> names;
  try {
    Session session(globals, Access::kRead);
    for (std::int32_t id : session.CollectionIds()) {
      char name[256] = {};
      if (session.catalog().mds_GetName(id, name, sizeof name) == 1) names.emplace_back(name);
    }
  } catch (const ToolError&) {
    return;  // the server says why it cannot open the catalog
  }
  for (const std::string& name : names) {
    try {
      PrepareSearchIndexes(globals, name);
    } catch (const ToolError& e) {
      std::cerr << "serving '" << name << "' without its search indexes: " << e.what() << "\n";
    }
  }
}

}  // namespace

void AddServeCommand(CLI::App& app, Globals& globals, Action& action) {
  auto options = std::make_shared<server::ServerOptions>();
  CLI::App* cmd = app.add_subcommand(
      "serve",
      "serve the catalog over HTTP: CSW 2.0.2 at /csw, OGC API - Records at / (read-only; "
      "stop with Ctrl-C)");
  cmd->add_option("--listen", options->listen,
                  "HOST:PORT to listen on (default 127.0.0.1:8080, loopback only; port 0 picks "
                  "a free one)");
  cmd->add_option("--base-url", options->baseUrl,
                  "the URL clients reach the server by, for links in answers (default: from "
                  "each request's Host)");
  cmd->add_option("--threads", options->threads, "requests served at once (default 8)")
      ->check(CLI::Range(1, 256));
  cmd->add_option("--max-records", options->maxRecords, "most records in one answer (default 1000)")
      ->check(CLI::Range(1, 100000));
  cmd->add_option("--port-file", options->portFile,
                  "write the port listened on to FILE once listening");
  cmd->callback([&, options] {
    action = [&, options] {
      server::ServerOptions o = *options;
      o.db = globals.db.empty() ? CHostDataBase::DefaultUri() : globals.db;
      o.catalog = globals.catalog;
      PrepareAllSearchIndexes(globals);
      return server::RunServer(o, std::cerr);
    };
  });
}

}  // namespace metashelf::cli

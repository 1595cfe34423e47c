// serve: the catalog over HTTP (CSW and OGC API - Records). The server
// itself is the server library's; this command only configures and starts
// it.
#include <iostream>
#include <memory>

#include "commands.h"
#include "server.h"

namespace metashelf::cli {

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
      return server::RunServer(o, std::cerr);
    };
  });
}

}  // namespace metashelf::cli

// metashelf's catalog server: CSW 2.0.2 at /csw and OGC API - Records at /
// over one catalog of a database, every collection of it served. Read-only.
// The tool's `serve` command fills ServerOptions and calls RunServer.
#ifndef METASHELF_SERVER_SERVER_H_
#define METASHELF_SERVER_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace metashelf::server {

struct ServerOptions {
  std::string db;  // database URI (sqlite:PATH or PostgreSQL)
  std::string catalog = "default";
  std::string listen = "127.0.0.1:8080";  // HOST:PORT; port 0 picks a free one
  std::string baseUrl;                    // empty: from each request's Host header
  int threads = 8;                        // requests served at once (and connections)
  std::int64_t maxRecords = 1000;         // most records per answer
  std::size_t maxBodyBytes = 1 << 20;     // largest request body
  // When not empty, the port bound is written there once listening (tests
  // start the server on port 0).
  std::string portFile;
};

// Serves until SIGINT or SIGTERM, then finishes the requests under way and
// returns 0. Returns 1 with a message on `log` when it cannot start. Writes
// one access line per request to `log`.
int RunServer(const ServerOptions& options, std::ostream& log);

}  // namespace metashelf::server

#endif  // METASHELF_SERVER_SERVER_H_

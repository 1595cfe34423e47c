// The HTTP side of the server (server.h): listening, the worker pool, the
// routes of both interfaces and the pages, limits, the access log, and a
// graceful stop on SIGINT/SIGTERM.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <mutex>
#include <ostream>
#include <thread>

#include "core/whole_number.h"
#include "csw/csw_service.h"
#include "http/service.h"
#include "metashelf/base/numbers.h"
#include "ogcapi/ogcapi_service.h"
#include "pages/pages.h"
#include "server.h"

namespace metashelf::server {

std::string ServiceContext::BaseUrl(const httplib::Request& request) const {
  if (!fixedBaseUrl.empty()) return fixedBaseUrl;
  std::string host = request.get_header_value("Host");
  // A Host header is a name and a port; anything else falls back to the
  // address the request came in on.
  const bool plain =
      !host.empty() && host.size() < 256 && host.find_first_of(" /\\\"'<>?#@") == std::string::npos;
  if (!plain) host = request.local_addr + ":" + std::to_string(request.local_port);
  return "http://" + host;
}

namespace {

bool SplitListen(const std::string& listen, std::string* host, int* port) {
  const auto colon = listen.rfind(':');
  if (colon == std::string::npos) return false;
  *host = listen.substr(0, colon);
  if (host->size() >= 2 && host->front() == '[' && host->back() == ']') {
    *host = host->substr(1, host->size() - 2);
  }
  std::int64_t number = 0;
  if (host->empty() || !ParseWholeNumber(listen.substr(colon + 1), &number, 5) || number > 65535) {
    return false;
  }
  *port = static_cast<int>(number);
  return true;
}

// The moment the request in this worker started, for the access log.
thread_local std::chrono::steady_clock::time_point requestStart;

std::string Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

}  // namespace

int RunServer(const ServerOptions& options, std::ostream& log) {
  std::string host;
  int port = 0;
  if (!SplitListen(options.listen, &host, &port)) {
    log << "metashelf: --listen takes HOST:PORT, not '" << options.listen << "'\n";
    return 1;
  }
  if (!options.baseUrl.empty() && options.baseUrl.rfind("http://", 0) != 0 &&
      options.baseUrl.rfind("https://", 0) != 0) {
    log << "metashelf: --base-url takes an http:// or https:// URL\n";
    return 1;
  }
  const int threads = std::max(1, std::min(options.threads, 256));
  ConnectionPool pool(options.db, options.catalog, threads);
  {
    // Refuse to start on a database or catalog that cannot be opened.
    std::string error;
    Lease first = pool.Acquire(&error);
    if (!first) {
      log << "metashelf: " << error << "\n";
      return 1;
    }
  }

  ServiceContext context;
  context.pool = &pool;
  context.catalogName = options.catalog;
  context.fixedBaseUrl = options.baseUrl;
  while (!context.fixedBaseUrl.empty() && context.fixedBaseUrl.back() == '/') {
    context.fixedBaseUrl.pop_back();
  }
  context.maxRecords = std::max<std::int64_t>(1, options.maxRecords);
  context.defaultRecords = std::min<std::int64_t>(10, context.maxRecords);

  httplib::Server server;
  server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
  server.set_payload_max_length(options.maxBodyBytes);
  server.set_read_timeout(10, 0);
  server.set_write_timeout(10, 0);
  server.set_keep_alive_max_count(1000);
  server.set_keep_alive_timeout(5);
  // Answers go out at once, not held back for the client's acknowledgement.
  server.set_tcp_nodelay(true);

  std::mutex logMutex;
  server.set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
    requestStart = std::chrono::steady_clock::now();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server.set_logger([&log, &logMutex](const httplib::Request& req, const httplib::Response& res) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - requestStart)
                            .count();
    const std::string ms = base::FormatDouble(static_cast<double>(micros) / 1000.0, 'f', 1);
    std::string target = req.target.size() > 512 ? req.target.substr(0, 512) + "..." : req.target;
    for (char& c : target) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    std::lock_guard<std::mutex> lock(logMutex);
    log << req.remote_addr << " " << Now() << " \"" << req.method << " " << target << "\" "
        << res.status << " " << res.body.size() << " " << ms << "ms\n";
  });
  server.set_exception_handler(
      [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        res.status = 500;
        const nlohmann::json doc{{"code", "ServerError"},
                                 {"description", "the request could not be served"}};
        res.set_content(doc.dump(), "application/json");
      });
  server.set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    if (!res.body.empty()) return pages::ShowFailureAsPage(req, res);
    const char* code = res.status == 404   ? "NotFound"
                       : res.status == 413 ? "PayloadTooLarge"
                       : res.status == 405 ? "MethodNotAllowed"
                                           : "BadRequest";
    const nlohmann::json doc{
        {"code", code},
        {"description", "the request was refused (HTTP " + std::to_string(res.status) + ")"}};
    res.set_content(doc.dump(), "application/json");
    pages::ShowFailureAsPage(req, res);
  });

  AddCswRoutes(server, context);
  AddOgcApiRoutes(server, context);
  pages::AddPageRoutes(server);

  // SIGINT and SIGTERM wait for the watcher, in every thread started from
  // here on (they inherit the mask).
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);

  const int bound =
      port == 0 ? server.bind_to_any_port(host) : (server.bind_to_port(host, port) ? port : -1);
  if (bound <= 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    log << "metashelf: cannot listen on " << options.listen << "\n";
    return 1;
  }
  if (!options.portFile.empty()) {
    std::ofstream out(options.portFile + ".tmp");
    out << bound << "\n";
    out.close();
    std::rename((options.portFile + ".tmp").c_str(), options.portFile.c_str());
  }
  log << "metashelf: serving catalog '" << options.catalog << "' on http://"
      << (host.find(':') != std::string::npos ? "[" + host + "]" : host) << ":" << bound
      << " (CSW at /csw, OGC API - Records at /; " << threads << " workers)\n";
  log.flush();

  std::atomic<bool> done{false};
  std::atomic<int> taken{0};
  std::thread watcher([&] {
    const timespec tick{0, 200 * 1000 * 1000};
    while (!done.load()) {
      const int s = sigtimedwait(&stopSignals, nullptr, &tick);
      if (s == SIGINT || s == SIGTERM) {
        taken = s;
        server.stop();
        return;
      }
    }
  });
  const bool listened = server.listen_after_bind();
  done = true;
  watcher.join();
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (taken != 0) {
    log << "metashelf: stopped on " << (taken == SIGINT ? "SIGINT" : "SIGTERM") << "\n";
    return 0;
  }
  if (!listened) {
    log << "metashelf: the server stopped unexpectedly\n";
    return 1;
  }
  return 0;
}

}  // namespace metashelf::server

// Load test of `metashelf serve` on loopback: a catalog of about N records
// (the corpus imported over and over), the server on a free port, then C
// clients each sending R requests of a fixed mix (selective GetRecords with
// no record and with ten records to return, GetRecordById, OGC API
// searches and single records, capabilities) as fast as answers come.
// Prints throughput, p50/p99 latency per kind, the failed requests, and
// the server's resident memory before, during and after the run. The
// floor is the same clients asking /conformance, which touches no
// database: the table gives each kind's p50 against it.
//
//   serve_bench [--records N] [--clients C] [--requests R] [--db URI]
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int Run(const std::vector<std::string>& args) {
  std::string command;
  for (const std::string& a : args) command += "'" + a + "' ";
  return std::system((command + ">/dev/null 2>&1").c_str());
}

long RssKb(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

struct Kind {
  const char* name;
  bool post;
  std::string path;
  std::string body;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

}  // namespace

int main(int argc, char** argv) {
  int records = 10000;
  int clients = 8;
  int requests = 500;
  std::string db;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--records")
      records = std::atoi(argv[i + 1]);
    else if (a == "--clients")
      clients = std::atoi(argv[i + 1]);
    else if (a == "--requests")
      requests = std::atoi(argv[i + 1]);
    else if (a == "--db")
      db = argv[i + 1];
  }
  const std::string tool = METASHELF_TOOL_PATH;
  const std::string corpus = METASHELF_CORPUS_DIR;
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("serve_bench." + std::to_string(getpid()));
  std::filesystem::create_directories(work);
  if (db.empty()) db = "sqlite:" + (work / "bench.db").string();
  const std::string catalog = "bench" + std::to_string(getpid());
  auto t = [&](std::vector<std::string> args) {
    std::vector<std::string> full = {tool, "--db", db, "--catalog", catalog, "-q"};
    full.insert(full.end(), args.begin(), args.end());
    return Run(full);
  };
  t({"init"});
  t({"schema", "add", "fgdc"});
  t({"schema", "add", "iso19139"});
  const std::string fg = "fg" + std::to_string(getpid());
  const std::string iso = "iso" + std::to_string(getpid());
  t({"collection", "create", fg, "--schema", "fgdc"});
  t({"collection", "create", iso, "--schema", "iso19139"});
  // 144 FGDC and 203 ISO records per round.
  const auto setupStart = Clock::now();
  const int rounds = std::max(1, (records + 346) / 347);
  for (int r = 0; r < rounds; ++r) {
    if (t({"import", fg, corpus + "/fgdc", "--no-notes"}) != 0 ||
        t({"import", iso, corpus + "/iso19139", "--no-notes"}) != 0) {
      std::fprintf(stderr, "serve_bench: the import failed\n");
      return 1;
    }
  }
  // The search indexes, where the library keeps them (a tool without the
  // command refuses it, and nothing changes).
  t({"reindex", fg});
  t({"reindex", iso});
  const double setupSeconds = std::chrono::duration<double>(Clock::now() - setupStart).count();

  const std::string portFile = (work / "port").string();
  const pid_t server = fork();
  if (server == 0) {
    const int devnull = open("/dev/null", 1);
    dup2(devnull, 2);
    execl(tool.c_str(), tool.c_str(), "--db", db.c_str(), "--catalog", catalog.c_str(), "serve",
          "--listen", "127.0.0.1:0", "--port-file", portFile.c_str(), "--threads",
          std::to_string(clients).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int port = 0;
  for (int i = 0; i < 600 && port == 0; ++i) {
    std::ifstream in(portFile);
    in >> port;
    if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (port == 0) {
    std::fprintf(stderr, "serve_bench: the server did not start\n");
    kill(server, SIGTERM);
    return 1;
  }

  // A few record ids to fetch.
  std::vector<std::string> ids;
  {
    httplib::Client c("127.0.0.1", port);
    auto res = c.Get(("/collections/" + iso + "/items?limit=50&offset=1000").c_str());
    std::string body = res ? res->body : std::string();
    for (std::size_t at = 0; (at = body.find("\"id\":\"", at)) != std::string::npos;) {
      at += 6;
      ids.push_back(body.substr(at, body.find('"', at) - at));
    }
  }
  if (ids.empty()) ids.push_back("1");

  const std::string selective =
      "<csw:GetRecords xmlns:csw=\"http://www.opengis.net/cat/csw/2.0.2\" "
      "xmlns:ogc=\"http://www.opengis.net/ogc\" xmlns:gml=\"http://www.opengis.net/gml\" "
      "service=\"CSW\" version=\"2.0.2\" resultType=\"results\" maxRecords=\"10\">"
      "<csw:Query typeNames=\"csw:Record\"><csw:ElementSetName>summary</csw:ElementSetName>"
      "<csw:Constraint version=\"1.1.0\"><ogc:Filter><ogc:And><ogc:PropertyIsLike wildCard=\"%\" "
      "singleChar=\"_\" escapeChar=\"\\\"><ogc:PropertyName>dc:title</ogc:PropertyName>"
      "<ogc:Literal>%Hydrography%</ogc:Literal></ogc:PropertyIsLike><ogc:BBOX>"
      "<ogc:PropertyName>ows:BoundingBox</ogc:PropertyName><gml:Envelope>"
      "<gml:lowerCorner>-125 24</gml:lowerCorner><gml:upperCorner>-66 50</gml:upperCorner>"
      "</gml:Envelope></ogc:BBOX></ogc:And></ogc:Filter></csw:Constraint></csw:Query>"
      "</csw:GetRecords>";
  // The same with a title that some records in the box carry (one record
  // per round of the corpus): ten summary records are read and written.
  std::string returning = selective;
  returning.replace(returning.find("%Hydrography%"), 13, "%Flood%");
  std::vector<Kind> kinds = {
      {"GetRecords, selective filter", true, "/csw", selective},
      {"GetRecords, selective, 10 returned", true, "/csw", returning},
      {"GetRecordById", false, "/csw?service=CSW&version=2.0.2&request=GetRecordById&id=", ""},
      {"items?filter=title LIKE", false,
       "/collections/" + fg + "/items?limit=10&filter=title%20LIKE%20%27%25Topographic%25%27", ""},
      {"items/{id}", false, "/collections/" + iso + "/items/", ""},
      {"GetCapabilities", false, "/csw?service=CSW&request=GetCapabilities", ""},
  };
  const Kind floorKind{"floor: /conformance", false, "/conformance", ""};

  auto load = [&](const std::vector<const Kind*>& mix, int perClient,
                  std::map<std::string, std::vector<double>>* latencies, int* failed,
                  std::vector<long>* rss) {
    std::mutex mutex;
    std::atomic<int> bad{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&, c] {
        httplib::Client client("127.0.0.1", port);
        client.set_keep_alive(true);
        client.set_tcp_nodelay(true);
        std::map<std::string, std::vector<double>> mine;
        for (int i = 0; i < perClient; ++i) {
          const Kind& k = *mix[static_cast<std::size_t>(c + i) % mix.size()];
          std::string path = k.path;
          if (path.back() == '=' || path.back() == '/') {
            path += ids[static_cast<std::size_t>(c * 7 + i) % ids.size()];
          }
          const auto start = Clock::now();
          auto res = k.post ? client.Post(path.c_str(), k.body, "application/xml")
                            : client.Get(path.c_str());
          const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
          if (!res || res->status != 200) ++bad;
          mine[k.name].push_back(ms);
          ++done;
        }
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& [name, v] : mine) {
          auto& all = (*latencies)[name];
          all.insert(all.end(), v.begin(), v.end());
        }
      });
    }
    if (rss != nullptr) {
      while (done.load() < clients * perClient) {
        rss->push_back(RssKb(server));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
    }
    for (std::thread& th : threads) th.join();
    *failed += bad.load();
  };

  // Warm-up: every kind once per client.
  std::vector<const Kind*> mix;
  for (const Kind& k : kinds) mix.push_back(&k);
  std::map<std::string, std::vector<double>> ignored;
  int failed = 0;
  load(mix, static_cast<int>(kinds.size()), &ignored, &failed, nullptr);
  const long rssBefore = RssKb(server);

  std::map<std::string, std::vector<double>> floor;
  load({&floorKind}, requests / 5, &floor, &failed, nullptr);

  std::map<std::string, std::vector<double>> latencies;
  std::vector<long> rss;
  const auto start = Clock::now();
  load(mix, requests, &latencies, &failed, &rss);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const long rssAfter = RssKb(server);

  kill(server, SIGTERM);
  int status = 0;
  waitpid(server, &status, 0);
  t({"drop-catalog", catalog, "--force"});
  std::error_code ec;
  std::filesystem::remove_all(work, ec);

  const double floorP50 = Percentile(floor[floorKind.name], 0.5);
  std::printf("## metashelf serve: %d clients x %d requests, %d records (%s)\n\n", clients,
              requests, rounds * 347, db.rfind("sqlite:", 0) == 0 ? "SQLite" : "PostgreSQL");
  std::printf("| request | count | p50 ms | p99 ms | p50 / floor |\n|---|---|---|---|---|\n");
  std::vector<double> all;
  for (const Kind& k : kinds) {
    const auto& v = latencies[k.name];
    all.insert(all.end(), v.begin(), v.end());
    std::printf("| %s | %zu | %.2f | %.2f | %.1f |\n", k.name, v.size(), Percentile(v, 0.5),
                Percentile(v, 0.99), Percentile(v, 0.5) / std::max(floorP50, 1e-6));
  }
  std::printf("| all | %zu | %.2f | %.2f | %.1f |\n", all.size(), Percentile(all, 0.5),
              Percentile(all, 0.99), Percentile(all, 0.5) / std::max(floorP50, 1e-6));
  std::printf("| %s | %zu | %.2f | %.2f | 1.0 |\n\n", floorKind.name, floor[floorKind.name].size(),
              floorP50, Percentile(floor[floorKind.name], 0.99));
  long rssMax = rssBefore;
  for (long r : rss) rssMax = std::max(rssMax, r);
  std::printf("throughput %.0f requests/s; failed requests %d; server stopped with status %d\n",
              static_cast<double>(all.size()) / seconds, failed,
              WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::printf("server memory (RSS) %ld kB before the run, %ld kB at most during, %ld kB after\n",
              rssBefore, rssMax, rssAfter);
  std::printf("catalog built in %.0f s\n", setupSeconds);
  return failed == 0 ? 0 : 1;
}

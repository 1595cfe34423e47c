// An import interrupted by a signal: it stops between records, writes what
// it read, builds the value indexes it dropped and says what was left.
// The run is held at a known record by reading it from a FIFO: the test
// sends the signal while the tool waits there.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_run.h"
#include "support/pg_server.h"

namespace fs = std::filesystem;

namespace {

const std::string kSamples = std::string(METASHELF_SOURCE_DIR) + "/data/samples/fgdc";

class CliInterruptTest : public CliFolderTest {
 protected:
  // How many value indexes the database file holds.
  int ValueIndexes() {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open((dir_ + "/cli.db").c_str(), &db) == SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db,
                             "SELECT count(*) FROM sqlite_master WHERE type='index' AND name "
                             "LIKE '%\\_NV' ESCAPE '\\'",
                             -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW) {
        count = sqlite3_column_int(stmt, 0);
      }
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return count;
  }

  // Starts the tool on `args` with its output in out.txt and err.txt;
  // `ignored` is set to be ignored in it first, as a shell does for the
  // jobs it starts in the background.
  pid_t Start(const std::vector<std::string>& args, int ignored = 0) {
    return SpawnCli(args, dir_, dir_ + "/out.txt", dir_ + "/err.txt", {}, ignored);
  }

  // Waits until the tool `pid` opens `fifo` to read it (by then it holds
  // its signals), sends it `sig`, then gives it `file` through the FIFO.
  // False (with a test failure) when the tool never got there.
  bool SignalWhileHeld(pid_t pid, const std::string& fifo, int sig, const std::string& file) {
    int writer = -1;
    for (int tries = 0; tries < 3000 && writer < 0; ++tries) {
      writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
      if (writer >= 0) break;
      int early = 0;
      if (errno != ENXIO || waitpid(pid, &early, WNOHANG) == pid) {
        ADD_FAILURE() << "the tool did not reach the held record: " << SlurpFile(dir_ + "/err.txt");
        return false;
      }
      usleep(10000);
    }
    if (writer < 0) {
      ADD_FAILURE() << "the tool did not reach the held record in 30 s";
      return false;
    }
    EXPECT_EQ(fcntl(writer, F_SETFL, 0), 0);
    EXPECT_EQ(kill(pid, sig), 0);
    const std::string record = SlurpFile(file);
    EXPECT_EQ(write(writer, record.data(), record.size()), static_cast<ssize_t>(record.size()));
    close(writer);
    return true;
  }

  // Sends `sig` to the tool `pid` while it is held at `fifo`, waits for it
  // and checks that it ended interrupted by `sig`, its summary saying
  // `stored` and `interrupted`.
  void ExpectInterrupted(pid_t pid, const std::string& fifo, int sig, const std::string& stored,
                         const std::string& interrupted) {
    ASSERT_TRUE(SignalWhileHeld(pid, fifo, sig, kSamples + "/willow_creek_hydrography.xml"));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
    const std::string printed = SlurpFile(dir_ + "/out.txt");
    EXPECT_NE(printed.find(stored), std::string::npos) << printed;
    EXPECT_NE(printed.find(interrupted), std::string::npos) << printed;
  }

  // Creates collection "c" and the FIFO held.xml; the FIFO's path.
  std::string Prepare() {
    EXPECT_EQ(Run({"init"}).status, 0);
    EXPECT_EQ(Run({"schema", "add", "fgdc"}).status, 0);
    EXPECT_EQ(Run({"collection", "create", "c", "--schema", "fgdc"}).status, 0);
    const std::string fifo = dir_ + "/held.xml";
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    return fifo;
  }

  // The lines of `list c` (a heading and one per record).
  std::size_t ListedLines() {
    const CliResult list = Run({"list", "c"});
    EXPECT_EQ(list.status, 0) << list.err;
    std::size_t lines = 0;
    for (char c : list.out) lines += c == '\n';
    return lines;
  }
};

TEST_F(CliInterruptTest, ASignalStopsTheImportBetweenRecordsAndTheIndexesAreBuilt) {
  const std::string fifo = Prepare();
  // Five samples, the held record, then one that is never read.
  const pid_t pid =
      Start({"--db", db_, "import", "c", kSamples, fifo,
             kSamples + "/lake_champlain_bathymetry.xml", "--value-indexes", "after"});
  ASSERT_GT(pid, 0);
  ASSERT_NO_FATAL_FAILURE(ExpectInterrupted(pid, fifo, SIGTERM, "stored 6 of 7 record(s)",
                                            "interrupted by SIGTERM: 1 record(s) not read"));
  const std::string err = SlurpFile(dir_ + "/err.txt");
  EXPECT_NE(err.find("building the value indexes of 'c'"), std::string::npos) << err;

  EXPECT_EQ(ValueIndexes(), 3);
  EXPECT_NE(Run({"list", "c"}).out.find("held.xml"), std::string::npos);
  EXPECT_EQ(ListedLines(), 7u);  // a heading and six records
}

TEST_F(CliInterruptTest, ASignalLetsSeveralWritersFinishWhatWasRead) {
  // Two writers on PostgreSQL: the batches read before the signal and the
  // one the held record completes are all written, once each.
  const char* conninfo = metashelf::testing::PgServerConninfo();
  if (conninfo == nullptr) GTEST_SKIP() << "no PostgreSQL server in this run";
  db_ = conninfo;
  const std::string name = "intr" + std::to_string(getpid());
  const std::vector<std::string> on = {"--db", db_, "--catalog", name};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), on.begin(), on.end());
    return RunCli(args, dir_);
  };
  ASSERT_EQ(run({"init"}).status, 0);
  EXPECT_EQ(run({"schema", "add", "fgdc"}).status, 0);
  EXPECT_EQ(run({"collection", "create", name, "--schema", "fgdc"}).status, 0);
  const std::string fifo = dir_ + "/held.xml";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> args = on;
  args.insert(args.end(),
              {"import", name, kSamples, fifo, kSamples + "/lake_champlain_bathymetry.xml",
               "--value-indexes", "after", "--writers", "2", "--batch", "2"});
  const pid_t pid = Start(args);
  ASSERT_GT(pid, 0);
  ASSERT_NO_FATAL_FAILURE(ExpectInterrupted(pid, fifo, SIGTERM, "stored 6 of 7 record(s)",
                                            "interrupted by SIGTERM: 1 record(s) not read"));
  const std::string err = SlurpFile(dir_ + "/err.txt");
  EXPECT_NE(err.find("building the value indexes of '" + name + "'"), std::string::npos) << err;
  const CliResult list = run({"list", name});
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 7) << list.out;
  EXPECT_NE(list.out.find("held.xml"), std::string::npos) << list.out;
  run({"drop-catalog", name, "--force"});
}

TEST_F(CliInterruptTest, ASignalDuringTheLastRecordIsReportedInTheSummary) {
  // The signal comes after the last check between records: the import
  // still ends with its summary (not killed with the summary unwritten)
  // and the interrupted status.
  const std::string fifo = Prepare();
  const pid_t pid = Start({"--db", db_, "import", "c", kSamples, fifo, "--value-indexes", "after"});
  ASSERT_GT(pid, 0);
  ASSERT_NO_FATAL_FAILURE(ExpectInterrupted(pid, fifo, SIGINT, "stored 6 of 6 record(s)",
                                            "interrupted by SIGINT: 0 record(s) not read"));
  EXPECT_EQ(ValueIndexes(), 3);
  EXPECT_EQ(ListedLines(), 7u);
}

TEST_F(CliInterruptTest, ASignalIgnoredByTheStarterStaysIgnored) {
  // A job started in the background by a script ignores SIGINT; the import
  // must not take it as a request to stop.
  const std::string fifo = Prepare();
  const pid_t pid = Start({"--db", db_, "import", "c", fifo, kSamples}, SIGINT);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(SignalWhileHeld(pid, fifo, SIGINT, kSamples + "/willow_creek_hydrography.xml"));
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  const std::string printed = SlurpFile(dir_ + "/out.txt");
  EXPECT_EQ(WEXITSTATUS(status), 0) << printed;
  EXPECT_NE(printed.find("stored 6 of 6 record(s)"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("interrupted"), std::string::npos) << printed;
  EXPECT_EQ(ListedLines(), 7u);
}

TEST_F(CliInterruptTest, ASignalEndsAnImportStillOpeningItsDatabase) {
  // A server that takes the connection and never answers: the tool waits
  // in the open, where nothing can be left half done, so SIGINT ends it
  // there and then rather than being held until the first record.
  const int server = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(server, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), length), 0);
  ASSERT_EQ(listen(server, 4), 0);
  ASSERT_EQ(getsockname(server, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string uri =
      "postgresql://metashelf@127.0.0.1:" + std::to_string(ntohs(address.sin_port)) +
      "/none?connect_timeout=60";
  const pid_t pid = Start({"--db", uri, "import", "c", kSamples});
  ASSERT_GT(pid, 0);
  usleep(500000);  // by now it waits for the server's answer
  EXPECT_EQ(kill(pid, SIGINT), 0);
  int status = 0;
  pid_t ended = 0;
  for (int tries = 0; tries < 100 && ended == 0; ++tries) {
    ended = waitpid(pid, &status, WNOHANG);
    if (ended == 0) usleep(50000);
  }
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "SIGINT did not end the tool within 5 s";
  } else {
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << SlurpFile(dir_ + "/err.txt");
  }
  close(server);
}

}  // namespace

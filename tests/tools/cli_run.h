// Runs the built metashelf tool as a subprocess for the end-to-end tests:
// arguments passed without a shell, standard output and standard error
// captured apart, the exit status returned; and the fixture of a fresh
// folder with a SQLite database for a test.
#ifndef METASHELF_TESTS_TOOLS_CLI_RUN_H_
#define METASHELF_TESTS_TOOLS_CLI_RUN_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string SlurpFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Starts the tool with `args` in folder `cwd`, its standard input empty and
// its output written to `outPath` and `errPath`; `env` entries
// ("NAME=value") are added to the environment (METASHELF_DB and
// METASHELF_CATALOG are cleared unless given), and `ignored`, when not 0,
// is a signal the tool starts ignoring, as a shell's background job does.
// The child's pid, or -1.
inline pid_t SpawnCli(const std::vector<std::string>& args, const std::string& cwd,
                      const std::string& outPath, const std::string& errPath,
                      const std::vector<std::string>& env = {}, int ignored = 0) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(cwd.c_str()) != 0) _exit(127);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    unsetenv("METASHELF_DB");
    unsetenv("METASHELF_CATALOG");
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    // Whatever the test runner was started with (a script's background job
    // ignores SIGINT), the tool starts with the usual dispositions.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    if (ignored != 0) signal(ignored, SIG_IGN);
    std::vector<char*> argv;
    static std::string tool = METASHELF_TOOL_PATH;
    argv.push_back(tool.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

// Runs the tool with `args` in folder `cwd` (see SpawnCli) and waits for it.
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& cwd,
                        const std::vector<std::string>& env = {}) {
  const std::string outPath = cwd + "/.cli_stdout";
  const std::string errPath = cwd + "/.cli_stderr";
  CliResult result;
  const pid_t pid = SpawnCli(args, cwd, outPath, errPath, env);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return result;
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = SlurpFile(outPath);
  result.err = SlurpFile(errPath);
  return result;
}

// A fresh folder for each test, removed afterwards, with a SQLite database
// `dbFile` in it that Run() gives the tool (quietly).
class CliFolderTest : public ::testing::Test {
 protected:
  explicit CliFolderTest(std::string dbFile = "cli.db") : dbFile_(std::move(dbFile)) {}

  void SetUp() override {
    char pattern[] = "/tmp/metashelf-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    db_ = "sqlite:" + dir_ + "/" + dbFile_;
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--db", db_, "--quiet"});
    return RunCli(args, dir_);
  }

  std::string dbFile_;
  std::string dir_;
  std::string db_;
};

#endif  // METASHELF_TESTS_TOOLS_CLI_RUN_H_

// Runs the built metashelf tool as a subprocess for the end-to-end tests:
// arguments passed without a shell, standard output and standard error
// captured apart, the exit status returned.
#ifndef METASHELF_TESTS_TOOLS_CLI_RUN_H_
#define METASHELF_TESTS_TOOLS_CLI_RUN_H_

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
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

// Runs the tool with `args` in folder `cwd`; `env` entries ("NAME=value")
// are added to the environment. METASHELF_DB is cleared unless given.
inline CliResult RunCli(const std::vector<std::string>& args, const std::string& cwd,
                        const std::vector<std::string>& env = {}) {
  const std::string outPath = cwd + "/.cli_stdout";
  const std::string errPath = cwd + "/.cli_stderr";
  CliResult result;
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
    std::vector<char*> argv;
    static std::string tool = METASHELF_TOOL_PATH;
    argv.push_back(tool.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = SlurpFile(outPath);
  result.err = SlurpFile(errPath);
  return result;
}

#endif  // METASHELF_TESTS_TOOLS_CLI_RUN_H_

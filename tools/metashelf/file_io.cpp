// Reading and writing files for the commands.
#include "file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "session.h"

namespace metashelf::cli {
namespace fs = std::filesystem;

namespace {

// A pipe nobody writes to would hold a blocking read for ever: it is
// opened without waiting for a writer, and given up when no byte (nor the
// writer's end) comes for this long.
constexpr int kFifoWaitMs = 10000;

std::string ReadFifo(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) Fail(path + ": cannot read: " + std::strerror(errno));
  std::string data;
  char buffer[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    const int ready = ::poll(&p, 1, kFifoWaitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      ::close(fd);
      Fail(path + ": a pipe nothing was written to for " + std::to_string(kFifoWaitMs / 1000) +
           " s");
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;  // the writer closed its end
    } else if (errno != EAGAIN && errno != EINTR) {
      const std::string reason = std::strerror(errno);
      ::close(fd);
      Fail(path + ": cannot read: " + reason);
    }
  }
  ::close(fd);
  return data;
}

}  // namespace

std::string ReadFile(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) Fail(path + ": is a folder, not a file");
  if (!ec && fs::is_fifo(status)) return ReadFifo(path);
  if (!ec && fs::exists(status) && !fs::is_regular_file(status)) {
    Fail(path + ": not a regular file or pipe");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(path + ": cannot read: " + std::strerror(errno));
  std::ostringstream data;
  data << in.rdbuf();
  if (in.bad()) Fail(path + ": cannot read: " + std::strerror(errno));
  return data.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  if (path == "-") {
    std::cout.write(data.data(), static_cast<std::streamsize>(data.size()));
    std::cout.flush();
    if (!std::cout) Fail("cannot write to standard output");
    return;
  }
  const fs::path target(path);
  const fs::path temp = target.parent_path() /
                        ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) Fail(path + ": cannot write: " + std::strerror(errno));
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    out.flush();
    if (!out) {
      const std::string reason = std::strerror(errno);
      out.close();
      std::error_code ec;
      fs::remove(temp, ec);
      Fail(path + ": cannot write: " + reason);
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    Fail(path + ": cannot write: " + ec.message());
  }
}

std::vector<std::string> CollectXmlFiles(const std::vector<std::string>& paths) {
  std::vector<std::string> files;
  for (const std::string& p : paths) {
    std::error_code ec;
    const fs::file_status status = fs::status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) Fail(p + ": " + ec.message());
    if (ec || !fs::exists(status)) Fail(p + ": no such file or folder");
    if (!fs::is_directory(status)) {
      // A device or socket would block the import or read for ever; a FIFO
      // (a pipe given as <(command)) is read with a time limit.
      if (!fs::is_regular_file(status) && !fs::is_fifo(status)) {
        Fail(p + ": not a regular file, pipe or folder");
      }
      files.push_back(p);
      continue;
    }
    std::vector<std::string> found;
    fs::recursive_directory_iterator it(p, fs::directory_options::skip_permission_denied, ec);
    if (ec) Fail(p + ": cannot read the folder: " + ec.message());
    for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (ec) Fail(p + ": cannot read the folder: " + ec.message());
      std::string ext = it->path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
      if (ext == ".xml" && it->is_regular_file(ec)) found.push_back(it->path().string());
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

}  // namespace metashelf::cli

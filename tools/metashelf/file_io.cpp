// Reading and writing files for the commands.
#include "file_io.h"

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

std::string ReadFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) Fail(path + ": is a folder, not a file");
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
    if (ec || !fs::exists(status)) Fail(p + ": no such file or folder");
    if (!fs::is_directory(status)) {
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

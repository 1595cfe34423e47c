// Reading the record files the tests and the benchmarks load: a whole file
// as bytes, and the XML files of a corpus folder in a stable order.
#ifndef METASHELF_TESTS_SUPPORT_CORPUS_FILES_H_
#define METASHELF_TESTS_SUPPORT_CORPUS_FILES_H_

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace metashelf {
namespace testing {

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The paths of the ".xml" files in `dir`, sorted; empty when the folder is
// absent (a checkout without the corpus).
inline std::vector<std::string> XmlFilesIn(const std::string& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".xml") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace testing
}  // namespace metashelf

#endif  // METASHELF_TESTS_SUPPORT_CORPUS_FILES_H_

// Files for the tool: whole-file reads, writes that never leave a half
// written file behind, and the XML files below a list of paths.
#ifndef METASHELF_TOOLS_FILE_IO_H_
#define METASHELF_TOOLS_FILE_IO_H_

#include <string>
#include <vector>

namespace metashelf::cli {

// The file's bytes; throws ToolError naming the file and the reason.
std::string ReadFile(const std::string& path);

// Writes `data` to `path` through a temporary file in the same folder that
// is renamed into place; "-" writes to standard output. Throws ToolError.
void WriteFile(const std::string& path, const std::string& data);

// The files named, and every *.xml file below the folders named (recursively,
// in path order). Throws ToolError for a path that does not exist.
std::vector<std::string> CollectXmlFiles(const std::vector<std::string>& paths);

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_FILE_IO_H_

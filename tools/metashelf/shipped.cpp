// Shipped schema names and the data folder lookup.
#include "shipped.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "session.h"

namespace metashelf::cli {
namespace fs = std::filesystem;

const std::vector<ShippedSchema>& ShippedSchemas() {
  static const std::vector<ShippedSchema> kSchemas = {
      {"fgdc", "KORVEN_FGDC", "fgdc.xml", "FGDC Content Standard for Digital Geospatial Metadata"},
      {"iso19139", "KORVEN_ISO", "iso19139.xml", "ISO 19115 metadata in the ISO 19139 encoding"},
  };
  return kSchemas;
}

const ShippedSchema* FindShippedSchema(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const ShippedSchema& s : ShippedSchemas()) {
    if (lower == s.shortName || name == s.registeredName) return &s;
  }
  if (lower == "iso" || lower == "iso19115") return &ShippedSchemas()[1];
  return nullptr;
}

std::string DataDir() {
  std::vector<fs::path> candidates;
  if (const char* env = std::getenv("METASHELF_DATA_DIR"); env != nullptr && *env != '\0') {
    candidates.emplace_back(env);
  }
#ifdef METASHELF_SOURCE_DATA_DIR
  candidates.emplace_back(METASHELF_SOURCE_DATA_DIR);
#endif
#ifdef METASHELF_INSTALL_DATA_DIR
  candidates.emplace_back(METASHELF_INSTALL_DATA_DIR);
#endif
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) candidates.push_back(exe.parent_path().parent_path() / "share" / "metashelf");
  for (const fs::path& p : candidates) {
    if (fs::is_directory(p / "schemas", ec)) return p.string();
  }
  Fail("cannot find the shipped data folder (schemas/, samples/); set METASHELF_DATA_DIR");
}

}  // namespace metashelf::cli

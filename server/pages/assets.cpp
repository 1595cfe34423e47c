// Static files of the pages, built into the binary (cmake/EmbedFiles.cmake):
// our own script, style and label table, Debian's Leaflet, and the basemap
// shared with `metashelf map`.
#include "assets.h"

#include <cstddef>

#include "embedded_file.h"
#include "render.h"

const metashelf::EmbeddedFile* metashelf_pages_files(std::size_t* count);
const metashelf::EmbeddedFile* metashelf_basemap_files(std::size_t* count);

namespace metashelf::pages {
namespace {

std::string_view Find(const EmbeddedFile* files, std::size_t count, std::string_view name) {
  for (std::size_t i = 0; i < count; ++i) {
    if (name == files[i].name) {
      return std::string_view(reinterpret_cast<const char*>(files[i].data), files[i].size);
    }
  }
  return {};
}

const char* TypeOf(std::string_view name) {
  const auto ends = [&](std::string_view suffix) {
    return name.size() >= suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
  };
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  // GeoJSON goes out as plain JSON: the HTTP layer compresses only types
  // it knows to be text, and the basemap is most of a first visit's bytes
  // (a third of them compressed).
  if (ends(".geojson")) return "application/json";
  return "text/plain; charset=utf-8";
}

}  // namespace

std::string_view EmbeddedText(std::string_view name) {
  std::size_t count = 0;
  const EmbeddedFile* files = metashelf_pages_files(&count);
  std::string_view found = Find(files, count, name);
  if (found.empty()) {
    files = metashelf_basemap_files(&count);
    found = Find(files, count, name);
  }
  return found;
}

Asset FindAsset(std::string_view name) {
  // Only what a page loads is served; the label table stays inside.
  if (name != "leaflet.js" && name != "leaflet.css" && name != "pages.js" && name != "pages.css" &&
      name != "land.geojson") {
    return {};
  }
  const std::string_view body = EmbeddedText(name);
  if (body.empty()) return {};
  return Asset{body, TypeOf(name)};
}

}  // namespace metashelf::pages

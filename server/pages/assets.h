// The files built into the pages: scripts, styles, the label table and the
// basemap, found by name.
#ifndef METASHELF_SERVER_PAGES_ASSETS_H_
#define METASHELF_SERVER_PAGES_ASSETS_H_

#include <string_view>

namespace metashelf::pages {

// The bytes of the built-in file `name` ("pages.js", "land.geojson"), empty
// when there is none.
std::string_view EmbeddedText(std::string_view name);

}  // namespace metashelf::pages

#endif  // METASHELF_SERVER_PAGES_ASSETS_H_

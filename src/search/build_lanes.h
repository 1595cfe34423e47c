// The end of a search index build on two connections at once: each runs
// its own list of statements (a lane), the second in a thread of its own,
// so that the engine's longest steps (index creations, the distinct values,
// statistics) share two cores.
#ifndef METASHELF_SRC_SEARCH_BUILD_LANES_H_
#define METASHELF_SRC_SEARCH_BUILD_LANES_H_

#include <string>
#include <vector>

#include "metashelf/driver.h"

namespace metashelf {
namespace search {

// Runs `here` on `hdbc` and `there` on `other` at once, each statement
// committed on its own (neither connection may have a unit open). When a
// statement of `there` fails, or no thread can be started, that statement
// and the rest of `there` run on `hdbc` after `here`, so that a failure is
// the build's own and its reason is on the build's connection. When one of
// `here` fails, `there` stops after its running statement. True when every
// statement ran; no thread is left running either way.
bool RunLanes(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& here, gis_SQLHDBC_STRU* other,
              const std::vector<std::string>& there);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_BUILD_LANES_H_

// The end of a search index build on two connections at once: the
// engine's longest steps (index creations, the distinct values,
// statistics) are taken in turn by whichever connection is free, the
// second in a thread of its own, so that they share two cores.
#ifndef METASHELF_SRC_SEARCH_FINISHING_STEPS_H_
#define METASHELF_SRC_SEARCH_FINISHING_STEPS_H_

#include <functional>
#include <string>
#include <vector>

#include "metashelf/driver.h"

namespace metashelf {
namespace search {

// One step: a statement, or settings and then a statement in one unit of
// their own (the settings end with it).
struct FinishingStep {
  std::vector<std::string> texts;
  // The place in the list of the step that must have ended before this one
  // begins; -1 for none.
  int after = -1;
};

// Runs `steps` on `hdbc` and, in a thread of its own, on `other`: each
// connection takes the first step of the list that is not taken and whose
// `after` has ended, each step committed on its own (neither connection may
// have a unit open). `other` takes none until `mayShare` (asked now and
// then while it waits) returns true, so that a host whose own work keeps a
// core busy meanwhile lets this end use one. A step that fails on `other`,
// or every step when no thread can be started, is run on `hdbc`, so that a
// failure is the build's own and its reason is on the build's connection;
// `other` then takes no more. One that fails on `hdbc` ends the run once
// `other`'s running step ended. True when every step ran; no thread is left
// running either way.
bool RunFinishingSteps(gis_SQLHDBC_STRU* hdbc, gis_SQLHDBC_STRU* other,
                       const std::vector<FinishingStep>& steps,
                       const std::function<bool()>& mayShare);

}  // namespace search
}  // namespace metashelf

#endif  // METASHELF_SRC_SEARCH_FINISHING_STEPS_H_

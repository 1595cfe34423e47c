// Two lanes of statements, one on the build's connection and one on a
// second connection in a thread of its own.
#include "search/build_lanes.h"

#include <atomic>
#include <cstddef>
#include <thread>

#include "metashelf/base/guard.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

// Runs texts[*done] onwards on `hdbc`, counting each in `*done`, until one
// fails or `stop` is set; true when every one ran.
bool RunFrom(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& texts, std::size_t* done,
             const std::atomic<bool>& stop) {
  while (*done < texts.size()) {
    if (stop.load() || !RunAll(hdbc, {texts[*done]})) return false;
    ++*done;
  }
  return true;
}

// The second lane's thread: told to stop and joined however the first
// lane ends, an exception included.
struct Lane {
  std::atomic<bool> stop{false};
  std::size_t done = 0;
  std::thread thread;
  Lane() = default;
  Lane(const Lane&) = delete;
  Lane& operator=(const Lane&) = delete;
  ~Lane() {
    if (!thread.joinable()) return;
    stop = true;
    thread.join();
  }
};

}  // namespace

bool RunLanes(gis_SQLHDBC_STRU* hdbc, const std::vector<std::string>& here, gis_SQLHDBC_STRU* other,
              const std::vector<std::string>& there) {
  Lane lane;
  // A thread that cannot be started leaves every statement to this one;
  // one that ends early leaves the rest.
  base::Guard<bool>(false, [&] {
    lane.thread = std::thread([&] {
      base::Guard<bool>(false, [&] { return RunFrom(other, there, &lane.done, lane.stop); });
    });
    return true;
  });
  const std::atomic<bool> never{false};
  std::size_t hereDone = 0;
  const bool ok = RunFrom(hdbc, here, &hereDone, never);
  if (!ok) lane.stop = true;
  if (lane.thread.joinable()) lane.thread.join();
  return ok && RunFrom(hdbc, there, &lane.done, never);
}

}  // namespace search
}  // namespace metashelf

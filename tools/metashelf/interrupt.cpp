// Holding SIGINT and SIGTERM pending and taking them between records.
#include "interrupt.h"

#include <ctime>
#include <initializer_list>

namespace metashelf::cli {

InterruptPoint::InterruptPoint() {
  sigemptyset(&held_);
  bool any = false;
  for (const int sig : {SIGINT, SIGTERM}) {
    // One that the process was started ignoring (a shell's background job
    // ignores SIGINT) stays ignored: held, it would be queued and taken.
    struct sigaction action = {};
    if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) continue;
    sigaddset(&held_, sig);
    any = true;
  }
  holding_ = any && sigprocmask(SIG_BLOCK, &held_, &previous_) == 0;
}

InterruptPoint::~InterruptPoint() {
  if (holding_) sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

bool InterruptPoint::Taken() {
  if (signal_ != 0) return true;
  if (!holding_) return false;
  const timespec now = {0, 0};
  const int taken = sigtimedwait(&held_, nullptr, &now);
  if (taken <= 0) return false;
  signal_ = taken;
  // The next one ends the process as it would have without us.
  sigprocmask(SIG_SETMASK, &previous_, nullptr);
  holding_ = false;
  return true;
}

}  // namespace metashelf::cli

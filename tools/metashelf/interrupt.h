// Interrupts of a long run (import) taken at a point of the run's choosing.
// While an InterruptPoint lives, SIGINT and SIGTERM are held pending instead
// of ending the process; the run asks Taken() between records and, once one
// came, finishes what it must (the batch read so far, the value indexes)
// and ends with a summary. A second signal after the first is taken ends
// the process at once, as usual. A signal the process was started ignoring
// stays ignored. Nothing global: the signals wait in the process's own
// pending set.
#ifndef METASHELF_TOOLS_INTERRUPT_H_
#define METASHELF_TOOLS_INTERRUPT_H_

#include <signal.h>

namespace metashelf::cli {

class InterruptPoint {
 public:
  InterruptPoint();
  // Gives back the signal mask found (a signal still pending is then
  // delivered).
  ~InterruptPoint();
  InterruptPoint(const InterruptPoint&) = delete;
  InterruptPoint& operator=(const InterruptPoint&) = delete;

  // True once SIGINT or SIGTERM has come; the first call that finds one
  // stops holding them.
  bool Taken();
  // The signal taken, or 0.
  int signal() const { return signal_; }

 private:
  sigset_t held_;
  sigset_t previous_;
  bool holding_ = false;
  int signal_ = 0;
};

}  // namespace metashelf::cli

#endif  // METASHELF_TOOLS_INTERRUPT_H_

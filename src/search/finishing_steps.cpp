// The steps of the end of a build, taken in turn by two connections.
#include "search/finishing_steps.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "db/unit.h"
#include "metashelf/base/guard.h"
#include "search/search_index.h"

namespace metashelf {
namespace search {
namespace {

// How often the second connection asks whether it may share yet.
constexpr std::chrono::milliseconds kShareAsked{20};

bool RunStep(gis_SQLHDBC_STRU* hdbc, const FinishingStep& step) {
  if (step.texts.size() < 2) return RunAll(hdbc, step.texts);
  db::Unit unit(hdbc);
  return unit.ok() && RunAll(hdbc, step.texts) && unit.Commit();
}

// The steps and who has taken which, shared by the two connections.
class StepBoard {
 public:
  explicit StepBoard(const std::vector<FinishingStep>& steps)
      : steps_(steps), states_(steps.size(), State::kFree) {}

  // The place of the next step for the build's connection (`own`) or the
  // other; -1 when none is left for it. Waits while those left wait for a
  // running one; the build's connection also waits for the other's running
  // step, which may come back to it.
  int Take(bool own) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (failed_ || (!own && otherDone_)) return -1;
      bool left = false;
      for (std::size_t k = 0; k < states_.size(); ++k) {
        const State s = states_[k];
        if (s == State::kDone || (!own && s != State::kFree)) continue;
        left = true;
        if (s == State::kRunning) continue;
        // A step after one that is not in the list waits for ever.
        const int after = steps_[k].after;
        if (after >= 0 && (static_cast<std::size_t>(after) >= states_.size() ||
                           states_[static_cast<std::size_t>(after)] != State::kDone)) {
          continue;
        }
        states_[k] = State::kRunning;
        return static_cast<int>(k);
      }
      if (!left) return -1;
      // Steps that wait for none that runs would wait for ever.
      if (!AnyRunning()) {
        failed_ = true;
        return -1;
      }
      changed_.wait(lock);
    }
  }

  // Step `k` ended, well or not, on the build's connection (`own`) or the
  // other. One that failed on the other is left to the build's connection.
  void End(int k, bool ok, bool own) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      State& s = states_[static_cast<std::size_t>(k)];
      if (ok) {
        s = State::kDone;
      } else if (own) {
        failed_ = true;
      } else {
        s = State::kOwnOnly;
        otherDone_ = true;
      }
    }
    changed_.notify_all();
  }

  // Whether every step ran.
  bool Finished() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const State s : states_) {
      if (s != State::kDone) return false;
    }
    return !failed_;
  }

  // The other connection takes no more.
  void EndOther() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      otherDone_ = true;
    }
    changed_.notify_all();
  }

  // Waits until `mayShare` allows the other connection in; false when
  // nothing is left for it meanwhile.
  bool WaitToShare(const std::function<bool()>& mayShare) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (failed_ || otherDone_ || !AnyFree()) return false;
      lock.unlock();
      if (!mayShare || mayShare()) return true;
      lock.lock();
      changed_.wait_for(lock, kShareAsked);
    }
  }

 private:
  enum class State { kFree, kRunning, kDone, kOwnOnly };

  bool Any(State state) const {
    for (const State s : states_) {
      if (s == state) return true;
    }
    return false;
  }
  bool AnyFree() const { return Any(State::kFree); }
  bool AnyRunning() const { return Any(State::kRunning); }

  const std::vector<FinishingStep>& steps_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<State> states_;
  bool failed_ = false;
  bool otherDone_ = false;
};

// Takes and runs steps until none is left for the connection.
void RunTaken(StepBoard* board, gis_SQLHDBC_STRU* hdbc, const std::vector<FinishingStep>& steps,
              bool own) {
  for (int k = board->Take(own); k >= 0; k = board->Take(own)) {
    const bool ok =
        base::Guard<bool>(false, [&] { return RunStep(hdbc, steps[static_cast<std::size_t>(k)]); });
    board->End(k, ok, own);
    if (!ok) return;
  }
}

// The other connection's thread: told to take no more and joined however
// the build's connection ends, an exception included.
struct OtherThread {
  StepBoard* board;
  std::thread thread;
  explicit OtherThread(StepBoard* b) : board(b) {}
  OtherThread(const OtherThread&) = delete;
  OtherThread& operator=(const OtherThread&) = delete;
  ~OtherThread() {
    if (!thread.joinable()) return;
    board->EndOther();
    thread.join();
  }
};

}  // namespace

bool RunFinishingSteps(gis_SQLHDBC_STRU* hdbc, gis_SQLHDBC_STRU* other,
                       const std::vector<FinishingStep>& steps,
                       const std::function<bool()>& mayShare) {
  StepBoard board(steps);
  OtherThread helper(&board);
  // A thread that cannot be started leaves every step to this connection.
  if (other != nullptr) {
    base::Guard<bool>(false, [&] {
      helper.thread = std::thread([&] {
        base::Guard<bool>(false, [&] {
          if (board.WaitToShare(mayShare)) RunTaken(&board, other, steps, false);
          board.EndOther();
          return true;
        });
      });
      return true;
    });
  }
  // This connection takes what the other left too (its failed step, or
  // the rest when it ended early): it waits for the other's running step,
  // which may come back to it. The other is joined on the way out.
  RunTaken(&board, hdbc, steps, true);
  return board.Finished();
}

}  // namespace search
}  // namespace metashelf

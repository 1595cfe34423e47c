// Running a unit of work again when the database ended it as the victim of
// a deadlock (state 40001: Oracle's ORA-00060, PostgreSQL's 40P01) or of a
// serialization failure. Two hosts that create catalogs or collections at
// the same moment lock the same catalog tables in different orders; the
// database then undoes one of them, which the other's commit frees. The
// unit was undone whole, so doing it again is safe.
//
//   return metashelf::db::RetryingDeadlocks(hdbc, [&]() -> std::int32_t {
//     metashelf::db::Unit unit(hdbc);
//     ...
//   }, [](std::int32_t id) { return id > 0; });
#ifndef METASHELF_SRC_DB_DEADLOCK_RETRY_H_
#define METASHELF_SRC_DB_DEADLOCK_RETRY_H_

#include <cstdint>

#include "metashelf/driver.h"

namespace metashelf {
namespace db {

// Attempts in all, the first included.
constexpr int kDeadlockAttempts = 4;

// Whether the connection failed since it had counted `failuresBefore`
// failures, and its last failure is a deadlock or a serialization failure.
bool DeadlockSince(gis_SQLHDBC_STRU* hdbc, std::uint64_t failuresBefore);
// Waits a little longer after each attempt, so that the other side of the
// deadlock can end first.
void BackOff(int attempt);

// Runs `attempt` (a whole unit of work) until `succeeded` holds for its
// result, it fails for any other reason than a deadlock, or it has been
// tried kDeadlockAttempts times; returns its last result.
template <typename Attempt, typename Succeeded>
auto RetryingDeadlocks(gis_SQLHDBC_STRU* hdbc, Attempt attempt, Succeeded succeeded)
    -> decltype(attempt()) {
  for (int tries = 1;; ++tries) {
    const std::uint64_t before = gis_SQLFailureCount(hdbc);
    auto result = attempt();
    if (succeeded(result) || tries >= kDeadlockAttempts || !DeadlockSince(hdbc, before)) {
      return result;
    }
    BackOff(tries);
  }
}

}  // namespace db
}  // namespace metashelf

#endif  // METASHELF_SRC_DB_DEADLOCK_RETRY_H_

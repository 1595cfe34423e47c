// Telling a deadlock's victim from the connection's last failure, and the
// wait before the unit is tried again.
#include "db/deadlock_retry.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace metashelf {
namespace db {

bool DeadlockSince(gis_SQLHDBC_STRU* hdbc, std::uint64_t failuresBefore) {
  if (gis_SQLFailureCount(hdbc) == failuresBefore) return false;
  char state[6] = {};
  std::int32_t native = 0;
  char message[256] = {};
  std::int16_t length = 0;
  return gis_SQLError(nullptr, hdbc, nullptr, state, &native, message, sizeof message, &length) ==
             GIS_SQL_SUCCESS &&
         std::strcmp(state, "40001") == 0;
}

void BackOff(int attempt) {
  std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
}

}  // namespace db
}  // namespace metashelf

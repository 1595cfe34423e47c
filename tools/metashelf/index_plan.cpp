// The choice between value indexes kept in place and built after the rows.
#include "index_plan.h"

namespace metashelf::cli {

bool ParseValueIndexMode(std::string_view text, ValueIndexMode* mode) {
  if (text == "auto") {
    *mode = ValueIndexMode::kAuto;
  } else if (text == "after") {
    *mode = ValueIndexMode::kAfter;
  } else if (text == "in-place") {
    *mode = ValueIndexMode::kInPlace;
  } else {
    return false;
  }
  return true;
}

bool BuildValueIndexesAfter(ValueIndexMode mode, const MsValueIndexPolicy& policy,
                            std::size_t incoming, std::int64_t existing) {
  switch (mode) {
    case ValueIndexMode::kAfter:
      return true;
    case ValueIndexMode::kInPlace:
      return false;
    case ValueIndexMode::kAuto:
      break;
  }
  const auto records = static_cast<std::int64_t>(incoming);
  return policy.buildAfterFrom > 0 && records >= policy.buildAfterFrom && 2 * records >= existing;
}

}  // namespace metashelf::cli

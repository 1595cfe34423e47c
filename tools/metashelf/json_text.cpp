// JSON string literals of the tool's output, written by nlohmann-json.
#include "json_text.h"

#include <nlohmann/json.hpp>

namespace metashelf::cli {

std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace metashelf::cli

// JSON quoting (nlohmann-json) and password masking for the tool's output and messages.
#include "text_util.h"

#include <nlohmann/json.hpp>

#include "metashelf/base/password_mask.h"

namespace metashelf::cli {

std::string JsonString(const std::string& text) {
  return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string MaskPassword(const std::string& uri) {
  return base::MaskPassword(uri);
}

}  // namespace metashelf::cli

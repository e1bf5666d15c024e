#pragma once
#include <nlohmann/json.hpp>

namespace tovik::util {

// Writes one structured log line (JSON) to stderr, whole, with a timestamp added.
void log_line(nlohmann::json fields);

}  // namespace tovik::util

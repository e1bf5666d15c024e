#pragma once
#include <string>

#include <nlohmann/json.hpp>

namespace tovik {

// Compact JSON for the page. Text that is not UTF-8 never fails a reply: it is
// shown with U+FFFD.
[[nodiscard]] inline std::string to_json_text(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tovik

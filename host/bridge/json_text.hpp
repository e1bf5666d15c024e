#pragma once
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovik {

// Compact JSON for the page. Text that is not UTF-8 never fails a reply: it is
// shown with U+FFFD.
[[nodiscard]] inline std::string to_json_text(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Appends `text` as a quoted JSON string by the same rules as to_json_text:
// ill-formed UTF-8 becomes U+FFFD, control characters are escaped.
void append_json_string(std::string& out, std::string_view text);

// Appends a finite double as a JSON number that reads back as the same value;
// whole values keep a ".0", as to_json_text writes them.
void append_json_double(std::string& out, double value);

}  // namespace tovik

#pragma once
#include <stdexcept>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovik::util {

// Deeper than any message of the protocol; copying and printing JSON recurse once per level,
// so nesting beyond this is refused before anything is built.
inline constexpr int kMaxJsonDepth = 64;

class JsonTooDeep : public std::invalid_argument {
 public:
  JsonTooDeep() : std::invalid_argument("The JSON is nested too deeply.") {}
};

// Parses JSON that came from outside the server. Throws JsonTooDeep, or nlohmann's exceptions
// for malformed text.
[[nodiscard]] nlohmann::json parse_untrusted_json(std::string_view text);

}  // namespace tovik::util

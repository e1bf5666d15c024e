#pragma once
#include <cstddef>
#include <string_view>

#include <nlohmann/json.hpp>

namespace tovik {

// Arrays and objects nested deeper than this are refused while parsing: no
// command needs more than a few levels, and deeper values would make copying
// and serialising them recurse as deep as the sender likes.
inline constexpr std::size_t kMaxJsonDepth = 64;

// Parses JSON text that arrived from the page. Every failure (syntax, a number
// out of range, nesting past kMaxJsonDepth) is a CommandError whose text says
// what was wrong.
[[nodiscard]] nlohmann::json parse_page_json(std::string_view text);

}  // namespace tovik

#pragma once
#include <string_view>

namespace tovik::util {

// True when version `a` is older than `b`: the first three pieces split at "." and "-" are
// compared as numbers (a missing piece is 0); the comparison stops with false at the first
// piece that is not a number. This is the client's own rule, so both sides agree on 426.
[[nodiscard]] bool is_older_version(std::string_view a, std::string_view b);

}  // namespace tovik::util

#pragma once
#include <string>

namespace tovik::util {

// A time-ordered UUID (version 7), lower-case 8-4-4-4-12.
[[nodiscard]] std::string new_uuid();

}  // namespace tovik::util

#pragma once
#include <string>

namespace tovik::api {

// The customer display's page: asks for the pairing code, then follows the till's pushed states.
[[nodiscard]] const std::string& display_page();

}  // namespace tovik::api

#pragma once
#include <string>
#include <string_view>

namespace tovik {

// The policy of the embedded pages: fixed directives, then connect-src with the
// page's own origin, the bridge's origin, every HTTPS origin and plain HTTP to
// the loopback host by name and by address on any port.
[[nodiscard]] std::string content_security_policy(std::string_view page_origin, std::string_view bridge_origin);

}  // namespace tovik

#include "app/content_security_policy.hpp"

namespace tovik {

std::string content_security_policy(std::string_view page_origin, std::string_view bridge_origin) {
    std::string policy =
        "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' 'unsafe-inline'; "
        "img-src 'self' data:; connect-src ";
    policy += page_origin;
    if (!bridge_origin.empty() && bridge_origin != page_origin) {
        policy += ' ';
        policy += bridge_origin;
    }
    policy += " https: http://localhost:* http://127.0.0.1:*";
    return policy;
}

}  // namespace tovik

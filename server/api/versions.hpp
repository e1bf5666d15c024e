#pragma once
#include <string>

#include "api/pipeline.hpp"

namespace tovik::api {

// The version reply for a client: update_required, min_version, update_available, release.
[[nodiscard]] json version_info(store::Tx& tx, const std::string& platform,
                                const std::string& current_version, const std::string& base_url);

// GET /mobile/v2/app/version, the update route and the release file downloads.
void register_version_routes(Api& api, http::Router& router);

}  // namespace tovik::api

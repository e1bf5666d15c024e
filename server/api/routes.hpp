#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// Every route of the server: platform, versions and updates, accounts, sync, notifications.
void register_routes(Api& api, http::Router& router);

}  // namespace tovik::api

#pragma once
#include "api/pipeline.hpp"
#include "http/router.hpp"

namespace tovik::api {

// POST /pos/display/code and /pos/display/push for the till; GET /display, POST /display/pair
// and GET /display/state for the customer display it pairs with.
void register_display_routes(Api& api, http::Router& router);

}  // namespace tovik::api

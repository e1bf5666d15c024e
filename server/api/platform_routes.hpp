#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// GET /api/status, POST /web-session and the one-time portal page it leads to.
void register_platform_routes(Api& api, http::Router& router);

// GET /notifications, GET /realtime/config, POST /realtime/auth.
void register_notification_routes(Api& api);

}  // namespace tovik::api

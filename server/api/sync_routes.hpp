#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// POST /sync/push and GET /sync/pull.
void register_sync_routes(Api& api);

}  // namespace tovik::api

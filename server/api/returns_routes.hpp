#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// GET /pos/sales/{uuid}/returnable and POST /pos/returns.
void register_return_routes(Api& api);

}  // namespace tovik::api

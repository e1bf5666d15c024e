#pragma once
#include <optional>

#include "api/pipeline.hpp"
#include "sync/actor.hpp"

namespace tovik::api {

// Whether the account syncs business data (owners and cashiers, not platform staff).
[[nodiscard]] bool may_sync(const Principal& p);
// Signs out a device that works on data of an older epoch; the reply to send, when it does.
[[nodiscard]] std::optional<http::Response> epoch_gate(App& app, const http::Request& req, const Principal& p);
// Who writes: the user's abilities in the company, and the company's settings.
[[nodiscard]] sync::Actor actor_of(App& app, const Principal& p);

// POST /sync/push and GET /sync/pull.
void register_sync_routes(Api& api);

}  // namespace tovik::api

#include "api/returns_routes.hpp"

#include "api/sync_routes.hpp"
#include "sync/returns.hpp"

namespace tovik::api {

namespace {

http::Response refused(const sync::ReturnRefusal& refusal) {
  return http::json_reply(refusal.status(), {{"message", refusal.what()}, {"needs_pin", refusal.needs_pin()}});
}

}  // namespace

void register_return_routes(Api& api) {
  App& app = api.app();

  api.authed("GET", "/pos/sales/{uuid}/returnable", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    if (auto stop = epoch_gate(app, req, p)) return *stop;
    try {
      json view;
      app.db.read([&](store::Tx& tx) {
        sync::Records records(tx, p.company_id);
        view = sync::returnable_view(records, req.params["uuid"]);
      });
      return http::json_reply(200, view);
    } catch (const sync::ReturnRefusal& refusal) {
      return refused(refusal);
    }
  });

  api.authed("POST", "/pos/returns", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    if (auto stop = epoch_gate(app, req, p)) return *stop;
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto actor = actor_of(app, p);
    try {
      json recorded;
      app.db.write([&](store::Tx& tx) {
        sync::Records records(tx, p.company_id);
        recorded = sync::record_return(records, actor, body);
      });
      app.events_written();
      return http::json_reply(200, recorded);
    } catch (const sync::ReturnRefusal& refusal) {
      return refused(refusal);
    }
  });
}

}  // namespace tovik::api

#include "api/sync_routes.hpp"

#include <algorithm>

#include "api/accounts.hpp"
#include "sync/entities.hpp"
#include "sync/pull.hpp"
#include "sync/push.hpp"

namespace tovik::api {

namespace {

constexpr std::size_t kMaxOperations = 1000;

}  // namespace

bool may_sync(const Principal& p) {
  for (const auto& a : p.abilities)
    if (a == "sync" || a == "*") return true;
  return false;
}

// A device that sends an older data epoch works on data the platform has replaced. Its
// session ends so that the next sign-in runs the client's epoch check and wipes that data;
// its queued changes are then not sent against the new data.
std::optional<http::Response> epoch_gate(App& app, const http::Request& req, const Principal& p) {
  const auto sent = req.header("X-Data-Epoch");
  if (sent.empty() || sent == std::to_string(p.data_epoch)) return std::nullopt;
  app.db.write([&](store::Tx& tx) { revoke_sessions(tx, p.user_id, p.session_id, 0); });
  app.events_written();
  return http::error_reply(401, "The platform reset this business's data. Sign in again to download it.",
                           "DATA_EPOCH_CHANGED");
}

sync::Actor actor_of(App& app, const Principal& p) {
  sync::Actor a;
  a.cashier = p.cashier();
  a.restock = p.feature("restock");
  a.treasury = p.permission("treasury_manage");
  a.payables = p.permission("payables_manage");
  app.db.read([&](store::Tx& tx) {
    auto row = tx.one("SELECT settings_json FROM companies WHERE id = $1", {p.company_id});
    if (row) a.tenant = json::parse(row->text("settings_json"));
  });
  return a;
}

void register_sync_routes(Api& api) {
  App& app = api.app();

  api.authed("POST", "/sync/push", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    if (auto stop = epoch_gate(app, req, p)) return *stop;
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto ops = body.find("operations");
    if (ops == body.end() || !ops->is_array())
      return http::json_reply(422, {{"message", "The request has no operations."},
                                    {"errors", {{"operations", {"The request has no operations."}}}}});
    if (ops->size() > kMaxOperations)
      return http::error_reply(413, "Too many operations in one request.");
    auto results = sync::push_operations(app.db, p.company_id, actor_of(app, p), *ops);
    app.events_written();
    return http::json_reply(200, {{"results", results}});
  });

  api.authed("GET", "/sync/pull", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    if (auto stop = epoch_gate(app, req, p)) return *stop;
    sync::PullRequest pr;
    pr.company_id = p.company_id;
    pr.data_epoch = p.data_epoch;
    pr.cursor = req.query_value("cursor");
    const auto limit = req.query_value("limit");
    if (!limit.empty()) {
      try {
        pr.limit = std::stoi(limit);
      } catch (const std::exception&) {
        return http::error_reply(400, "The parameter 'limit' must be a number.");
      }
    }
    pr.limit = std::clamp(pr.limit, 1, app.config.max_pull_limit);
    const auto entities = req.query_value("entities");
    if (entities.empty()) {
      for (auto name : sync::pulled_entities()) pr.entities.emplace_back(name);
    } else {
      std::size_t start = 0;
      while (start <= entities.size()) {
        auto end = entities.find(',', start);
        if (end == std::string::npos) end = entities.size();
        if (end > start) pr.entities.push_back(entities.substr(start, end - start));
        start = end + 1;
      }
    }
    try {
      return http::json_reply(200, sync::pull_page(app.db, pr));
    } catch (const sync::BadCursor& e) {
      return http::error_reply(400, e.what());
    }
  });
}

}  // namespace tovik::api

#include "api/platform_routes.hpp"

#include "realtime/events.hpp"
#include "api/settings.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::api {

namespace {

constexpr std::int64_t kWebSessionSeconds = 5 * 60;

std::string html_escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

http::Response page(int status, const std::string& title, const std::string& text) {
  http::Response r;
  r.status = status;
  r.content_type = "text/html; charset=utf-8";
  r.body = "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + html_escape(title) +
           "</title></head><body><h1>" + html_escape(title) + "</h1><p>" + html_escape(text) +
           "</p></body></html>";
  return r;
}

}  // namespace

void register_platform_routes(Api& api, http::Router& router) {
  App& app = api.app();

  router.add("GET", "/api/status", [&app](http::Request&) {
    json body;
    app.db.read([&](store::Tx& tx) {
      body = {{"maintenance", settings::get(tx, "maintenance") == "1"},
              {"message", settings::get(tx, "maintenance_message")}};
    });
    auto reply = http::json_reply(200, body);
    reply.set_header("Cache-Control", "no-store");
    return reply;
  });

  api.authed("POST", "/web-session", [&app](http::Request& req, const Principal& p) {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto lang = body.value("lang", json("ar")).is_string() ? body.value("lang", "ar") : "ar";
    const auto to = body.value("to", json("")).is_string() ? body.value("to", "") : "";
    const auto token = util::random_token(32);
    app.db.write([&](store::Tx& tx) {
      tx.exec("DELETE FROM web_sessions WHERE expires_unix < $1", {util::unix_now() - 86400});
      tx.exec("INSERT INTO web_sessions (token_hash, user_id, company_id, lang, target, expires_unix) "
              "VALUES ($1, $2, $3, $4, $5, $6)",
              {util::sha256_hex(token), p.user_id, p.company_id, lang, to,
               util::unix_now() + kWebSessionSeconds});
    });
    return http::json_reply(200, {{"url", public_base(req) + "/portal/session/" + token},
                                  {"expires_in", kWebSessionSeconds}});
  });

  // The portal itself is outside this server's scope; the page only proves the one-time link.
  router.add("GET", "/portal/session/{token}", [&app](http::Request& req) {
    std::optional<http::Response> reply;
    app.db.write([&](store::Tx& tx) {
      auto row = tx.one("SELECT w.used_at, w.expires_unix, w.target, u.name FROM web_sessions w "
                        "JOIN users u ON u.id = w.user_id WHERE w.token_hash = $1",
                        {util::sha256_hex(req.params["token"])});
      if (!row || row->integer("expires_unix") < util::unix_now()) {
        reply = page(404, "Link expired", "This sign-in link is not valid any more.");
      } else if (!row->is_null("used_at")) {
        reply = page(410, "Link already used", "This sign-in link was already used.");
      } else {
        tx.exec("UPDATE web_sessions SET used_at = $1 WHERE token_hash = $2",
                {util::iso_now(), util::sha256_hex(req.params["token"])});
        const auto target = row->text("target");
        reply = page(200, "TOVIK platform", "Signed in as " + row->text("name") +
                                                (target.empty() ? "" : " — " + target));
      }
    });
    return *reply;
  });
}

void register_notification_routes(Api& api) {
  App& app = api.app();

  api.authed("GET", "/notifications", [&app](http::Request& req, const Principal& p) {
    std::int64_t after = 0;
    const auto raw = req.query_value("after");
    if (!raw.empty()) {
      try {
        after = std::stoll(raw);
      } catch (const std::exception&) {
        return http::error_reply(400, "The parameter 'after' must be a number.");
      }
    }
    json list = json::array();
    std::int64_t latest = 0;
    app.db.read([&](store::Tx& tx) {
      // Without `after` the newest 50 are enough: a first poll only reads latest_id.
      const auto rows = raw.empty()
          ? tx.query("SELECT * FROM (SELECT id, title, message, type, created_at FROM notifications "
                     "WHERE user_id = $1 AND (company_id IS NULL OR company_id = $2) "
                     "ORDER BY id DESC LIMIT 50) AS recent ORDER BY id",
                     {p.user_id, p.company_id})
          : tx.query("SELECT id, title, message, type, created_at FROM notifications "
                     "WHERE user_id = $1 AND (company_id IS NULL OR company_id = $2) AND id > $3 "
                     "ORDER BY id LIMIT 200",
                     {p.user_id, p.company_id, after});
      for (const auto& r : rows)
        list.push_back({{"id", r.integer("id")}, {"title", r.text("title")},
                        {"message", r.is_null("message") ? json() : json(r.text("message"))},
                        {"type", r.text("type")}, {"created_at", r.text("created_at")}});
      auto top = tx.one("SELECT COALESCE(MAX(id), 0) AS id FROM notifications "
                        "WHERE user_id = $1 AND (company_id IS NULL OR company_id = $2)",
                        {p.user_id, p.company_id});
      latest = top->integer("id");
    });
    return http::json_reply(200, {{"notifications", list}, {"latest_id", latest}});
  });

  api.authed("GET", "/realtime/config", [&app](http::Request& req, const Principal& p) {
    const auto keys = settings::realtime_keys(app.db);
    auto host = req.header("Host");
    std::string port = "80";
    if (const auto colon = host.rfind(':'); colon != std::string::npos && host.find(']', colon) == std::string::npos) {
      port = host.substr(colon + 1);
      host = host.substr(0, colon);
    }
    if (host.size() > 2 && host.front() == '[') host = host.substr(1, host.size() - 2);
    int port_number = 80;
    try {
      port_number = std::stoi(port);
    } catch (const std::exception&) {
    }
    return http::json_reply(200, {{"driver", "pusher"},
                                  {"key", keys.key},
                                  {"cluster", "mt1"},
                                  {"ws_host", host.empty() ? "127.0.0.1" : host},
                                  {"ws_port", port_number},
                                  {"force_tls", req.header("X-Forwarded-Proto") == "https"},
                                  {"channel", realtime::events::user_channel(p.user_id)},
                                  {"event", realtime::events::kNotificationEvent}});
  });

  api.authed("POST", "/realtime/auth", [&app](http::Request& req, const Principal& p) {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto socket_id = body.value("socket_id", json("")).is_string() ? body.value("socket_id", "") : "";
    const auto channel = body.value("channel_name", json("")).is_string() ? body.value("channel_name", "") : "";
    if (socket_id.empty() || channel.empty())
      return http::error_reply(422, "socket_id and channel_name are required.");
    if (channel != "private-" + realtime::events::user_channel(p.user_id))
      return http::error_reply(403, "You may not listen on that channel.");
    const auto keys = settings::realtime_keys(app.db);
    return http::json_reply(
        200, {{"auth", keys.key + ":" + util::hmac_sha256_hex(keys.secret, socket_id + ":" + channel)}});
  });
}

}  // namespace tovik::api

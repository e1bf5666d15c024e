#include "api/display_routes.hpp"

#include "api/display_page.hpp"
#include "api/settings.hpp"
#include "api/sync_routes.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"

// The customer display: a till asks for a pairing code, a tablet opens /display and types it,
// and from then on the tablet shows what the till pushes. Codes, tokens and the last state
// live in the store's settings, so every server process over one store serves them.
namespace tovik::api {

namespace {

constexpr std::int64_t kTokenSeconds = 12 * 60 * 60;
constexpr std::size_t kMaxState = 64 * 1024;
constexpr const char* kUnknownCode = "This code has expired or is not known. Ask the cashier for a new one.";

std::string code_key(const std::string& code) { return "display_code:" + code; }
std::string channel_code_key(const std::string& channel) { return "display_code_of:" + channel; }
std::string token_key(const std::string& token) { return "display_token:" + util::sha256_hex(token); }
std::string state_key(const std::string& channel) { return "display_state:" + channel; }

json stored(store::Tx& tx, const std::string& key) {
  const auto text = settings::get(tx, key);
  if (text.empty()) return nullptr;
  try {
    return json::parse(text);
  } catch (const json::exception&) {
    return nullptr;
  }
}

// The display's channel: one per till session, so each till drives its own display.
std::string channel_of(const Principal& p) { return std::to_string(p.session_id); }

}  // namespace

void register_display_routes(Api& api, http::Router& router) {
  App& app = api.app();

  api.authed("POST", "/pos/display/code", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    const auto seconds = app.config.display_code_seconds;
    const auto channel = channel_of(p);
    const auto code = util::random_digits(6);
    app.db.write([&](store::Tx& tx) {
      // A new code replaces the till's previous one.
      const auto previous = settings::get(tx, channel_code_key(channel));
      if (!previous.empty()) settings::remove(tx, code_key(previous));
      settings::put(tx, channel_code_key(channel), code);
      settings::put(tx, code_key(code), json({{"channel", channel}, {"expires", util::unix_now() + seconds}}).dump());
    });
    return http::json_reply(200, {{"code", code}, {"url", public_base(req) + "/display"}, {"expires_in", seconds}});
  });

  api.authed("POST", "/pos/display/push", [&app](http::Request& req, const Principal& p) {
    if (!may_sync(p)) return http::error_reply(403, "This account does not sync business data.");
    if (req.body.size() > kMaxState) return http::error_reply(413, "The display state is too large.");
    json state;
    if (auto bad = parse_body(req, state)) return *bad;
    if (!state.is_object()) return http::error_reply(422, "The display state must be an object.");
    const auto channel = channel_of(p);
    app.db.write([&](store::Tx& tx) {
      const auto last = stored(tx, state_key(channel));
      const std::int64_t seq = last.is_object() ? last.value("seq", std::int64_t{0}) + 1 : 1;
      settings::put(tx, state_key(channel), json({{"seq", seq}, {"state", state}}).dump());
    });
    return http::json_reply(200, json::object());
  });

  router.add("GET", "/display", [](http::Request&) {
    http::Response reply;
    reply.content_type = "text/html; charset=utf-8";
    reply.body = display_page();
    reply.set_header("Cache-Control", "no-store");
    return reply;
  });

  // A code is good for one pairing; the tablet keeps the token it gets for it.
  router.add("POST", "/display/pair", [&app](http::Request& req) {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto code = body.value("code", json("")).is_string() ? body.value("code", "") : "";
    std::string token;
    app.db.write([&](store::Tx& tx) {
      if (code.size() != 6) return;
      const auto pairing = stored(tx, code_key(code));
      if (!pairing.is_object()) return;
      settings::remove(tx, code_key(code));
      if (pairing.value("expires", std::int64_t{0}) < util::unix_now()) return;
      token = util::random_token(24);
      settings::put(tx, token_key(token),
                    json({{"channel", pairing["channel"]}, {"expires", util::unix_now() + kTokenSeconds}}).dump());
    });
    if (token.empty()) return http::error_reply(410, kUnknownCode);
    return http::json_reply(200, {{"token", token}});
  });

  router.add("GET", "/display/state", [&app](http::Request& req) {
    json reply;
    app.db.read([&](store::Tx& tx) {
      const auto pairing = stored(tx, token_key(req.query_value("token")));
      if (!pairing.is_object() || pairing.value("expires", std::int64_t{0}) < util::unix_now()) return;
      const auto last = stored(tx, state_key(pairing.value("channel", "")));
      reply = last.is_object() ? last : json({{"seq", 0}, {"state", {{"status", "idle"}}}});
    });
    if (reply.is_null()) return http::error_reply(401, "This display is no longer paired. Ask the cashier for a new code.");
    auto out = http::json_reply(200, reply);
    out.set_header("Cache-Control", "no-store");
    return out;
  });
}

}  // namespace tovik::api

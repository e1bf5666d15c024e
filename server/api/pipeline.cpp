#include "api/pipeline.hpp"

#include "api/profile.hpp"
#include "api/settings.hpp"
#include "api/versions.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"
#include "util/untrusted_json.hpp"

namespace tovik::api {

namespace {

// The session is touched at most once a minute so that reads stay reads.
constexpr std::int64_t kTouchSeconds = 60;

struct AuthOutcome {
  std::optional<Principal> principal;
  http::Response failure;
};

AuthOutcome authenticate(App& app, const http::Request& request) {
  AuthOutcome out;
  const auto header = request.header("Authorization");
  if (header.rfind("Bearer ", 0) != 0 || header.size() <= 7) {
    out.failure = http::error_reply(401, "Unauthenticated.");
    return out;
  }
  const auto token_hash = util::sha256_hex(header.substr(7));
  const auto company_header = request.header("X-Company-Id");
  bool touch = false;
  app.db.read([&](store::Tx& tx) {
    auto s = tx.one(
        "SELECT s.id, s.user_id, s.revoked_at, s.last_active_unix, u.suspended, "
        "u.suspension_message FROM sessions s JOIN users u ON u.id = s.user_id "
        "WHERE s.token_hash = $1",
        {token_hash});
    if (!s) {
      out.failure = http::error_reply(401, "Unauthenticated.");
      return;
    }
    if (!s->is_null("revoked_at")) {
      out.failure = http::error_reply(
          401, "This device was signed out. Sign in again to continue.", "SESSION_REVOKED");
      return;
    }
    if (s->integer("suspended")) {
      auto message = s->text("suspension_message");
      if (message.empty()) message = "This account is suspended.";
      out.failure = http::error_reply(401, message, "ACCOUNT_SUSPENDED");
      return;
    }
    const auto user_id = s->integer("user_id");
    std::int64_t company_id = 0;
    if (!company_header.empty()) {
      try {
        std::size_t used = 0;
        company_id = std::stoll(company_header, &used);
        if (used != company_header.size()) company_id = -1;
      } catch (const std::exception&) {
        company_id = -1;
      }
    }
    if (company_id == 0) company_id = default_company(tx, user_id);
    auto principal = company_id > 0 ? load_principal(tx, user_id, company_id) : std::nullopt;
    if (!principal) {
      out.failure = http::error_reply(403, "You do not have access to that company.",
                                      "COMPANY_FORBIDDEN");
      return;
    }
    principal->session_id = s->integer("id");
    touch = util::unix_now() - s->integer("last_active_unix") >= kTouchSeconds;
    out.principal = std::move(principal);
  });
  if (out.principal && touch) {
    const auto ip = request.remote_ip;
    const auto id = out.principal->session_id;
    app.db.write([&](store::Tx& tx) {
      tx.exec("UPDATE sessions SET last_active_unix = $1, ip = $2 WHERE id = $3",
              {util::unix_now(), ip, id});
    });
  }
  return out;
}

}  // namespace

std::string public_base(const http::Request& request) {
  auto host = request.header("Host");
  if (host.empty()) host = "127.0.0.1";
  auto proto = request.header("X-Forwarded-Proto");
  if (proto != "https") proto = "http";
  return proto + "://" + host;
}

std::optional<http::Response> parse_body(const http::Request& request, json& out) {
  try {
    out = request.json();
  } catch (const util::JsonTooDeep&) {
    return http::error_reply(400, "The request body is nested too deeply.");
  } catch (const json::exception&) {
    return http::error_reply(400, "The request body is not valid JSON.");
  }
  if (!out.is_object()) return http::error_reply(400, "The request body must be a JSON object.");
  return std::nullopt;
}

std::optional<http::Response> Api::gates(const http::Request& request) {
  std::optional<http::Response> reply;
  const auto client_version = request.header("X-App-Version");
  app_.db.read([&](store::Tx& tx) {
    if (settings::get(tx, "maintenance") == "1") {
      reply = http::error_reply(503, settings::get(tx, "maintenance_message"), "MAINTENANCE");
      return;
    }
    if (!client_version.empty()) {
      auto info = version_info(tx, request.header("X-App-Platform"), client_version,
                               public_base(request));
      if (info["update_required"].get<bool>()) {
        info["message"] = "This version of the app is no longer supported. Please update.";
        reply = http::json_reply(426, info);
      }
    }
  });
  return reply;
}

void Api::open(const std::string& method, const std::string& path, http::Handler handler, http::Cost cost) {
  router_.add(
      method, kBase + path,
      [this, handler](http::Request& request) {
        if (auto stop = gates(request)) return *stop;
        return handler(request);
      },
      cost);
}

void Api::authed(const std::string& method, const std::string& path, AuthedHandler handler) {
  router_.add(method, kBase + path, [this, handler](http::Request& request) {
    if (auto stop = gates(request)) return *stop;
    auto auth = authenticate(app_, request);
    if (!auth.principal) return auth.failure;
    auto reply = handler(request, *auth.principal);
    reply.set_header("X-Permissions-Hash", auth.principal->permissions_hash);
    reply.signed_in = true;
    return reply;
  });
}

}  // namespace tovik::api

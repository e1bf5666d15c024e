#include "api/accounts.hpp"

#include <iostream>

#include "api/attempt_window.hpp"
#include "api/profile.hpp"
#include "realtime/events.hpp"
#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::api {

namespace {

constexpr std::int64_t kChallengeSeconds = 10 * 60;
constexpr std::int64_t kResetSeconds = 30 * 60;
constexpr int kMaxCodeAttempts = 5;
constexpr std::size_t kMinPassword = 8;

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(const json& body, const char* key) {
  const auto it = body.find(key);
  if (it == body.end() || !it->is_string()) return {};
  auto s = it->get<std::string>();
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Attempts kept in memory. Failed sign-ins per account (whatever name reached it) and per
// address: ten failures for one account within fifteen minutes lock it out until the oldest
// ages; an address gets more, since an office may share one. Reset codes sent per address typed
// and per caller address, so that codes cannot be reissued at will.
struct Limits {
  AttemptWindow account_failures{10, 15 * 60};
  AttemptWindow address_failures{50, 15 * 60};
  AttemptWindow codes_per_email{5, 60 * 60};
  AttemptWindow codes_per_address{20, 60 * 60};
};

Limits& limits() {
  static Limits l;
  return l;
}

http::Response too_many() {
  return http::error_reply(429, "Too many sign-in attempts. Try again in a few minutes.");
}

// The hash checked when no user matches, so that unknown addresses take as long as known ones.
const std::string& dummy_hash(bool fast) {
  static const std::string slow = util::hash_password("no such user", false);
  static const std::string quick = util::hash_password("no such user", true);
  return fast ? quick : slow;
}

http::Response suspended_reply(const std::string& message) {
  return http::error_reply(403, message.empty() ? "This account is suspended." : message,
                           "ACCOUNT_SUSPENDED");
}

// Creates a device session and answers with the token and the profile.
http::Response issue_session(App& app, const http::Request& req, std::int64_t user_id,
                             const std::string& device_name, const std::string& platform) {
  const auto token = "tvk_" + util::random_token(32);
  json user;
  app.db.write([&](store::Tx& tx) {
    auto row = tx.one("INSERT INTO sessions (user_id, token_hash, device_name, platform, ip, "
                      "created_at, last_active_unix) VALUES ($1, $2, $3, $4, $5, $6, $7) RETURNING id",
                      {user_id, util::sha256_hex(token), device_name, platform, req.remote_ip,
                       util::iso_now(), util::unix_now()});
    auto p = load_principal(tx, user_id, default_company(tx, user_id));
    if (!p) throw std::runtime_error("user has no company");
    p->session_id = row->integer("id");
    user = build_profile(tx, *p);
  });
  return http::json_reply(200, {{"token", token}, {"user", user}});
}

http::Response invalid(json errors) {
  std::string first = "The given data was invalid.";
  for (const auto& [k, v] : errors.items())
    if (v.is_array() && !v.empty()) {
      first = v[0].get<std::string>();
      break;
    }
  return http::json_reply(422, {{"message", first}, {"errors", std::move(errors)}});
}

}  // namespace

void send_mail(store::Tx& tx, const std::string& email, const std::string& subject,
               const std::string& code) {
  tx.exec("INSERT INTO mail_log (email, subject, code, created_at) VALUES ($1, $2, $3, $4)",
          {email, subject, code, util::iso_now()});
  std::clog << json({{"ts", util::iso_now()}, {"event", "mail"}, {"to", email},
                     {"subject", subject}, {"code", code}}).dump() + "\n" << std::flush;
}

std::int64_t revoke_sessions(store::Tx& tx, std::int64_t user_id, std::int64_t only_id,
                             std::int64_t keep_id) {
  tx.exec("UPDATE sessions SET revoked_at = $1 WHERE user_id = $2 AND revoked_at IS NULL "
          "AND ($3 = 0 OR id = $3) AND id != $4",
          {util::iso_now(), user_id, only_id, keep_id});
  const auto n = tx.changes();
  if (n > 0) realtime::events::publish(tx, realtime::events::user_channel(user_id), "session.revoked", json::object());
  return n;
}

void register_account_routes(Api& api) {
  App& app = api.app();

  api.open("POST", "/login", [&app](http::Request& req) -> http::Response {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto email = lower(trimmed(body, "email"));
    const auto password = body.value("password", json("")).is_string() ? body.value("password", "") : "";
    json errors = json::object();
    if (email.empty()) errors["email"] = {"Enter your e-mail or user name."};
    if (password.empty()) errors["password"] = {"Enter your password."};
    if (!errors.empty()) return invalid(errors);
    if (limits().address_failures.exhausted(req.remote_ip)) return too_many();

    std::optional<store::Row> user;
    app.db.read([&](store::Tx& tx) {
      user = tx.one("SELECT id, email, password_hash, otp_enabled, suspended, suspension_message "
                    "FROM users WHERE lower(email) = $1 OR lower(username) = $1",
                    {email});
    });
    // The e-mail and the user name of one account share its count.
    const auto account = user ? "user:" + std::to_string(user->integer("id")) : "name:" + email;
    if (limits().account_failures.exhausted(account)) return too_many();
    const bool fast = app.config.fast_password_hash;
    const bool ok = util::verify_password(user ? user->text("password_hash") : dummy_hash(fast), password);
    if (!user || !ok) {
      limits().account_failures.add(account);
      limits().address_failures.add(req.remote_ip);
      return http::error_reply(422, "These credentials do not match our records.");
    }
    limits().account_failures.clear(account);
    if (user->integer("suspended")) return suspended_reply(user->text("suspension_message"));

    const auto device = trimmed(body, "device_name");
    const auto platform = req.header("X-App-Platform");
    if (!user->integer("otp_enabled")) return issue_session(app, req, user->integer("id"), device, platform);

    const auto challenge = util::random_token(24);
    const auto code = util::random_digits(6);
    app.db.write([&](store::Tx& tx) {
      tx.exec("DELETE FROM login_challenges WHERE expires_unix < $1", {util::unix_now()});
      tx.exec("INSERT INTO login_challenges (challenge_hash, user_id, code_hash, device_name, "
              "platform, ip, expires_unix) VALUES ($1, $2, $3, $4, $5, $6, $7)",
              {util::sha256_hex(challenge), user->integer("id"), util::sha256_hex(code), device,
               platform, req.remote_ip, util::unix_now() + kChallengeSeconds});
      send_mail(tx, user->text("email"), "Your sign-in code", code);
    });
    return http::json_reply(202, {{"otp_required", true},
                                  {"challenge", challenge},
                                  {"message", "We e-mailed you a 6-digit sign-in code."}});
  }, http::Cost::heavy);

  api.open("POST", "/login/otp", [&app](http::Request& req) {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto challenge = trimmed(body, "challenge");
    const auto code = trimmed(body, "code");
    if (challenge.empty() || code.empty())
      return invalid({{"code", {"Enter the sign-in code."}}});
    std::optional<http::Response> failure;
    std::int64_t user_id = 0;
    std::string device, platform;
    app.db.write([&](store::Tx& tx) {
      auto c = tx.one("SELECT c.user_id, c.code_hash, c.device_name, c.platform, c.expires_unix, "
                      "c.attempts, u.suspended, u.suspension_message FROM login_challenges c "
                      "JOIN users u ON u.id = c.user_id WHERE c.challenge_hash = $1",
                      {util::sha256_hex(challenge)});
      if (!c || c->integer("expires_unix") < util::unix_now()) {
        failure = http::error_reply(422, "This sign-in code has expired. Sign in again.");
        return;
      }
      if (!util::equal_secret(c->text("code_hash"), util::sha256_hex(code))) {
        if (c->integer("attempts") + 1 >= kMaxCodeAttempts) {
          tx.exec("DELETE FROM login_challenges WHERE challenge_hash = $1", {util::sha256_hex(challenge)});
          failure = http::error_reply(422, "Too many wrong codes. Sign in again.");
        } else {
          tx.exec("UPDATE login_challenges SET attempts = attempts + 1 WHERE challenge_hash = $1",
                  {util::sha256_hex(challenge)});
          failure = http::error_reply(422, "The code is not correct.");
        }
        return;
      }
      tx.exec("DELETE FROM login_challenges WHERE challenge_hash = $1", {util::sha256_hex(challenge)});
      if (c->integer("suspended")) {
        failure = suspended_reply(c->text("suspension_message"));
        return;
      }
      user_id = c->integer("user_id");
      device = c->text("device_name");
      platform = c->text("platform");
    });
    if (failure) return *failure;
    return issue_session(app, req, user_id, device, platform);
  });

  api.open("POST", "/password/forgot", [&app](http::Request& req) {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto email = lower(trimmed(body, "email"));
    if (email.empty()) return invalid({{"email", {"Enter your e-mail address."}}});
    // Counted per address typed, known or not, so the limit tells nothing about accounts.
    if (limits().codes_per_email.exhausted(email) || limits().codes_per_address.exhausted(req.remote_ip))
      return http::error_reply(429, "Too many reset requests. Try again later.");
    limits().codes_per_email.add(email);
    limits().codes_per_address.add(req.remote_ip);
    app.db.write([&](store::Tx& tx) {
      auto u = tx.one("SELECT id, email FROM users WHERE lower(email) = $1 AND suspended = 0", {email});
      if (!u) return;
      const auto code = util::random_digits(6);
      // A new code keeps the wrong tries of the one it replaces, and their deadline, until that
      // deadline passes: asking again does not buy more guesses.
      tx.exec("INSERT INTO password_resets (user_id, code_hash, expires_unix, attempts) "
              "VALUES ($1, $2, $3, 0) ON CONFLICT (user_id) DO UPDATE SET code_hash = excluded.code_hash, "
              "expires_unix = CASE WHEN password_resets.expires_unix >= $4 AND password_resets.attempts > 0 "
              "THEN password_resets.expires_unix ELSE excluded.expires_unix END, "
              "attempts = CASE WHEN password_resets.expires_unix >= $4 THEN password_resets.attempts ELSE 0 END",
              {u->integer("id"), util::sha256_hex(code), util::unix_now() + kResetSeconds, util::unix_now()});
      send_mail(tx, u->text("email"), "Your password reset code", code);
    });
    // The same answer whether or not the address has an account.
    return http::json_reply(200, {{"message", "If an account uses that address, we e-mailed it a 6-digit code."}});
  });

  api.open("POST", "/password/reset", [&app](http::Request& req) -> http::Response {
    json body;
    if (auto bad = parse_body(req, body)) return *bad;
    const auto email = lower(trimmed(body, "email"));
    const auto code = trimmed(body, "code");
    const auto password = body.value("password", json("")).is_string() ? body.value("password", "") : "";
    const auto confirmation = body.value("password_confirmation", json("")).is_string()
                                  ? body.value("password_confirmation", "") : "";
    json errors = json::object();
    if (email.empty()) errors["email"] = {"Enter your e-mail address."};
    if (code.empty()) errors["code"] = {"Enter the reset code."};
    if (password.size() < kMinPassword)
      errors["password"] = {"The password must be at least 8 characters."};
    else if (password != confirmation)
      errors["password"] = {"The password confirmation does not match."};
    if (!errors.empty()) return invalid(errors);

    // The code is checked before the costly hash, and again when the password is written, so
    // that a code used meanwhile by another request does not count twice.
    std::optional<http::Response> failure;
    std::int64_t user_id = 0;
    std::string code_hash;
    app.db.write([&](store::Tx& tx) {
      auto r = tx.one("SELECT p.user_id, p.code_hash, p.expires_unix, p.attempts FROM password_resets p "
                      "JOIN users u ON u.id = p.user_id WHERE lower(u.email) = $1",
                      {email});
      const bool usable = r && r->integer("expires_unix") >= util::unix_now() &&
                          r->integer("attempts") < kMaxCodeAttempts;
      if (!usable || !util::equal_secret(r->text("code_hash"), util::sha256_hex(code))) {
        if (r) tx.exec("UPDATE password_resets SET attempts = attempts + 1 WHERE user_id = $1",
                       {r->integer("user_id")});
        failure = invalid({{"code", {"The reset code is not valid or has expired."}}});
        return;
      }
      user_id = r->integer("user_id");
      code_hash = r->text("code_hash");
    });
    if (failure) return *failure;
    const auto hash = util::hash_password(password, app.config.fast_password_hash);
    app.db.write([&](store::Tx& tx) {
      tx.exec("DELETE FROM password_resets WHERE user_id = $1 AND code_hash = $2", {user_id, code_hash});
      if (tx.changes() == 0) {
        failure = invalid({{"code", {"The reset code is not valid or has expired."}}});
        return;
      }
      tx.exec("UPDATE users SET password_hash = $1 WHERE id = $2", {hash, user_id});
      // A new password ends every signed-in device.
      revoke_sessions(tx, user_id, 0, 0);
    });
    if (failure) return *failure;
    app.events_written();
    return http::json_reply(200, {{"message", "Your password was reset. Sign in with the new password."}});
  }, http::Cost::heavy);

  api.authed("GET", "/me", [&app](http::Request&, const Principal& p) {
    json user;
    app.db.read([&](store::Tx& tx) { user = build_profile(tx, p); });
    return http::json_reply(200, {{"user", user}});
  });

  api.authed("POST", "/logout", [&app](http::Request&, const Principal& p) {
    app.db.write([&](store::Tx& tx) {
      tx.exec("UPDATE sessions SET revoked_at = $1 WHERE id = $2", {util::iso_now(), p.session_id});
    });
    return http::json_reply(200, {{"message", "Signed out."}});
  });

  api.authed("POST", "/session/status", [](http::Request&, const Principal& p) {
    return http::json_reply(200, {{"active", true},
                                  {"user_id", p.user_id},
                                  {"company_id", p.company_id},
                                  {"permissions_hash", p.permissions_hash}});
  });

  api.authed("GET", "/sessions", [&app](http::Request&, const Principal& p) {
    json list = json::array();
    app.db.read([&](store::Tx& tx) {
      for (const auto& s : tx.query("SELECT id, device_name, platform, ip, last_active_unix FROM sessions "
                                    "WHERE user_id = $1 AND revoked_at IS NULL ORDER BY last_active_unix DESC, id DESC",
                                    {p.user_id})) {
        const auto id = s.integer("id");
        list.push_back({{"key", "token:" + std::to_string(id)},
                        {"kind", "app"},
                        {"user", p.name},
                        {"device", s.text("device_name")},
                        {"platform", s.text("platform").empty() ? "app" : s.text("platform")},
                        {"ip", s.text("ip")},
                        {"location", nullptr},
                        {"last_active", util::iso_from_unix(s.integer("last_active_unix"))},
                        {"id", "#" + std::to_string(id)},
                        {"current", id == p.session_id}});
      }
    });
    return http::json_reply(200, {{"sessions", list}});
  });

  api.authed("DELETE", "/sessions/{key}", [&app](http::Request& req, const Principal& p) {
    const auto& key = req.params["key"];
    std::int64_t id = 0;
    if (key.rfind("token:", 0) == 0) {
      try {
        id = std::stoll(key.substr(6));
      } catch (const std::exception&) {
        id = 0;
      }
    }
    std::int64_t n = 0;
    if (id > 0) app.db.write([&](store::Tx& tx) { n = revoke_sessions(tx, p.user_id, id, 0); });
    if (n == 0) return http::error_reply(404, "No such session.");
    app.events_written();
    return http::json_reply(200, {{"message", "The device was signed out."}});
  });

  api.authed("POST", "/sessions/revoke-others", [&app](http::Request&, const Principal& p) {
    std::int64_t n = 0;
    app.db.write([&](store::Tx& tx) { n = revoke_sessions(tx, p.user_id, 0, p.session_id); });
    if (n > 0) app.events_written();
    return http::json_reply(200, {{"message", "Every other device was signed out."}, {"revoked", n}});
  });
}

}  // namespace tovik::api

#pragma once
// api/: the routes of the platform API and the rules every call passes (maintenance, client
// version, bearer session, company); handlers reach the store, sync/ and realtime/ events.
#include <functional>
#include <optional>
#include <string>

#include "api/app.hpp"
#include "http/router.hpp"

namespace tovik::api {

using AuthedHandler = std::function<http::Response(http::Request&, const Principal&)>;

// The common rules of every call under "/mobile/v2": maintenance (503), client version (426),
// and for signed-in calls the bearer session (401), the company (403) and the
// X-Permissions-Hash reply header. Routes are registered through it.
class Api {
 public:
  Api(App& app, http::Router& router) : app_(app), router_(router) {}

  // A call open to anyone (sign-in, password reset).
  void open(const std::string& method, const std::string& path, http::Handler handler,
            http::Cost cost = http::Cost::light);
  // A call that needs a signed-in session.
  void authed(const std::string& method, const std::string& path, AuthedHandler handler);

  App& app() { return app_; }

 private:
  [[nodiscard]] std::optional<http::Response> gates(const http::Request& request);
  App& app_;
  http::Router& router_;
};

inline constexpr const char* kBase = "/mobile/v2";

// "http://host:port" of the request, for addresses handed back to the client.
[[nodiscard]] std::string public_base(const http::Request& request);

// Parses the request body as a JSON object, or gives the 400 reply to send.
[[nodiscard]] std::optional<http::Response> parse_body(const http::Request& request, json& out);

}  // namespace tovik::api

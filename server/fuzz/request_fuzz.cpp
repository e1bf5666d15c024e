// libFuzzer target: one request through the server's own parsing and handlers (query, body
// JSON, sign-in, push, pull, realtime auth, arbitrary paths) against a demo store, and one
// realtime client frame. The first byte picks the call; the rest up to the first newline is
// the query or path, and what follows is the body or frame.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "admin/demo_seed.hpp"
#include "api/routes.hpp"
#include "realtime/pusher_protocol.hpp"

using namespace tovik;

namespace {

struct Call {
  const char* method;
  const char* path;
  bool authed;
};

constexpr Call kCalls[] = {
    {"POST", "/mobile/v2/login", false},          {"POST", "/mobile/v2/login/otp", false},
    {"POST", "/mobile/v2/password/forgot", false}, {"POST", "/mobile/v2/password/reset", false},
    {"POST", "/mobile/v2/sync/push", true},        {"GET", "/mobile/v2/sync/pull", true},
    {"POST", "/mobile/v2/realtime/auth", true},    {"GET", "/mobile/v2/notifications", true},
    {"DELETE", "/mobile/v2/sessions/", true},      {"POST", "/mobile/v2/web-session", true},
    {"POST", "/mobile/v2/pos/returns", true},      {"POST", "/mobile/v2/pos/display/push", true},
    {"POST", "/display/pair", false},
};
constexpr std::size_t kCallCount = sizeof kCalls / sizeof kCalls[0];

class NullSubscriber : public realtime::Subscriber {
 public:
  void send(std::string) override {}
  void close() override {}
};

struct World {
  World() {
    char pattern[] = "/tmp/tovik-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    dir = pattern;
    db = store::open_database("sqlite:" + (dir / "s.db").string());
    admin::seed_demo(*db, true);
    app = std::make_unique<api::App>(api::App{*db, {}, [] {}});
    app->config.fast_password_hash = true;
    api = std::make_unique<api::Api>(*app, router);
    api::register_routes(*api, router);
    http::Request login;
    login.method = "POST";
    login.path = "/mobile/v2/login";
    login.body = R"({"email":"owner@demo.test","password":"demo-owner-1"})";
    token = nlohmann::json::parse(router.dispatch(login).body)["token"];
  }
  ~World() {
    db.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::filesystem::path dir;
  std::unique_ptr<store::Database> db;
  std::unique_ptr<api::App> app;
  http::Router router;
  std::unique_ptr<api::Api> api;
  std::string token;
  realtime::Hub hub;
  std::shared_ptr<NullSubscriber> socket = std::make_shared<NullSubscriber>();
};

World& world() {
  static World w;
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  auto& w = world();
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const auto newline = input.find('\n');
  const auto head = input.substr(0, newline);
  const auto rest = newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);
  const auto pick = static_cast<std::size_t>(data[0]) % (kCallCount + 2);

  if (pick == kCallCount + 1) {
    realtime::PusherConnection connection(w.hub, {"key", "secret"}, "1.2", w.socket);
    (void)connection.on_frame(std::string(rest));
    return 0;
  }
  http::Request request;
  request.remote_ip = "127.0.0.1";
  request.body = std::string(rest);
  if (pick == kCallCount) {
    // Any method and path: the router's own decoding.
    request.method = "GET";
    request.path = std::string(head.substr(0, head.find('?')));
  } else {
    const auto& call = kCalls[pick];
    request.method = call.method;
    request.path = call.path;
    if (std::string_view(call.path).back() == '/') request.path += std::string(head.substr(0, head.find('?')));
    if (call.authed) request.headers["Authorization"] = "Bearer " + w.token;
  }
  if (const auto q = head.find('?'); q != std::string_view::npos) request.query = http::parse_query(head.substr(q + 1));
  (void)w.router.dispatch(request);
  return 0;
}

// tovik-server: the reference platform server, and its admin command.
#include <cstdio>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "admin/admin_cli.hpp"
#include "admin/demo_seed.hpp"
#include "api/routes.hpp"
#include "api/settings.hpp"
#include "net/server.hpp"
#include "realtime/event_pump.hpp"
#include "util/log.hpp"

namespace {

const char* kUsage =
    "usage: tovik-server --listen HOST:PORT --db sqlite:PATH|postgresql://... [--seed demo] [--threads N]\n"
    "                    [--max-body BYTES] [--max-connections-per-address N] [--fast-password-hash]\n"
    "                    [--display-code-seconds N]\n"
    "       tovik-server admin --db sqlite:PATH|postgresql://... COMMAND [options]   (admin --help lists them)\n";

struct ServeOptions {
  std::string host = "127.0.0.1";
  unsigned short port = 8787;
  std::string db;
  std::string seed;
  int threads = 0;
  std::size_t max_body = 8 * 1024 * 1024;
  std::size_t max_per_address = 256;
  bool fast_hash = false;
  int display_code_seconds = 600;
};

ServeOptions parse(int argc, char** argv) {
  ServeOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument("missing value for " + a);
      return argv[++i];
    };
    if (a == "--listen") {
      const auto v = value();
      const auto colon = v.rfind(':');
      if (colon == std::string::npos) throw std::invalid_argument("--listen needs HOST:PORT");
      o.host = v.substr(0, colon);
      if (o.host.size() > 2 && o.host.front() == '[') o.host = o.host.substr(1, o.host.size() - 2);
      o.port = static_cast<unsigned short>(std::stoi(v.substr(colon + 1)));
    } else if (a == "--db") {
      o.db = value();
    } else if (a == "--seed") {
      o.seed = value();
      if (o.seed != "demo") throw std::invalid_argument("the only seed is 'demo'");
    } else if (a == "--threads") {
      o.threads = std::stoi(value());
    } else if (a == "--max-body") {
      o.max_body = std::stoull(value());
    } else if (a == "--max-connections-per-address") {
      o.max_per_address = std::stoull(value());
    } else if (a == "--fast-password-hash") {
      o.fast_hash = true;
    } else if (a == "--display-code-seconds") {
      o.display_code_seconds = std::stoi(value());
    } else {
      throw std::invalid_argument("unknown option " + a);
    }
  }
  if (o.db.empty()) throw std::invalid_argument("--db is required");
  if (o.threads <= 0) o.threads = static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
  return o;
}

int serve(const ServeOptions& o) {
  auto db = tovik::store::open_database(o.db);
  if (!o.seed.empty() && tovik::admin::seed_demo(*db, o.fast_hash))
    tovik::util::log_line({{"event", "seeded"}, {"seed", o.seed}});

  tovik::realtime::Hub hub;
  tovik::realtime::EventPump pump(*db, hub);
  tovik::api::App app{*db, {}, [] {}};
  app.config.fast_password_hash = o.fast_hash;
  app.config.max_body_bytes = o.max_body;
  app.config.display_code_seconds = o.display_code_seconds;
  app.events_written = [&pump] { pump.wake(); };

  tovik::http::Router router;
  tovik::api::Api api(app, router);
  tovik::api::register_routes(api, router);

  const auto keys = tovik::api::settings::realtime_keys(*db);
  tovik::net::ServerOptions so;
  so.address = o.host;
  so.port = o.port;
  so.threads = o.threads;
  so.max_body_bytes = o.max_body;
  so.max_connections_per_address = o.max_per_address;
  so.heavy_threads = std::max(1, o.threads / 2);
  tovik::net::Server server(so, router, hub, {keys.key, keys.secret});
  // Tests and tools read this first line to find the port.
  std::printf("listening http://%s:%u\n", o.host.find(':') == std::string::npos ? o.host.c_str()
                                                                                  : ("[" + o.host + "]").c_str(),
              server.port());
  std::fflush(stdout);
  tovik::util::log_line({{"event", "listening"}, {"address", o.host}, {"port", server.port()}, {"threads", o.threads}});
  server.run();
  tovik::util::log_line({{"event", "stopped"}});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::string(argv[1]) == "admin")
    return tovik::admin::run_admin(std::vector<std::string>(argv + 2, argv + argc));
  try {
    return serve(parse(argc, argv));
  } catch (const std::invalid_argument& e) {
    std::cerr << "tovik-server: " << e.what() << "\n" << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "tovik-server: " << e.what() << "\n";
    return 1;
  }
}

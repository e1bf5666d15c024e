#pragma once
// net/: the only place that knows the network library: listener, HTTP and WebSocket sessions.
#include <memory>
#include <string>

#include "http/router.hpp"
#include "realtime/hub.hpp"
#include "realtime/pusher_protocol.hpp"

namespace tovik::net {

struct ServerOptions {
  std::string address = "127.0.0.1";
  unsigned short port = 8787;
  int threads = 4;
  std::size_t max_body_bytes = 8 * 1024 * 1024;
  // Connections one remote address may hold at once; more are closed on arrival.
  std::size_t max_connections_per_address = 256;
  // Threads for heavy handlers (password hashing).
  int heavy_threads = 1;
};

// HTTP/1.1 and the realtime WebSocket on one port, served by a pool of threads.
class Server {
 public:
  Server(ServerOptions options, const http::Router& router, realtime::Hub& hub, realtime::AppKeys keys);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // The port actually bound (useful with port 0).
  [[nodiscard]] unsigned short port() const;
  // Serves until SIGINT or SIGTERM, then stops accepting, closes the sockets and lets
  // requests under way finish (for at most a few seconds).
  void run();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovik::net

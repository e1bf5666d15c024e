#include "net/server.hpp"

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "net/session_shared.hpp"
#include "util/log.hpp"

namespace tovik::net {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {
// How long requests under way may take to finish once a stop signal arrived.
constexpr auto kDrainLimit = std::chrono::seconds(5);
}  // namespace

struct Server::Impl {
  Impl(ServerOptions o, const http::Router& router, realtime::Hub& hub, realtime::AppKeys keys)
      : options(std::move(o)),
        ioc(options.threads),
        acceptor(ioc),
        signals(ioc, SIGINT, SIGTERM),
        drain_timer(ioc),
        accept_backoff(ioc),
        shared(std::make_shared<Shared>(router, hub, std::move(keys), options.max_body_bytes,
                                        options.max_connections_per_address, options.heavy_threads)) {
    const tcp::endpoint endpoint(asio::ip::make_address(options.address), options.port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
  }

  void accept() {
    acceptor.async_accept(asio::make_strand(ioc), [this](boost::system::error_code ec, tcp::socket socket) {
      if (!acceptor.is_open()) return;
      if (ec) return back_off();
      accept_delay = std::chrono::milliseconds(0);
      boost::system::error_code peer_ec;
      const auto peer = socket.remote_endpoint(peer_ec);
      if (!peer_ec) {
        if (auto slot = shared->slots->take(peer.address().to_string()))
          start_http_session(std::move(socket), std::move(slot), shared);
      }
      accept();
    });
  }

  // Accepting fails when the process is out of file handles (and the pending connection stays
  // queued): retrying at once would spin, so wait, longer each time, up to a second.
  void back_off() {
    accept_delay = std::min(std::chrono::milliseconds(1000), std::max(std::chrono::milliseconds(10), accept_delay * 2));
    accept_backoff.expires_after(accept_delay);
    accept_backoff.async_wait([this](boost::system::error_code ec) {
      if (!ec) accept();
    });
  }

  void stop() {
    util::log_line({{"event", "stopping"}});
    shared->stopping = true;
    boost::system::error_code ec;
    acceptor.close(ec);
    accept_backoff.cancel();
    shared->hub.close_all();
    drain_deadline = std::chrono::steady_clock::now() + kDrainLimit;
    drain();
  }

  // Waits for requests under way, then gives the closing sockets a moment before stopping.
  void drain() {
    if (shared->active_requests == 0 || std::chrono::steady_clock::now() > drain_deadline) {
      drain_timer.expires_after(std::chrono::milliseconds(100));
      drain_timer.async_wait([this](boost::system::error_code) { ioc.stop(); });
      return;
    }
    drain_timer.expires_after(std::chrono::milliseconds(20));
    drain_timer.async_wait([this](boost::system::error_code) { drain(); });
  }

  ServerOptions options;
  asio::io_context ioc;
  tcp::acceptor acceptor;
  asio::signal_set signals;
  asio::steady_timer drain_timer;
  asio::steady_timer accept_backoff;
  std::chrono::milliseconds accept_delay{0};
  std::chrono::steady_clock::time_point drain_deadline;
  std::shared_ptr<Shared> shared;
};

Server::Server(ServerOptions options, const http::Router& router, realtime::Hub& hub, realtime::AppKeys keys)
    : impl_(std::make_unique<Impl>(std::move(options), router, hub, std::move(keys))) {}

Server::~Server() = default;

unsigned short Server::port() const { return impl_->acceptor.local_endpoint().port(); }

void Server::run() {
  impl_->signals.async_wait([this](boost::system::error_code ec, int) {
    if (!ec) impl_->stop();
  });
  impl_->accept();
  std::vector<std::thread> pool;
  for (int i = 1; i < impl_->options.threads; ++i) pool.emplace_back([this] { impl_->ioc.run(); });
  impl_->ioc.run();
  for (auto& t : pool) t.join();
  impl_->shared->heavy_pool.join();
}

}  // namespace tovik::net

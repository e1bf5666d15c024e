#pragma once
// Private to net/: what the listener hands to the HTTP and WebSocket sessions.
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <memory>

#include "http/router.hpp"
#include "realtime/hub.hpp"
#include "realtime/pusher_protocol.hpp"

namespace tovik::net {

struct Shared {
  Shared(const http::Router& r, realtime::Hub& h, realtime::AppKeys k, std::size_t max_body)
      : router(r), hub(h), keys(std::move(k)), max_body_bytes(max_body) {}
  const http::Router& router;
  realtime::Hub& hub;
  realtime::AppKeys keys;
  std::size_t max_body_bytes;
  std::atomic<int> active_requests{0};
  std::atomic<bool> stopping{false};
};

void start_http_session(boost::asio::ip::tcp::socket socket, std::shared_ptr<Shared> shared);
void start_websocket_session(boost::beast::tcp_stream stream,
                             boost::beast::http::request<boost::beast::http::string_body> upgrade,
                             std::shared_ptr<Shared> shared);

}  // namespace tovik::net

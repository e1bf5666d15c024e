#pragma once
// Private to net/: what the listener hands to the HTTP and WebSocket sessions.
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/string_body.hpp>
#include <memory>

#include "http/router.hpp"
#include "net/connection_slots.hpp"
#include "realtime/hub.hpp"
#include "realtime/pusher_protocol.hpp"

namespace tovik::net {

struct Shared {
  Shared(const http::Router& r, realtime::Hub& h, realtime::AppKeys k, std::size_t max_body,
         std::size_t per_address, int heavy_threads)
      : router(r),
        hub(h),
        keys(std::move(k)),
        max_body_bytes(max_body),
        slots(std::make_shared<ConnectionSlots>(per_address)),
        heavy_pool(static_cast<std::size_t>(heavy_threads)) {}
  const http::Router& router;
  realtime::Hub& hub;
  realtime::AppKeys keys;
  std::size_t max_body_bytes;
  std::shared_ptr<ConnectionSlots> slots;
  // Heavy handlers run here; beyond kMaxHeavyQueued waiting ones the server answers 503.
  boost::asio::thread_pool heavy_pool;
  std::atomic<int> heavy_queued{0};
  static constexpr int kMaxHeavyQueued = 32;
  std::atomic<int> active_requests{0};
  std::atomic<bool> stopping{false};
};

using Slot = std::shared_ptr<ConnectionSlots::Slot>;

void start_http_session(boost::asio::ip::tcp::socket socket, Slot slot, std::shared_ptr<Shared> shared);
void start_websocket_session(boost::beast::tcp_stream stream,
                             boost::beast::http::request<boost::beast::http::string_body> upgrade, Slot slot,
                             std::shared_ptr<Shared> shared);

}  // namespace tovik::net

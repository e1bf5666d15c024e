#pragma once
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "realtime/hub.hpp"

namespace tovik::realtime {

struct AppKeys {
  std::string key, secret;
};

// The server side of one Pusher Channels (protocol 7) connection, free of the transport:
// it turns each client frame into reply frames and hub subscriptions. The transport removes
// the socket from the hub when it closes.
class PusherConnection {
 public:
  PusherConnection(Hub& hub, AppKeys keys, std::string socket_id, std::weak_ptr<Subscriber> self);
  PusherConnection(const PusherConnection&) = delete;
  PusherConnection& operator=(const PusherConnection&) = delete;

  // The pusher:connection_established frame that opens the conversation.
  [[nodiscard]] std::string welcome() const;
  // Replies to one client frame (zero or more frames).
  [[nodiscard]] std::vector<std::string> on_frame(const std::string& text);

  static constexpr int kActivityTimeout = 120;

 private:
  [[nodiscard]] std::vector<std::string> subscribe(const std::string& channel, const std::string& auth);
  Hub& hub_;
  AppKeys keys_;
  std::string socket_id_;
  std::weak_ptr<Subscriber> self_;
  std::set<std::string> channels_;
};

// "1234.5678": the protocol's socket id form.
[[nodiscard]] std::string new_socket_id();
// The pusher:error frame.
[[nodiscard]] std::string error_frame(int code, const std::string& message);

}  // namespace tovik::realtime

#include "realtime/pusher_protocol.hpp"

#include <nlohmann/json.hpp>

#include "util/crypto.hpp"
#include "util/untrusted_json.hpp"

namespace tovik::realtime {

using nlohmann::json;

std::string new_socket_id() {
  const auto bytes = util::random_bytes(8);
  std::uint32_t a = 0, b = 0;
  for (int i = 0; i < 4; ++i) {
    a = a * 256 + static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    b = b * 256 + static_cast<unsigned char>(bytes[static_cast<std::size_t>(i + 4)]);
  }
  return std::to_string(a % 1000000000) + "." + std::to_string(b % 1000000000);
}

std::string error_frame(int code, const std::string& message) {
  return json({{"event", "pusher:error"}, {"data", {{"code", code}, {"message", message}}}}).dump();
}

PusherConnection::PusherConnection(Hub& hub, AppKeys keys, std::string socket_id,
                                   std::weak_ptr<Subscriber> self)
    : hub_(hub), keys_(std::move(keys)), socket_id_(std::move(socket_id)), self_(std::move(self)) {}

std::string PusherConnection::welcome() const {
  return json({{"event", "pusher:connection_established"},
               {"data", json({{"socket_id", socket_id_}, {"activity_timeout", kActivityTimeout}}).dump()}})
      .dump();
}

std::vector<std::string> PusherConnection::on_frame(const std::string& text) {
  json frame;
  try {
    frame = util::parse_untrusted_json(text);
  } catch (const std::exception&) {
    return {error_frame(4200, "The message is not JSON.")};
  }
  if (!frame.is_object() || !frame.contains("event") || !frame["event"].is_string())
    return {error_frame(4200, "The message has no event.")};
  const auto event = frame["event"].get<std::string>();
  // pusher-js sends data as an object; other clients send it JSON-encoded.
  json data = frame.value("data", json::object());
  if (data.is_string()) {
    try {
      data = util::parse_untrusted_json(data.get<std::string>());
    } catch (const std::exception&) {
      data = json::object();
    }
  }
  if (!data.is_object()) data = json::object();

  if (event == "pusher:ping") return {json({{"event", "pusher:pong"}, {"data", "{}"}}).dump()};
  if (event == "pusher:pong") return {};
  if (event == "pusher:subscribe") {
    const auto channel = data.value("channel", json("")).is_string() ? data.value("channel", "") : "";
    const auto auth = data.value("auth", json("")).is_string() ? data.value("auth", "") : "";
    return subscribe(channel, auth);
  }
  if (event == "pusher:unsubscribe") {
    const auto channel = data.value("channel", json("")).is_string() ? data.value("channel", "") : "";
    if (channels_.erase(channel))
      if (auto s = self_.lock()) hub_.unsubscribe(channel, s.get());
    return {};
  }
  if (event.rfind("client-", 0) == 0) return {error_frame(4301, "Client events are not enabled.")};
  return {};
}

std::vector<std::string> PusherConnection::subscribe(const std::string& channel, const std::string& auth) {
  if (channel.empty() || channel.size() > 200) return {error_frame(4009, "Invalid channel name.")};
  if (channel.rfind("presence-", 0) == 0)
    return {error_frame(4009, "Presence channels are not available on this server.")};
  if (channel.rfind("private-", 0) == 0) {
    const auto expected = keys_.key + ":" + util::hmac_sha256_hex(keys_.secret, socket_id_ + ":" + channel);
    if (!util::equal_secret(auth, expected))
      return {error_frame(4009, "Invalid signature for channel " + channel + ".")};
  }
  auto self = self_.lock();
  if (!self) return {};
  channels_.insert(channel);
  hub_.subscribe(channel, self);
  return {json({{"event", "pusher_internal:subscription_succeeded"}, {"channel", channel}, {"data", "{}"}}).dump()};
}

}  // namespace tovik::realtime

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "realtime/pusher_protocol.hpp"
#include "util/crypto.hpp"

using namespace tovik::realtime;
using nlohmann::json;

namespace {

struct Recorder : Subscriber {
  std::vector<std::string> frames;
  void send(std::string text) override { frames.push_back(std::move(text)); }
  void close() override {}
};

const AppKeys kKeys{"app-key", "app-secret"};

std::string sign(const std::string& socket, const std::string& channel) {
  return kKeys.key + ":" + tovik::util::hmac_sha256_hex(kKeys.secret, socket + ":" + channel);
}

json subscribe_frame(const std::string& channel, const std::string& auth) {
  return {{"event", "pusher:subscribe"}, {"data", {{"channel", channel}, {"auth", auth}}}};
}

}  // namespace

TEST(PusherProtocolTest, PrivateChannelNeedsTheSignatureOfThisSocket) {
  Hub hub;
  auto me = std::make_shared<Recorder>();
  PusherConnection conn(hub, kKeys, "123.456", me);
  const auto hello = json::parse(conn.welcome());
  EXPECT_EQ(hello["event"], "pusher:connection_established");
  EXPECT_EQ(json::parse(hello["data"].get<std::string>())["socket_id"], "123.456");

  const std::string channel = "private-user.7";
  for (const auto& bad : {sign("999.1", channel), sign("123.456", "private-user.8"), std::string("app-key:00"), std::string()}) {
    const auto replies = conn.on_frame(subscribe_frame(channel, bad).dump());
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(json::parse(replies[0])["event"], "pusher:error");
  }
  EXPECT_EQ(hub.publish(channel, "notification.created", "{}"), 0u);

  const auto ok = conn.on_frame(subscribe_frame(channel, sign("123.456", channel)).dump());
  ASSERT_EQ(ok.size(), 1u);
  EXPECT_EQ(json::parse(ok[0])["event"], "pusher_internal:subscription_succeeded");
  EXPECT_EQ(hub.publish(channel, "notification.created", R"({"id":1})"), 1u);
  const auto event = json::parse(me->frames.back());
  EXPECT_EQ(event["channel"], channel);
  EXPECT_EQ(json::parse(event["data"].get<std::string>())["id"], 1);

  // Data sent JSON-encoded (as some clients do) is read the same way.
  EXPECT_TRUE(conn.on_frame(json({{"event", "pusher:unsubscribe"}, {"data", json({{"channel", channel}}).dump()}}).dump()).empty());
  EXPECT_EQ(hub.publish(channel, "notification.created", "{}"), 0u);
}

TEST(PusherProtocolTest, PingPresenceAndMalformedFrames) {
  Hub hub;
  auto me = std::make_shared<Recorder>();
  PusherConnection conn(hub, kKeys, "1.2", me);
  struct Case {
    std::string frame;
    std::string reply_event;
  };
  const Case cases[] = {
      {R"({"event":"pusher:ping","data":{}})", "pusher:pong"},
      {subscribe_frame("presence-room", sign("1.2", "presence-room")).dump(), "pusher:error"},
      {"not json", "pusher:error"},
      {R"({"data":{}})", "pusher:error"},
      {R"({"event":"client-typing","channel":"private-user.1","data":{}})", "pusher:error"},
  };
  for (const auto& c : cases) {
    const auto replies = conn.on_frame(c.frame);
    ASSERT_EQ(replies.size(), 1u) << c.frame;
    EXPECT_EQ(json::parse(replies[0])["event"], c.reply_event) << c.frame;
  }
  // Public channels need no signature.
  EXPECT_EQ(json::parse(conn.on_frame(subscribe_frame("news", "").dump())[0])["event"],
            "pusher_internal:subscription_succeeded");
  hub.disconnected(me.get());
  EXPECT_EQ(hub.publish("news", "e", "{}"), 0u);
}

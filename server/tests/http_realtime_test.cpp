// The realtime endpoint (Pusher protocol 7 over WebSocket) and the notification calls, against
// a real server.
#include <gtest/gtest.h>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"

using namespace tovik::testing;

namespace {

class RealtimeTest : public ServerSuite<RealtimeTest> {
 protected:
  void SetUp() override {
    owner_ = sign_in(server(), kOwner, kOwnerPassword);
    config_ = owner_.api("GET", "/realtime/config").json_body();
  }

  std::unique_ptr<WsClient> connect(std::string* socket_id) {
    auto ws = std::make_unique<WsClient>(server().port(), "/app/" + config_["key"].get<std::string>() +
                                                              "?protocol=7&client=js&version=8.4.0&flash=false");
    const auto hello = ws->next();
    EXPECT_TRUE(hello && (*hello)["event"] == "pusher:connection_established");
    if (hello) *socket_id = json::parse((*hello)["data"].get<std::string>())["socket_id"];
    return ws;
  }

  std::string channel() const { return "private-" + config_["channel"].get<std::string>(); }

  HttpClient owner_{0};
  json config_;
};

TEST_F(RealtimeTest, ConfigPointsAtThisServer) {
  EXPECT_EQ(config_["driver"], "pusher");
  EXPECT_EQ(config_["ws_host"], "127.0.0.1");
  EXPECT_EQ(config_["ws_port"], server().port());
  EXPECT_EQ(config_["force_tls"], false);
  EXPECT_FALSE(config_["event"].get<std::string>().empty());
}

TEST_F(RealtimeTest, AuthorisedSubscriptionReceivesNotificationsAndServerEvents) {
  std::string socket_id;
  auto ws = connect(&socket_id);
  const auto auth = owner_.api("POST", "/realtime/auth", {{"socket_id", socket_id}, {"channel_name", channel()}});
  ASSERT_EQ(auth.status, 200);
  ws->send({{"event", "pusher:subscribe"}, {"data", {{"auth", auth.json_body()["auth"]}, {"channel", channel()}}}});
  const auto ok = ws->next();
  ASSERT_TRUE(ok);
  EXPECT_EQ((*ok)["event"], "pusher_internal:subscription_succeeded");

  ws->send({{"event", "pusher:ping"}, {"data", json::object()}});
  EXPECT_TRUE(ws->next_event("pusher:pong"));

  server().admin({"notify", "--email", kOwner, "--title", "Stock delivered", "--message", "12 boxes", "--type", "success"});
  const auto note = ws->next_event(config_["event"]);
  ASSERT_TRUE(note);
  EXPECT_EQ((*note)["channel"], channel());
  const auto payload = json::parse((*note)["data"].get<std::string>());
  EXPECT_EQ(payload["title"], "Stock delivered");
  EXPECT_EQ(payload["type"], "success");

  // The same notification is there for polling, after the id the device last saw.
  const auto polled = owner_.api("GET", "/notifications?after=" + std::to_string(payload["id"].get<long long>() - 1)).json_body();
  ASSERT_EQ(polled["notifications"].size(), 1u);
  EXPECT_EQ(polled["latest_id"], payload["id"]);
  EXPECT_EQ(owner_.api("GET", "/notifications?after=" + std::to_string(payload["id"].get<long long>())).json_body()["notifications"].size(), 0u);

  // Events raised by the server's own actions.
  server().admin({"permissions", "--email", kOwner, "--permission", "payables_manage=false"});
  EXPECT_TRUE(ws->next_event("permissions.updated"));
  auto other = sign_in(server(), kOwner, kOwnerPassword, "second device");
  ASSERT_EQ(owner_.api("POST", "/sessions/revoke-others").status, 200);
  EXPECT_TRUE(ws->next_event("session.revoked"));
  EXPECT_EQ(other.api("POST", "/session/status", json::object()).status, 401);
}

TEST_F(RealtimeTest, SubscriptionWithoutValidAuthorisationGetsNothing) {
  std::string socket_id;
  auto ws = connect(&socket_id);
  // A signature made for another socket does not open the channel.
  const auto foreign = owner_.api("POST", "/realtime/auth", {{"socket_id", "1.2"}, {"channel_name", channel()}});
  ws->send({{"event", "pusher:subscribe"}, {"data", {{"auth", foreign.json_body()["auth"]}, {"channel", channel()}}}});
  const auto refused = ws->next();
  ASSERT_TRUE(refused);
  EXPECT_EQ((*refused)["event"], "pusher:error");
  server().admin({"notify", "--email", kOwner, "--title", "Not for you"});
  EXPECT_FALSE(ws->next_event(config_["event"], std::chrono::milliseconds(600)));

  // The server signs only the caller's own channel.
  auto cashier = sign_in(server(), kCashier, kCashierPassword);
  EXPECT_EQ(cashier.api("POST", "/realtime/auth", {{"socket_id", socket_id}, {"channel_name", channel()}}).status, 403);
}

TEST_F(RealtimeTest, UnknownApplicationKeyIsRefused) {
  WsClient ws(server().port(), "/app/wrong-key?protocol=7");
  const auto frame = ws.next();
  ASSERT_TRUE(frame);
  EXPECT_EQ((*frame)["event"], "pusher:error");
  EXPECT_EQ((*frame)["data"]["code"], 4001);
}

TEST_F(RealtimeTest, FirstPollGivesLatestIdForTheHighWaterMark) {
  for (int i = 0; i < 3; ++i) server().admin({"notify", "--email", kCashier, "--title", "Old " + std::to_string(i)});
  auto cashier = sign_in(server(), kCashier, kCashierPassword);
  const auto first = cashier.api("GET", "/notifications").json_body();
  ASSERT_GE(first["notifications"].size(), 3u);
  EXPECT_EQ(first["latest_id"], first["notifications"].back()["id"]);
}

}  // namespace

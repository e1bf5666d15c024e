// Hostile requests against a real server: each gets a clear 4xx, the process stays up, and
// nothing is written.
#include <gtest/gtest.h>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"

using namespace tovik::testing;

namespace {

std::string nested(std::size_t depth, const std::string& inner = "1") {
  return std::string(depth, '[') + inner + std::string(depth, ']');
}

std::string push_body(const std::string& data) {
  return R"({"device_id":"d","device_time":"2026-03-01T09:00:00Z","operations":[{"op_id":"h1","entity":"client",)"
         R"("action":"upsert","uuid":"0195c0de-0000-7000-8000-0000000000aa","base_version":null,"data":)" + data + "}]}";
}

class HostileTest : public ServerSuite<HostileTest> {
 public:
  static std::vector<std::string> server_args() { return {"--max-body", "1048576", "--max-connections-per-address", "8"}; }

 protected:
  // The owner's whole pull from the beginning: any write changes its cursor.
  static std::string everything(const HttpClient& owner) {
    return owner.api("GET", "/sync/pull?limit=1000").json_body().value("cursor", "");
  }
};


TEST_F(HostileTest, MalformedAndOversizedRequestsGetAClear4xxAndWriteNothing) {
  const auto owner = sign_in(server(), kOwner, kOwnerPassword);
  const HttpClient anonymous(server().port());
  const auto before = everything(owner);

  struct Case {
    const char* name;
    const HttpClient* client;
    std::string method, path, body;
    int status;
  };
  const std::vector<Case> cases = {
      {"sign-in password nested 300,000 deep", &anonymous, "POST", "/login",
       R"({"email":"owner@demo.test","password":)" + nested(300000) + "}", 400},
      {"sign-in nested objects", &anonymous, "POST", "/login", std::string(100000, '{') + "\"a\":" + std::string(1, '1'), 400},
      {"reset code nested", &anonymous, "POST", "/password/reset", R"({"email":"x@y.z","code":)" + nested(70) + "}", 400},
      {"number overflow", &anonymous, "POST", "/login", R"({"email":"owner@demo.test","password":1e400})", 400},
      {"invalid UTF-8", &anonymous, "POST", "/login", "{\"email\":\"\xff\xfe\",\"password\":\"x\"}", 400},
      {"not an object", &anonymous, "POST", "/password/forgot", "[1,2,3]", 400},
      {"body over the limit", &anonymous, "POST", "/login", std::string(2 * 1024 * 1024, ' '), 413},
      {"push data nested 100,000 deep", &owner, "POST", "/sync/push", push_body(nested(100000)), 400},
      {"push data nested just past the limit", &owner, "POST", "/sync/push",
       push_body(R"({"name":"Deep","tags":)" + nested(62) + "}"), 400},
      {"push without operations", &owner, "POST", "/sync/push", R"({"operations":{"a":1}})", 422},
      {"malformed cursor", &owner, "GET", "/sync/pull?cursor=%00%ff", "", 400},
      {"unsigned session", &anonymous, "POST", "/sync/push", push_body("{}"), 401},
  };
  for (const auto& c : cases) {
    std::map<std::string, std::string> headers = {{"Content-Type", "application/json"}};
    if (!c.client->token.empty()) headers["Authorization"] = "Bearer " + c.client->token;
    const auto reply = c.client->request(c.method, "/mobile/v2" + c.path, c.body, headers);
    EXPECT_EQ(reply.status, c.status) << c.name << ": " << reply.body.substr(0, 200);
    EXPECT_FALSE(reply.json_body().value("message", "").empty()) << c.name;
    ASSERT_EQ(anonymous.request("GET", "/api/status").status, 200) << "the server died on: " << c.name;
  }
  EXPECT_EQ(everything(owner), before);
}

TEST_F(HostileTest, HostileContentInsideAValidPushIsRefusedPerOperation) {
  const auto owner = sign_in(server(), kOwner, kOwnerPassword);
  const auto before = everything(owner);
  // A sale whose lines come as JSON text nested deeper than any real document.
  const auto body = R"({"operations":[{"op_id":"h2","entity":"pos_sale","action":"upsert","uuid":"0195c0de-0000-7000-8000-0000000000ab",)"
                    R"("data":{"items_json":")" + nested(5000) + R"(","subtotal":1,"total":1}}]})";
  const auto reply = owner.api("POST", "/sync/push", json::parse(body));
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.json_body()["results"][0]["status"], "rejected");
  EXPECT_EQ(everything(owner), before);
}

TEST_F(HostileTest, PullWithEndlessEntityListsAnswersTheSamePage) {
  const auto owner = sign_in(server(), kOwner, kOwnerPassword);
  const auto plain = owner.api("GET", "/sync/pull?limit=5&entities=product,client").json_body();
  std::string noisy = "/sync/pull?limit=5&entities=";
  for (int i = 0; i < 300; ++i) noisy += "client,product,nope" + std::to_string(i) + ",,pos_sale,";
  const auto reply = owner.api("GET", noisy);
  ASSERT_EQ(reply.status, 200) << reply.body.substr(0, 200);
  EXPECT_EQ(reply.json_body()["cursor"], plain["cursor"]);
  EXPECT_EQ(reply.json_body()["changes"], plain["changes"]);
}

TEST_F(HostileTest, ConnectionsBeyondThePerAddressCapAreClosed) {
  namespace asio = boost::asio;
  asio::io_context io;
  const asio::ip::tcp::endpoint at(asio::ip::make_address("127.0.0.1"), server().port());
  std::vector<asio::ip::tcp::socket> held;
  for (int i = 0; i < 8; ++i) {
    held.emplace_back(io);
    held.back().connect(at);
  }
  asio::ip::tcp::socket extra(io);
  extra.connect(at);
  const std::string request = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  boost::system::error_code ec;
  asio::write(extra, asio::buffer(request), ec);
  char byte;
  asio::read(extra, asio::buffer(&byte, 1), ec);
  EXPECT_TRUE(ec == asio::error::eof || ec == asio::error::connection_reset) << ec.message();

  held.clear();
  // Closed connections free their places.
  bool answered = false;
  for (int attempt = 0; attempt < 50 && !answered; ++attempt)
    answered = HttpClient(server().port()).request("GET", "/api/status").status == 200;
  EXPECT_TRUE(answered);
}

}  // namespace

// Figures of the reference server over loopback: push throughput, pull throughput and the
// realtime fan-out delay. Prints figures; never fails on them.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/support/server_process.hpp"
#include "tests/support/test_client.hpp"

using namespace tovik::testing;
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

HttpClient sign_in(const ServerProcess& server, const std::string& device) {
  HttpClient c(server.port());
  c.token = c.api("POST", "/login", {{"email", "owner@demo.test"}, {"password", "demo-owner-1"}, {"device_name", device}})
                .json_body()["token"];
  return c;
}

json products(const HttpClient& c) {
  return c.api("GET", "/sync/pull?limit=1000&entities=product").json_body()["changes"]["product"];
}

// A till-like mix: new customers, sales of two lines, stock corrections, notes.
json operation(int i, const json& product_uuids) {
  const auto uuid = "bench-" + std::to_string(i);
  json op = {{"op_id", "op-" + uuid}, {"action", "upsert"}, {"uuid", uuid}, {"base_version", nullptr},
             {"client_updated_at", "2026-03-01T09:00:00.000Z"}};
  const auto& product = product_uuids[static_cast<std::size_t>(i) % product_uuids.size()];
  switch (i % 4) {
    case 0: op["entity"] = "client"; op["data"] = {{"name", "Customer " + std::to_string(i)}, {"phone", "+21891" + std::to_string(i)}}; break;
    case 1:
      op["entity"] = "pos_sale";
      op["data"] = {{"pos_method", "cash"}, {"sold_at", "2026-03-01T09:00:00.000Z"}, {"offline_reference", "POS-BNCH-" + std::to_string(i)},
                    {"items", {{{"product_uuid", product}, {"name", "Item"}, {"quantity", 1}, {"unit_price", 2.5}},
                               {{"name", "Bag"}, {"quantity", 1}, {"unit_price", 0.25}}}},
                    {"subtotal", 2.75}, {"tax", 0}, {"total", 2.75}};
      break;
    case 2: op["entity"] = "stock_adjustment"; op["data"] = {{"product_uuid", product}, {"delta", 1}, {"reason", "recount"}}; break;
    default: op["entity"] = "note"; op["data"] = {{"title", "Note"}, {"body", std::string(200, 'n')}};
  }
  return op;
}

void bench_push() {
  ServerProcess server;
  const auto client = sign_in(server, "bench push");
  json uuids = json::array();
  for (const auto& p : products(client)) uuids.push_back(p["uuid"]);
  constexpr int kOps = 20000, kBatch = 200;
  std::vector<json> bodies;
  for (int b = 0; b < kOps / kBatch; ++b) {
    json ops = json::array();
    for (int i = 0; i < kBatch; ++i) ops.push_back(operation(b * kBatch + i, uuids));
    bodies.push_back({{"device_id", "bench"}, {"device_time", "2026-03-01T09:00:00.000Z"}, {"operations", ops}});
  }
  int applied = 0;
  const auto start = Clock::now();
  for (const auto& body : bodies) {
    const auto reply = client.api("POST", "/sync/push", body).json_body();
    for (const auto& r : reply["results"]) applied += r["status"] == "applied";
  }
  const double s = seconds_since(start);
  std::printf("push: %d operations (%d applied) in batches of %d: %.2f s, %.0f operations/s\n", kOps, applied, kBatch, s, kOps / s);
}

void bench_pull() {
  ServerProcess server;
  const auto client = sign_in(server, "bench pull");
  constexpr int kRecords = 50000, kBatch = 500;
  for (int b = 0; b < kRecords / kBatch; ++b) {
    json ops = json::array();
    for (int i = 0; i < kBatch; ++i) {
      const auto uuid = "c-" + std::to_string(b * kBatch + i);
      ops.push_back({{"op_id", "op-" + uuid}, {"entity", "client"}, {"action", "upsert"}, {"uuid", uuid},
                     {"data", {{"name", "Client " + uuid}, {"phone", "+218910000000"}, {"address", "Tripoli"}}}});
    }
    (void)client.api("POST", "/sync/push", {{"operations", ops}});
  }
  std::size_t received = 0;
  int pages = 0;
  std::string cursor;
  const auto start = Clock::now();
  for (;;) {
    const auto page = client.api("GET", "/sync/pull?limit=500&entities=client%2Cproduct%2Cinvoice%2Cnote" +
                                            (cursor.empty() ? std::string() : "&cursor=" + cursor)).json_body();
    for (const auto& [entity, list] : page["changes"].items()) received += list.size();
    ++pages;
    cursor = page["cursor"];
    if (!page["has_more"].get<bool>()) break;
  }
  const double s = seconds_since(start);
  std::printf("pull: %zu records in %d pages of 500: %.2f s, %.0f records/s\n", received, pages, s, received / s);
}

void bench_fanout() {
  ServerProcess server({"--max-connections-per-address", "1000"});
  const auto client = sign_in(server, "bench realtime");
  const auto config = client.api("GET", "/realtime/config").json_body();
  const auto channel = "private-" + config["channel"].get<std::string>();
  const auto target = "/app/" + config["key"].get<std::string>() + "?protocol=7&client=js&version=8.4.0";
  constexpr int kSockets = 500;

  asio::io_context ioc;
  std::vector<std::unique_ptr<websocket::stream<beast::tcp_stream>>> sockets;
  beast::flat_buffer buffer;
  for (int i = 0; i < kSockets; ++i) {
    auto ws = std::make_unique<websocket::stream<beast::tcp_stream>>(ioc);
    beast::get_lowest_layer(*ws).connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), server.port()));
    ws->handshake("127.0.0.1", target);
    ws->read(buffer);
    const auto hello = json::parse(beast::buffers_to_string(buffer.data()));
    buffer.consume(buffer.size());
    const auto socket_id = json::parse(hello["data"].get<std::string>())["socket_id"].get<std::string>();
    const auto auth = client.api("POST", "/realtime/auth", {{"socket_id", socket_id}, {"channel_name", channel}}).json_body()["auth"];
    ws->write(asio::buffer(json({{"event", "pusher:subscribe"}, {"data", {{"auth", auth}, {"channel", channel}}}}).dump()));
    ws->read(buffer);
    buffer.consume(buffer.size());
    sockets.push_back(std::move(ws));
  }

  int received = 0;
  Clock::time_point last;
  std::vector<beast::flat_buffer> buffers(kSockets);
  for (int i = 0; i < kSockets; ++i) {
    sockets[static_cast<std::size_t>(i)]->async_read(buffers[static_cast<std::size_t>(i)], [&, i](beast::error_code ec, std::size_t) {
      if (ec) return;
      const auto frame = beast::buffers_to_string(buffers[static_cast<std::size_t>(i)].data());
      if (frame.find("session.revoked") != std::string::npos && ++received == kSockets) last = Clock::now();
    });
  }
  // The event is raised by the server's own action: ending another session of the same user.
  auto other = sign_in(server, "bench other device");
  const auto start = Clock::now();
  (void)client.api("POST", "/sessions/revoke-others");
  ioc.run_for(std::chrono::seconds(10));
  if (received == kSockets)
    std::printf("realtime fan-out: %d subscribed sockets, one event each: all had it after %.1f ms\n", kSockets,
                std::chrono::duration<double, std::milli>(last - start).count());
  else
    std::printf("realtime fan-out: only %d of %d sockets had the event after 10 s\n", received, kSockets);
}

}  // namespace

int main() {
  std::printf("tovik-server benchmarks (loopback, fresh demo store, 4 server threads)\n");
  bench_push();
  bench_pull();
  bench_fanout();
  return 0;
}

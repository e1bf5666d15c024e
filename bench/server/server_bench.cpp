// Figures of the reference server over loopback: push throughput, pull throughput and the
// realtime fan-out delay on SQLite, on PostgreSQL with one process and with two processes over
// one database, and a pull of 1,000,000 records on each store. Prints figures; never fails on
// them.
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "store/database.hpp"
#include "tests/support/pg_cluster.hpp"
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

// One store served by one or more processes.
struct Setup {
  std::string name;
  std::vector<std::unique_ptr<ServerProcess>> servers;
};

Setup start(const std::string& name, const std::string& store, int processes,
            const std::vector<std::string>& extra = {}) {
  Setup setup{name, {}};
  std::string address = store;
  for (int i = 0; i < processes; ++i) {
    setup.servers.push_back(std::make_unique<ServerProcess>(extra, ServerProcess::Hashing::fast, address));
    address = setup.servers.front()->db_address();
  }
  return setup;
}

// Runs fn(i) on one thread per process, all at once.
template <typename Fn>
void per_process(const Setup& setup, Fn fn) {
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < setup.servers.size(); ++i) threads.emplace_back(fn, i);
  for (auto& t : threads) t.join();
}

void bench_push(const Setup& setup) {
  constexpr int kOps = 20000, kBatch = 200;
  const auto n = setup.servers.size();
  std::vector<HttpClient> clients;
  for (const auto& server : setup.servers) clients.push_back(sign_in(*server, "bench push"));
  json uuids = json::array();
  for (const auto& p : products(clients.front())) uuids.push_back(p["uuid"]);
  std::vector<std::vector<json>> bodies(n);
  for (int b = 0; b < kOps / kBatch; ++b) {
    json ops = json::array();
    for (int i = 0; i < kBatch; ++i) ops.push_back(operation(b * kBatch + i, uuids));
    bodies[static_cast<std::size_t>(b) % n].push_back(
        {{"device_id", "bench"}, {"device_time", "2026-03-01T09:00:00.000Z"}, {"operations", ops}});
  }
  std::vector<int> applied(n, 0);
  const auto started = Clock::now();
  per_process(setup, [&](std::size_t i) {
    for (const auto& body : bodies[i]) {
      const auto reply = clients[i].api("POST", "/sync/push", body).json_body();
      for (const auto& r : reply["results"]) applied[i] += r["status"] == "applied";
    }
  });
  const double s = seconds_since(started);
  int total = 0;
  for (int a : applied) total += a;
  std::printf("  push: %d operations (%d applied), batches of %d, one device per process: %.2f s, %.0f operations/s\n",
              kOps, total, kBatch, s, kOps / s);
}

// Writes `count` customers straight into the store, as if pushed one by one.
void fill(const std::string& address, int count) {
  auto db = tovik::store::open_database(address);
  const bool sqlite = address.rfind("sqlite:", 0) == 0;
  const std::string rows =
      sqlite ? "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $1) "
             : "";
  const std::string from = sqlite ? " FROM n" : " FROM generate_series(1, $1) AS n(i)";
  db->write([&](tovik::store::Tx& tx) {
    const auto base = tx.one("SELECT change_seq FROM companies WHERE id = 1")->integer("change_seq");
    tx.exec(rows +
                "INSERT INTO records (company_id, kind, uuid, version, seq, deleted, data_json, created_at, updated_at) "
                "SELECT 1, 'client', 'bulk-' || i, CAST($2 + i AS TEXT), $2 + i, 0, "
                "'{\"name\":\"Client ' || i || '\",\"phone\":\"+218910000000\",\"address\":\"Tripoli\"}', $3, $3" + from,
            {std::int64_t{count}, base, std::string("2026-03-01T09:00:00Z")});
    tx.exec("UPDATE companies SET change_seq = change_seq + $1 WHERE id = 1", {std::int64_t{count}});
  });
  // What autovacuum does within a minute of such a load; before it, the planner would still
  // think the table small.
  if (!sqlite) db->write([](tovik::store::Tx& tx) { tx.exec("ANALYZE records"); });
}

// Every process serves one device pulling everything from the start, all at once.
void bench_pull(const Setup& setup, int records) {
  const auto started_fill = Clock::now();
  fill(setup.servers.front()->db_address(), records);
  const double filled = seconds_since(started_fill);
  const auto n = setup.servers.size();
  std::vector<HttpClient> clients;
  for (const auto& server : setup.servers) clients.push_back(sign_in(*server, "bench pull"));
  std::vector<std::size_t> received(n, 0);
  const auto started = Clock::now();
  per_process(setup, [&](std::size_t i) {
    std::string cursor;
    for (;;) {
      const auto page = clients[i].api("GET", "/sync/pull?limit=1000&entities=client%2Cproduct" +
                                                  (cursor.empty() ? std::string() : "&cursor=" + cursor)).json_body();
      for (const auto& [entity, list] : page["changes"].items()) received[i] += list.size();
      cursor = page["cursor"];
      if (!page["has_more"].get<bool>()) break;
    }
  });
  const double s = seconds_since(started);
  std::size_t total = 0;
  for (auto r : received) total += r;
  std::printf("  pull: %zu devices each pulled %zu records in pages of 1000: %.2f s, %.0f records/s in all "
              "(store filled in %.1f s)\n", n, received.front(), s, total / s, filled);
}

// Sockets spread over the processes; the event is raised through the first one.
void bench_fanout(const Setup& setup) {
  const auto client = sign_in(*setup.servers.front(), "bench realtime");
  const auto config = client.api("GET", "/realtime/config").json_body();
  const auto channel = "private-" + config["channel"].get<std::string>();
  const auto target = "/app/" + config["key"].get<std::string>() + "?protocol=7&client=js&version=8.4.0";
  constexpr int kSockets = 500;

  asio::io_context ioc;
  std::vector<std::unique_ptr<websocket::stream<beast::tcp_stream>>> sockets;
  beast::flat_buffer buffer;
  for (int i = 0; i < kSockets; ++i) {
    const auto& server = *setup.servers[static_cast<std::size_t>(i) % setup.servers.size()];
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
  auto other = sign_in(*setup.servers.front(), "bench other device");
  const auto started = Clock::now();
  (void)client.api("POST", "/sessions/revoke-others");
  ioc.run_for(std::chrono::seconds(10));
  if (received == kSockets)
    std::printf("  realtime fan-out: %d subscribed sockets over %zu process(es), one event each: all had it after %.1f ms\n",
                kSockets, setup.servers.size(), std::chrono::duration<double, std::milli>(last - started).count());
  else
    std::printf("  realtime fan-out: only %d of %d sockets had the event after 10 s\n", received, kSockets);
}

void run(const std::string& name, const std::string& store, int processes) {
  std::printf("%s\n", name.c_str());
  std::fflush(stdout);
  bench_push(start(name, store, processes));
  bench_pull(start(name, store.empty() ? store : PgCluster::shared().create_database(), processes), 50000);
  bench_fanout(start(name, store.empty() ? store : PgCluster::shared().create_database(), processes,
                     {"--max-connections-per-address", "1000"}));
  std::fflush(stdout);
}

}  // namespace

int main() {
  std::printf("tovik-server benchmarks (loopback, fresh demo stores, 4 server threads per process)\n");
  run("SQLite, one process", "", 1);
  std::string postgres;
  try {
    postgres = PgCluster::shared().create_database();
  } catch (const PgUnavailable& e) {
    std::printf("PostgreSQL: skipped (%s)\n", e.what());
  }
  // The private cluster runs with fsync off: its figures leave out the disk's flush time.
  if (!postgres.empty()) {
    run("PostgreSQL (private cluster, fsync off), one process", postgres, 1);
    run("PostgreSQL (private cluster, fsync off), two processes over one database",
        PgCluster::shared().create_database(), 2);
  }
  std::printf("pull of 1,000,000 records, one device\n");
  std::printf(" SQLite:\n");
  bench_pull(start("SQLite", "", 1), 1000000);
  if (!postgres.empty()) {
    std::printf(" PostgreSQL:\n");
    bench_pull(start("PostgreSQL", PgCluster::shared().create_database(), 1), 1000000);
  }
  PgCluster::stop_shared();
  return 0;
}

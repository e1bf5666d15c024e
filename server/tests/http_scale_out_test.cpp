// Several server processes over one PostgreSQL database: changes, realtime events and
// exactly-once pushes hold across them. Runs in the PostgreSQL pass (TOVIK_TEST_DB=postgres).
#include <libpq-fe.h>

#include <latch>
#include <map>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/pg_cluster.hpp"
#include "tests/support/session.hpp"
#include "tests/support/sync_ops.hpp"

using namespace tovik::testing;

namespace {

class ScaleOutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing_postgres()) GTEST_SKIP() << "runs in the PostgreSQL pass (TOVIK_TEST_DB=postgres)";
    db_ = PgCluster::shared().create_database();
    a_ = std::make_unique<ServerProcess>(std::vector<std::string>{}, ServerProcess::Hashing::fast, db_);
    b_ = std::make_unique<ServerProcess>(std::vector<std::string>{}, ServerProcess::Hashing::fast, db_);
  }

  // Rows of a statement run straight on the database, as text.
  std::vector<std::vector<std::string>> sql(const char* statement, const std::string& param = {}) const {
    std::vector<std::vector<std::string>> out;
    PGconn* c = PQconnectdb(db_.c_str());
    const char* params[] = {param.c_str()};
    PGresult* r = PQexecParams(c, statement, param.empty() ? 0 : 1, nullptr, params, nullptr, nullptr, 0);
    EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQerrorMessage(c);
    for (int i = 0; i < PQntuples(r); ++i) {
      out.emplace_back();
      for (int j = 0; j < PQnfields(r); ++j) out.back().emplace_back(PQgetvalue(r, i, j));
    }
    PQclear(r);
    PQfinish(c);
    return out;
  }

  // uuid -> version of every live record of a kind, read straight from the table.
  std::map<std::string, std::string> table(const std::string& kind) const {
    std::map<std::string, std::string> out;
    for (const auto& row : sql("SELECT uuid, version FROM records WHERE kind = $1 AND deleted = 0", kind))
      out.emplace(row[0], row[1]);
    return out;
  }

  std::string db_;
  std::unique_ptr<ServerProcess> a_, b_;
};

json note_op(const std::string& op_id, const std::string& uuid, const std::string& body) {
  return {{"op_id", op_id}, {"entity", "note"}, {"action", "upsert"}, {"uuid", uuid}, {"base_version", nullptr},
          {"client_updated_at", "2026-03-01T09:00:00.000Z"}, {"data", {{"body", body}}}};
}

TEST_F(ScaleOutTest, APushThroughOneProcessReachesPullsAndSocketsOfTheOther) {
  auto owner_b = sign_in(*b_, kOwner, kOwnerPassword, "office");
  const auto config = owner_b.api("GET", "/realtime/config").json_body();
  WsClient ws(b_->port(), "/app/" + config["key"].get<std::string>() + "?protocol=7");
  const auto hello = ws.next();
  ASSERT_TRUE(hello);
  const std::string socket_id = json::parse((*hello)["data"].get<std::string>())["socket_id"];
  const auto channel = "private-" + config["channel"].get<std::string>();
  const auto auth = owner_b.api("POST", "/realtime/auth", {{"socket_id", socket_id}, {"channel_name", channel}});
  ws.send({{"event", "pusher:subscribe"}, {"data", {{"auth", auth.json_body()["auth"]}, {"channel", channel}}}});
  ASSERT_TRUE(ws.next_event("pusher_internal:subscription_succeeded"));

  // A till on process A sells a product down to its alert: the owner's socket on B hears of it.
  auto till_a = sign_in(*a_, kOwner, kOwnerPassword, "till");
  ASSERT_EQ(push(till_a, {op("product", "upsert", "p-tea", {{"name", "Tea"}, {"price", 2}, {"stock", 10}, {"stock_alert", 8}})})[0]["status"], "applied");
  const auto sale = push(till_a, {op("pos_sale", "upsert", "sale-tea",
                                     {{"pos_method", "cash"}, {"payment_method", "cash"}, {"sold_at", "2026-03-01T09:00:00.000Z"},
                                      {"items", {{{"product_uuid", "p-tea"}, {"name", "Tea"}, {"quantity", 3}, {"unit_price", 2}}}},
                                      {"subtotal", 6}, {"tax", 0}, {"total", 6}})})[0];
  ASSERT_EQ(sale["status"], "applied") << sale.dump();
  const auto event = ws.next_event("notification.created", std::chrono::seconds(10));
  ASSERT_TRUE(event) << "the event raised on A did not reach the socket on B";
  EXPECT_NE(json::parse((*event)["data"].get<std::string>())["title"].get<std::string>().find("Low stock"),
            std::string::npos);

  EXPECT_EQ(find_by(all_of(owner_b, "product"), "uuid", "p-tea")["stock"], 7);
  EXPECT_FALSE(find_by(all_of(owner_b, "invoice"), "uuid", "sale-tea").is_null());

  // The admin command works on the shared database, and its events reach B's sockets too.
  EXPECT_EQ(a_->admin({"notify", "--email", kOwner, "--title", "Stocktake at six"})["ok"], true);
  const auto notice = ws.next_event("notification.created", std::chrono::seconds(10));
  ASSERT_TRUE(notice);
  EXPECT_EQ(json::parse((*notice)["data"].get<std::string>())["title"], "Stocktake at six");

  // The processes' listening connections are cut (as by a database restart): they listen again
  // and catch up on what was committed meanwhile.
  EXPECT_EQ(sql("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE query = 'LISTEN tovik_events'").size(), 2u);
  EXPECT_EQ(a_->admin({"notify", "--email", kOwner, "--title", "After the cut"})["ok"], true);
  const auto after_cut = ws.next_event("notification.created", std::chrono::seconds(10));
  ASSERT_TRUE(after_cut);
  EXPECT_EQ(json::parse((*after_cut)["data"].get<std::string>())["title"], "After the cut");
}

TEST_F(ScaleOutTest, TheSameOperationSentToBothProcessesAtOnceAppliesOnce) {
  const auto owner_a = sign_in(*a_, kOwner, kOwnerPassword, "till 1");
  const auto owner_b = sign_in(*b_, kOwner, kOwnerPassword, "till 1 again");
  auto version_of = [&](const json& result) { return std::stoll(result["record"]["version"].get<std::string>()); };
  const auto before = version_of(push(owner_a, {note_op("mark-1", "mark", "before")})[0]);

  constexpr int kRounds = 25;
  for (int round = 0; round < kRounds; ++round) {
    const auto operation = note_op("dup-" + std::to_string(round), "dup-note-" + std::to_string(round), "once");
    json results[2];
    std::latch go(2);
    auto send = [&](const HttpClient& client, json& out) {
      go.arrive_and_wait();
      out = push(client, json::array({operation}))[0];
    };
    std::thread ta(send, std::cref(owner_a), std::ref(results[0]));
    std::thread tb(send, std::cref(owner_b), std::ref(results[1]));
    ta.join();
    tb.join();
    ASSERT_EQ(results[0]["status"], "applied") << results[0].dump();
    ASSERT_EQ(results[1]["status"], "applied") << results[1].dump();
    EXPECT_EQ(results[0]["record"]["version"], results[1]["record"]["version"]) << "round " << round;
  }
  // Each operation took exactly one change number: none was applied twice.
  const auto after = version_of(push(owner_b, {note_op("mark-2", "mark", "after")})[0]);
  EXPECT_EQ(after - before, kRounds + 1);
}

TEST_F(ScaleOutTest, APullRunningWhileWritersCommitNeverMissesAChange) {
  constexpr int kWriters = 4, kBatches = 30;
  std::vector<HttpClient> writers;
  for (int w = 0; w < kWriters; ++w)
    writers.push_back(sign_in(w % 2 ? *b_ : *a_, kOwner, kOwnerPassword, "writer " + std::to_string(w)));
  const std::vector<HttpClient> readers = {sign_in(*a_, kOwner, kOwnerPassword, "reader a"),
                                           sign_in(*b_, kOwner, kOwnerPassword, "reader b")};

  // Writers upsert notes from a shared pool, so later commits also rewrite earlier records.
  std::atomic<int> running = kWriters;
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w)
    threads.emplace_back([&, w] {
      std::mt19937 rng(1000 + w);
      for (int batch = 0; batch < kBatches; ++batch) {
        json ops = json::array();
        const int size = 1 + static_cast<int>(rng() % 8);
        for (int i = 0; i < size; ++i)
          ops.push_back(note_op("w" + std::to_string(w) + "-" + std::to_string(batch) + "-" + std::to_string(i),
                                "pool-" + std::to_string(rng() % 60), "writer " + std::to_string(w)));
        for (const auto& r : push(writers[w], ops)) EXPECT_EQ(r["status"], "applied") << r.dump();
      }
      --running;
    });

  // One device pulls small pages all along, alternating between the processes.
  std::map<std::string, std::string> pulled;
  std::string cursor;
  for (int page = 0;; ++page) {
    const bool writing = running > 0;
    const auto reply = pull(readers[page % 2], "note", cursor, 7);
    for (const auto& r : reply["changes"].value("note", json::array()))
      pulled[r["uuid"]] = r["version"].get<std::string>();
    cursor = reply["cursor"];
    if (!writing && !reply["has_more"].get<bool>()) break;
  }
  for (auto& t : threads) t.join();

  EXPECT_EQ(pulled, table("note"));
}

}  // namespace

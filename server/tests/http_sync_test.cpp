// Push and pull over HTTP against a real server with the demo store.
#include <gtest/gtest.h>

#include <set>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"
#include "tests/support/sync_ops.hpp"

using namespace tovik::testing;

namespace {

class SyncTest : public OwnerSuite<SyncTest> {};

TEST_F(SyncTest, TheSameBatchSentTwiceAppliesOnce) {
  const json batch = json::array({op("client", "upsert", "c-once", {{"name", "Once Only"}}),
                                  op("stock_adjustment", "upsert", "adj-once",
                                     {{"product_uuid", find_by(all_of(owner_, "product"), "sku", "6191000000059")["uuid"]},
                                      {"delta", 5}, {"reason", "delivery"}})});
  const auto stock_before = find_by(all_of(owner_, "product"), "sku", "6191000000059")["stock"].get<double>();
  const auto first = push(owner_, batch);
  const auto second = push(owner_, batch);
  ASSERT_EQ(first.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(first[i]["status"], "applied");
    EXPECT_EQ(second[i]["status"], first[i]["status"]);
  }
  EXPECT_EQ(second[0]["record"]["version"], first[0]["record"]["version"]);
  const auto clients = all_of(owner_, "client");
  EXPECT_EQ(std::count_if(clients.begin(), clients.end(), [](const json& c) { return c["uuid"] == "c-once"; }), 1);
  EXPECT_EQ(find_by(all_of(owner_, "product"), "sku", "6191000000059")["stock"].get<double>(), stock_before + 5);
}

TEST_F(SyncTest, StaleBaseVersionGivesConflictWithTheServerRecord) {
  const auto created = push(owner_, {op("note", "upsert", "note-stale", {{"title", "A"}, {"body", "first"}})})[0];
  const auto v1 = created["record"]["version"];
  const auto updated = push(owner_, {op("note", "upsert", "note-stale", {{"body", "second"}}, v1)})[0];
  ASSERT_EQ(updated["status"], "applied");
  EXPECT_NE(updated["record"]["version"], v1);
  EXPECT_EQ(updated["record"]["title"], "A");  // fields not sent keep their value

  const auto stale = push(owner_, {op("note", "upsert", "note-stale", {{"body", "third"}}, v1)})[0];
  EXPECT_EQ(stale["status"], "conflict");
  EXPECT_EQ(stale["record"]["body"], "second");
  EXPECT_EQ(stale["record"]["version"], updated["record"]["version"]);
}

TEST_F(SyncTest, DeletesAreTombstonesAndASecondDeleteFindsItGone) {
  const auto created = push(owner_, {op("note", "upsert", "note-gone", {{"body", "bye"}})})[0];
  const auto cursor = pull(owner_, "note", {}, 1000)["cursor"].get<std::string>();
  const auto deleted = push(owner_, {op("note", "delete", "note-gone", nullptr, created["record"]["version"])})[0];
  EXPECT_EQ(deleted["status"], "applied");
  const auto again = push(owner_, {op("note", "delete", "note-gone", nullptr, created["record"]["version"])})[0];
  EXPECT_EQ(again["status"], "conflict");
  EXPECT_EQ(again["reason"], "deleted_on_server");
  const auto edit = push(owner_, {op("note", "upsert", "note-gone", {{"body", "back?"}}, created["record"]["version"])})[0];
  EXPECT_EQ(edit["reason"], "deleted_on_server");

  const auto page = pull(owner_, "note", cursor);
  EXPECT_EQ(page["deleted"], json::array({{{"entity", "note"}, {"uuid", "note-gone"}}}));
  EXPECT_FALSE(page["changes"].contains("note"));
}

TEST_F(SyncTest, TillSaleIsNumberedBecomesAnInvoiceAndLowersStock) {
  const auto milk = find_by(all_of(owner_, "product"), "sku", "6191000000011");
  const double stock = milk["stock"];
  auto sale = [&](const std::string& uuid) {
    return op("pos_sale", "upsert", uuid,
              {{"offline_reference", "POS-AB12-00001"}, {"currency_code", "LYD"}, {"status", "paid"},
               {"pos_method", "cash"}, {"payment_method", "cash"}, {"invoice_date", "2026-03-01"},
               {"due_date", "2026-03-01"}, {"sold_at", "2026-03-01T09:00:00.000Z"},
               {"items", {{{"product_uuid", milk["uuid"]}, {"name", "Milk"}, {"quantity", 2}, {"unit_price", 4.5}},
                          {{"product_uuid", milk["uuid"]}, {"name", "Milk box"}, {"quantity", 1}, {"unit_price", 50},
                           {"unit", "box"}, {"unit_factor", 12}}}},
               {"taxes", json::array()}, {"discount_amount", 0}, {"discount_type", "fixed"},
               {"subtotal", 59}, {"tax", 0}, {"total", 59}, {"paid_amount", 59}});
  };
  const auto first = push(owner_, {sale("sale-1")})[0];
  ASSERT_EQ(first["status"], "applied") << first.dump();
  const auto number = first["record"]["invoice_number"].get<std::string>();
  EXPECT_EQ(number.rfind("SAL-", 0), 0u);
  EXPECT_EQ(first["record"]["status"], "paid");
  EXPECT_EQ(first["record"]["items"].size(), 2u);
  const auto second = push(owner_, {sale("sale-2")})[0];
  EXPECT_NE(second["record"]["invoice_number"], number);
  EXPECT_EQ(find_by(all_of(owner_, "product"), "sku", "6191000000011")["stock"].get<double>(), stock - 28);
  // The sale comes back as an invoice.
  EXPECT_FALSE(find_by(all_of(owner_, "invoice"), "uuid", "sale-1").is_null());
}

TEST_F(SyncTest, CreditSaleIsPaidDownByAClientPayment) {
  const auto client = find_by(all_of(owner_, "client"), "phone", "+218917890123");
  const auto sale = push(owner_, {op("pos_sale", "upsert", "credit-1",
                                     {{"client_uuid", client["uuid"]}, {"pos_method", "credit"}, {"payment_method", "credit"},
                                      {"sold_at", "2026-03-01T10:00:00.000Z"},
                                      {"items", {{{"name", "Service"}, {"quantity", 1}, {"unit_price", 30}}}},
                                      {"subtotal", 30}, {"tax", 0}, {"total", 30}})})[0];
  ASSERT_EQ(sale["record"]["status"], "approved");
  const auto payment = push(owner_, {op("client_payment", "upsert", "pay-1",
                                        {{"client_uuid", client["uuid"]}, {"amount", 20}, {"method", "cash"},
                                         {"paid_at", "2026-03-02T10:00:00.000Z"}})})[0];
  ASSERT_EQ(payment["status"], "applied") << payment.dump();
  const auto invoice = find_by(all_of(owner_, "invoice"), "uuid", "credit-1");
  EXPECT_EQ(invoice["paid_amount"], 20.0);
  EXPECT_EQ(invoice["status"], "partially_paid");
}

TEST_F(SyncTest, RefusalsCarryReasons) {
  auto cashier = sign_in(server(), kCashier, kCashierPassword);
  const auto forbidden = push(cashier, {op("product", "upsert", "p-cashier", {{"name", "X"}, {"price", 1}})})[0];
  EXPECT_EQ(forbidden["status"], "rejected");
  EXPECT_EQ(forbidden["reason"], "forbidden");
  const auto invalid = push(owner_, {op("client", "upsert", "c-noname", {{"phone", "1"}})})[0];
  EXPECT_EQ(invalid["reason"], "invalid");
  EXPECT_TRUE(invalid["errors"].contains("name"));
  const auto taken = push(owner_, {op("note", "upsert", "c-once-taken", {{"body", "x"}}),
                                   op("client", "upsert", "c-once-taken", {{"name", "Y"}})})[1];
  EXPECT_EQ(taken["reason"], "uuid_taken");
  const auto locked = push(owner_, {op("pos_shift", "upsert", "shift-1", {{"opened_at", "2026-03-01T08:00:00Z"}, {"opening_cash", 100},
                                                                          {"closed_at", "2026-03-01T18:00:00Z"}, {"counted_cash", 100}}),
                                    op("pos_shift", "upsert", "shift-1", {{"notes", "late edit"}})})[1];
  EXPECT_EQ(locked["reason"], "locked");
}

TEST_F(SyncTest, PullPagesThroughManyChangesInOrder) {
  const auto start = pull(owner_, "expense", {}, 1000)["cursor"].get<std::string>();
  for (int batch = 0; batch < 6; ++batch) {
    json ops = json::array();
    for (int i = 0; i < 200; ++i) {
      const auto n = std::to_string(batch * 200 + i);
      ops.push_back(op("expense", "upsert", "exp-" + n,
                       {{"title", "Expense " + n}, {"category", "other"}, {"amount", 1.5}, {"expense_date", "2026-03-01"}}));
    }
    for (const auto& r : push(owner_, ops)) ASSERT_EQ(r["status"], "applied");
  }
  std::set<std::string> seen;
  std::vector<bool> more;
  std::string cursor = start;
  long long last_version = 0;
  for (;;) {
    const auto page = pull(owner_, "expense,client", cursor, 500);
    for (const auto& r : page["changes"]["expense"]) {
      seen.insert(r["uuid"].get<std::string>());
      const auto v = std::stoll(r["version"].get<std::string>());
      EXPECT_GT(v, last_version);  // change order
      last_version = v;
    }
    EXPECT_NE(page["cursor"], cursor);
    cursor = page["cursor"];
    more.push_back(page["has_more"]);
    if (!page["has_more"].get<bool>()) break;
  }
  EXPECT_EQ(seen.size(), 1200u);
  EXPECT_EQ(more, (std::vector<bool>{true, true, false}));
  const auto empty = pull(owner_, "expense", cursor);
  EXPECT_EQ(empty["changes"], json::object());
  EXPECT_EQ(empty["has_more"], false);
  // Push-only entities are never pulled.
  EXPECT_EQ(pull(owner_, "pos_sale,stock_adjustment")["changes"], json::object());
  EXPECT_EQ(owner_.api("GET", "/sync/pull?cursor=not-a-cursor").status, 400);
}

// A NUL would cut the identifier short in PostgreSQL's text, landing on another record.
TEST_F(SyncTest, IdentifiersWithANulCharacterAreRefused) {
  ASSERT_EQ(push(owner_, {op("note", "upsert", "nul-note", {{"body", "original"}})})[0]["status"], "applied");
  const std::string cut("nul-note\0x", 10);
  auto bad_uuid = op("note", "upsert", cut, {{"body", "overwritten"}});
  bad_uuid["op_id"] = "op-nul-uuid";
  auto bad_op_id = op("note", "upsert", "nul-note-2", {{"body", "other"}});
  bad_op_id["op_id"] = std::string("op-nul\0x", 8);
  const auto results = push(owner_, {bad_uuid, bad_op_id});
  for (const auto& r : results) {
    EXPECT_EQ(r["status"], "rejected") << r.dump();
    EXPECT_EQ(r["reason"], "invalid") << r.dump();
  }
  EXPECT_EQ(find_by(all_of(owner_, "note"), "uuid", "nul-note")["body"], "original");
  EXPECT_TRUE(find_by(all_of(owner_, "note"), "uuid", "nul-note-2").is_null());
}

TEST_F(SyncTest, OversizedPushIsRefusedWith413) {
  const std::string big(9 * 1024 * 1024, 'x');
  const auto reply = owner_.api("POST", "/sync/push", {{"operations", json::array({op("note", "upsert", "n-big", {{"body", big}})})}});
  EXPECT_EQ(reply.status, 413);
  EXPECT_FALSE(reply.json_body().value("message", "").empty());
}

TEST(SyncEpochTest, ADeviceOnAnOlderDataEpochIsSignedOut) {
  ServerProcess server;
  auto client = sign_in(server, kOwner, kOwnerPassword);
  EXPECT_EQ(client.api("GET", "/sync/pull", nullptr, {{"X-Data-Epoch", "1"}}).status, 200);
  EXPECT_EQ(server.admin({"bump-epoch", "--company", "1"})["data_epoch"], 2);
  const auto reply = client.api("POST", "/sync/push", {{"operations", json::array()}}, {{"X-Data-Epoch", "1"}});
  EXPECT_EQ(reply.status, 401);
  EXPECT_EQ(reply.json_body()["error_code"], "DATA_EPOCH_CHANGED");
  auto again = sign_in(server, kOwner, kOwnerPassword);
  EXPECT_EQ(again.api("GET", "/me").json_body()["user"]["tenant"]["data_epoch"], 2);
  EXPECT_EQ(server.stop(), 0);  // SIGTERM is a clean stop
}

}  // namespace

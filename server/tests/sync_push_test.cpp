// Push rules against a real SQLite store: money and stock effects, refusals and their rollback.
#include <gtest/gtest.h>

#include "sync/push.hpp"
#include "tests/support/temp_store.hpp"

using namespace tovik;
using nlohmann::json;

namespace {

class PushTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.payables = true;
    owner_.treasury = true;
    owner_.tenant = {{"currency", "LYD"}, {"loyalty", {{"enabled", true}, {"earn_rate", 0.1}}}};
  }

  json push(std::vector<json> ops, const sync::Actor* actor = nullptr) {
    return sync::push_operations(*store_.db, store_.company, actor ? *actor : owner_, json(ops));
  }
  json upsert(const std::string& entity, const std::string& uuid, json data, json base = nullptr) {
    return {{"op_id", "op-" + std::to_string(++ops_)}, {"entity", entity}, {"action", "upsert"},
            {"uuid", uuid}, {"base_version", base}, {"data", std::move(data)}};
  }
  json one(const std::string& entity, const std::string& uuid, json data, json base = nullptr) {
    return push({upsert(entity, uuid, std::move(data), std::move(base))})[0];
  }
  json record(const std::string& kind, const std::string& uuid) {
    json out;
    store_.db->write([&](store::Tx& tx) {
      sync::Records records(tx, store_.company);
      if (auto r = records.live(kind, uuid)) out = sync::pull_format(*r);
    });
    return out;
  }
  // Sets server-owned fields directly, as the platform's own screens would.
  void server_edit(const std::string& kind, const std::string& uuid, const json& changes) {
    store_.db->write([&](store::Tx& tx) {
      sync::Records records(tx, store_.company);
      auto r = records.live(kind, uuid);
      r->data.update(changes);
      records.put(kind, uuid, r->data);
    });
  }
  json credit_sale(const std::string& uuid, const std::string& client, double total, const std::string& date) {
    return upsert("pos_sale", uuid, {{"client_uuid", client}, {"pos_method", "credit"}, {"sold_at", date + "T10:00:00Z"},
                                     {"invoice_date", date}, {"items", {{{"name", "Goods"}, {"quantity", 1}, {"unit_price", total}}}},
                                     {"subtotal", total}, {"tax", 0}, {"total", total}});
  }

  tovik::testing::TempStore store_;
  sync::Actor owner_;
  int ops_ = 0;
};

TEST_F(PushTest, ClientPaymentPaysOldestOpenInvoicesOfItsCurrencyFirst) {
  ASSERT_EQ(one("client", "c1", {{"name", "Buyer"}})["status"], "applied");
  const auto sales = push({credit_sale("s-new", "c1", 20, "2026-03-02"), credit_sale("s-old", "c1", 30, "2026-03-01")});
  for (const auto& s : sales) ASSERT_EQ(s["status"], "applied") << s.dump();

  const auto usd = one("client_payment", "p-usd", {{"client_uuid", "c1"}, {"currency_code", "USD"}, {"amount", 10},
                                                   {"method", "cash"}, {"paid_at", "2026-03-03T10:00:00Z"}});
  EXPECT_EQ(usd["record"]["unallocated"], 10.0);
  const auto paid = one("client_payment", "p-1", {{"client_uuid", "c1"}, {"amount", 40}, {"method", "cash"},
                                                  {"paid_at", "2026-03-03T10:00:00Z"}});
  ASSERT_EQ(paid["status"], "applied");
  EXPECT_EQ(record("invoice", "s-old")["status"], "paid");
  EXPECT_EQ(record("invoice", "s-new")["status"], "partially_paid");
  EXPECT_EQ(record("invoice", "s-new")["paid_amount"], 10.0);

  // A wallet payment needs the balance; refused, it changes nothing.
  const auto wallet = one("client_payment", "p-2", {{"client_uuid", "c1"}, {"amount", 5}, {"method", "wallet"},
                                                    {"paid_at", "2026-03-03T11:00:00Z"}});
  EXPECT_EQ(wallet["status"], "rejected");
  EXPECT_EQ(wallet["reason"], "invalid");
  EXPECT_EQ(record("invoice", "s-new")["paid_amount"], 10.0);
  EXPECT_TRUE(record("client_payment", "p-2").is_null());
}

TEST_F(PushTest, ARefusedOperationRollsBackOnlyItsOwnEffects) {
  one("product", "p1", {{"name", "Tea"}, {"price", 2}, {"stock", 10}});
  one("client", "c1", {{"name", "Buyer"}});
  const auto results = push({
      upsert("stock_adjustment", "adj-1", {{"product_uuid", "p1"}, {"delta", 5}, {"reason", "delivery"}}),
      upsert("pos_sale", "s-wallet", {{"client_uuid", "c1"}, {"pos_method", "wallet"}, {"sold_at", "2026-03-01T10:00:00Z"},
                                      {"items", {{{"product_uuid", "p1"}, {"name", "Tea"}, {"quantity", 3}, {"unit_price", 2}}}},
                                      {"subtotal", 6}, {"total", 6}}),
      upsert("note", "n1", {{"body", "after the refusal"}}),
  });
  EXPECT_EQ(results[0]["status"], "applied");
  EXPECT_EQ(results[1]["status"], "rejected");
  EXPECT_EQ(results[1]["message"], "Not enough wallet balance");
  EXPECT_EQ(results[2]["status"], "applied");
  EXPECT_EQ(record("product", "p1")["stock"], 15.0);

  // With a balance the same sale goes through, takes stock, debits the wallet and earns points.
  server_edit("client", "c1", {{"wallet_balance", 50.0}});
  const auto sale = push({upsert("pos_sale", "s-wallet-2", {{"client_uuid", "c1"}, {"pos_method", "wallet"},
                                                            {"sold_at", "2026-03-01T10:00:00Z"},
                                                            {"items", {{{"product_uuid", "p1"}, {"name", "Tea"}, {"quantity", 3}, {"unit_price", 2}}}},
                                                            {"subtotal", 6}, {"total", 6}})})[0];
  ASSERT_EQ(sale["status"], "applied") << sale.dump();
  EXPECT_EQ(record("product", "p1")["stock"], 12.0);
  EXPECT_EQ(record("client", "c1")["wallet_balance"], 44.0);
  EXPECT_EQ(record("client", "c1")["loyalty_points"], 0);  // floor(6 × 0.1)
}

TEST_F(PushTest, TheServerRecomputesSaleFiguresAndNeverCreditsAWallet) {
  one("product", "p1", {{"name", "Tea"}, {"price", 2.5}, {"stock", 1000}});
  one("client", "c1", {{"name", "Buyer"}});
  server_edit("client", "c1", {{"wallet_balance", 100.0}, {"loyalty_points", 50}});
  auto line = [](double quantity, double price) {
    return json{{"product_uuid", "p1"}, {"name", "Tea"}, {"quantity", quantity}, {"unit_price", price}};
  };
  auto box = [&](double quantity, double price, double factor) {
    auto l = line(quantity, price);
    l["unit"] = "box";
    l["unit_factor"] = factor;
    return l;
  };
  const json vat5 = json::array({{{"name", "VAT"}, {"type", "percentage"}, {"value", 5}}});
  struct Case {
    const char* name;
    json items;
    json extra;  // discount, taxes, points and the till's figures
    const char* verdict;
    double pieces_taken;
    double wallet_taken;
  };
  const std::vector<Case> cases = {
      {"10% off then 5% VAT", {line(3, 2.5)},
       {{"discount_amount", 10}, {"discount_type", "percentage"}, {"taxes", vat5}, {"subtotal", 7.5}, {"tax", 0.34}, {"total", 7.09}},
       "applied", 3, 7.09},
      {"a half cent rounds up as the till rounds it", {line(1, 10.005)}, {{"subtotal", 10.01}, {"total", 10.01}}, "applied", 1, 10.01},
      {"two at 0.335", {line(2, 0.335)}, {{"subtotal", 0.67}, {"total", 0.67}}, "applied", 2, 0.67},
      {"150% off is all off", {line(2, 2.5)}, {{"discount_amount", 150}, {"discount_type", "percentage"}, {"total", 0}}, "applied", 2, 0},
      {"20 points at 0.10 off before VAT", {line(4, 2.5)},
       {{"redeem_points", 20}, {"taxes", vat5}, {"subtotal", 10}, {"tax", 0.4}, {"total", 8.4}}, "applied", 4, 8.4},
      {"box of 12 moves 12 pieces", {box(1, 27, 12)}, {{"subtotal", 27}, {"total", 27}}, "applied", 12, 27},
      {"total without its figures is the server's", {line(1, 2.5)}, json::object(), "applied", 1, 2.5},
      {"total one cent off", {line(3, 2.5)}, {{"subtotal", 7.5}, {"total", 7.49}}, "invalid", 0, 0},
      {"discount the figures do not show", {line(3, 2.5)}, {{"discount_amount", 5}, {"subtotal", 7.5}, {"total", 7.5}}, "invalid", 0, 0},
      {"negative total", {line(1, 2.5)}, {{"discount_amount", 1002.5}, {"total", -1000}}, "invalid", 0, 0},
      {"negative price", {line(1, -1000)}, {{"subtotal", -1000}, {"total", -1000}}, "invalid", 0, 0},
      {"negative quantity", {line(-400, 2.5)}, {{"subtotal", -1000}, {"total", -1000}}, "invalid", 0, 0},
      {"absurd quantity", {line(1e9, 0)}, {{"subtotal", 0}, {"total", 0}}, "invalid", 0, 0},
      {"absurd price", {line(1, 1e12)}, {{"subtotal", 1e12}, {"total", 1e12}}, "invalid", 0, 0},
      {"box of no pieces", {box(1, 27, 0)}, {{"subtotal", 27}, {"total", 27}}, "invalid", 0, 0},
      {"negative points", {line(1, 2.5)}, {{"redeem_points", -100}, {"total", 2.5}}, "invalid", 0, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    const double stock = record("product", "p1")["stock"];
    const double wallet = record("client", "c1")["wallet_balance"];
    json data = {{"client_uuid", "c1"}, {"pos_method", "wallet"}, {"sold_at", "2026-03-01T10:00:00Z"}, {"items", c.items}};
    data.update(c.extra);
    const auto r = one("pos_sale", "s" + std::to_string(++n), data);
    const auto got = r["status"] == "applied" ? std::string("applied") : r.value("reason", std::string());
    EXPECT_EQ(got, c.verdict) << c.name << ": " << r.dump();
    EXPECT_NEAR(stock - record("product", "p1")["stock"].get<double>(), c.pieces_taken, 1e-9) << c.name;
    EXPECT_NEAR(wallet - record("client", "c1")["wallet_balance"].get<double>(), c.wallet_taken, 1e-9) << c.name;
    if (got == "applied") {
      EXPECT_NEAR(r["record"]["total"].get<double>(), c.wallet_taken, 1e-9) << c.name;
    }
  }
}

TEST_F(PushTest, PointsAreRedeemedOnlyWithinTheLoyaltyRules) {
  one("client", "c1", {{"name", "Buyer"}});
  server_edit("client", "c1", {{"loyalty_points", 500}});
  // A net of 10.00 after 2.00 off; 10 % of it is 1.00, ten points at 0.10.
  auto sale = [&](const std::string& uuid, int points) {
    return one("pos_sale", uuid, {{"client_uuid", "c1"}, {"pos_method", "cash"}, {"sold_at", "2026-03-01T10:00:00Z"},
                                  {"items", {{{"name", "Tea"}, {"quantity", 4}, {"unit_price", 3}}}},
                                  {"discount_amount", 2}, {"redeem_points", points}});
  };
  const auto verdict = [](const json& r) { return r["status"] == "applied" ? std::string("applied") : r.value("message", std::string()); };
  owner_.tenant["loyalty"] = {{"enabled", false}};
  EXPECT_EQ(verdict(sale("off", 5)), "This business does not take loyalty points.");
  owner_.tenant["loyalty"] = {{"enabled", true}, {"point_value", 0.1}, {"max_redeem_percent", 10}, {"min_redeem", 5}};
  EXPECT_EQ(verdict(sale("few", 4)), "Too few points to redeem.");
  EXPECT_EQ(verdict(sale("many", 11)), "More points than this sale allows.");
  const auto kept = sale("cap", 10);
  EXPECT_EQ(verdict(kept), "applied");
  EXPECT_DOUBLE_EQ(kept["record"]["total"].get<double>(), 9);
  EXPECT_EQ(record("client", "c1")["loyalty_points"], 490);  // loyalty earns nothing here: no earn rate
}

TEST_F(PushTest, AForeignCurrencyWalletSaleTakesItsValueInBaseUnits) {
  owner_.tenant["currencies"] = json::array({{{"code", "LYD"}, {"rate", 1}}, {{"code", "USD"}, {"rate", 4.85}}});
  one("client", "c1", {{"name", "Buyer"}});
  server_edit("client", "c1", {{"wallet_balance", 30.0}});
  auto sale = [&](const std::string& uuid, double price) {
    return one("pos_sale", uuid, {{"client_uuid", "c1"}, {"pos_method", "wallet"}, {"currency_code", "USD"},
                                  {"sold_at", "2026-03-01T10:00:00Z"},
                                  {"items", {{{"name", "Gift"}, {"quantity", 1}, {"unit_price", price}}}}, {"total", price}});
  };
  EXPECT_EQ(sale("s-big", 10)["message"], "Not enough wallet balance");  // 48.50 in base
  ASSERT_EQ(sale("s-small", 2)["status"], "applied");
  EXPECT_EQ(record("client", "c1")["wallet_balance"], 20.3);
  // Points are earned on the base worth too: 4 × 4.85 = 19.40 earns 1 at 0.1 a dinar, not 0.
  ASSERT_EQ(sale("s-points", 4)["status"], "applied");
  EXPECT_EQ(record("client", "c1")["loyalty_points"], 1);
}

TEST_F(PushTest, FallingToTheStockAlertNotifiesTheOwnersOnce) {
  store_.db->write([&](store::Tx& tx) {
    admin::add_member(tx, admin::create_user(tx, {"boss@test", "boss-pass-1", "Boss", "", false}, true), store_.company, {});
  });
  one("product", "p1", {{"name", "Tea"}, {"price", 2}, {"stock", 10}, {"stock_alert", 8}});
  auto sell = [&](const std::string& uuid, int quantity) {
    return one("pos_sale", uuid, {{"pos_method", "cash"}, {"sold_at", "2026-03-01T10:00:00Z"},
                                  {"items", {{{"product_uuid", "p1"}, {"name", "Tea"}, {"quantity", quantity}, {"unit_price", 2}}}},
                                  {"subtotal", 2 * quantity}, {"total", 2 * quantity}})["status"];
  };
  auto notices = [&] {
    json titles = json::array();
    store_.db->read([&](store::Tx& tx) {
      for (const auto& r : tx.query("SELECT title, message FROM notifications ORDER BY id"))
        titles.push_back(r.text("title") + " / " + r.text("message"));
    });
    return titles;
  };
  EXPECT_EQ(sell("s1", 1), "applied");
  EXPECT_EQ(notices().size(), 0u);
  EXPECT_EQ(sell("s2", 2), "applied");
  EXPECT_EQ(sell("s3", 2), "applied");
  EXPECT_EQ(notices(), json::array({"Low stock: Tea / 7 left"}));
}

TEST_F(PushTest, InvoicesAreNumberedTakeStockAndLockOnceReviewed) {
  one("product", "p1", {{"name", "Rice"}, {"price", 30}, {"stock", 20}});
  one("client", "c1", {{"name", "Buyer"}});
  json inv = {{"client_uuid", "c1"}, {"due_date", "2026-03-15"}, {"offline_reference", "OFF-AAAA-00001"},
              {"items", {{{"product_uuid", "p1"}, {"name", "Rice"}, {"quantity", 4}, {"unit_price", 30}}}},
              {"subtotal", 120}, {"total", 120}, {"invoice_number", "FAKE-1"}, {"status", "paid"}};
  const auto created = one("invoice", "i1", inv);
  ASSERT_EQ(created["status"], "applied") << created.dump();
  EXPECT_EQ(created["record"]["invoice_number"], "INV-000001");
  EXPECT_EQ(created["record"]["status"], "pending_review");
  EXPECT_EQ(record("product", "p1")["stock"], 16.0);
  EXPECT_EQ(one("quotation", "q1", {{"client_uuid", "c1"}, {"items", inv["items"]}})["record"]["quotation_number"], "QUO-000001");

  inv["items"][0]["quantity"] = 1;
  inv["subtotal"] = 30;
  const auto edited = one("invoice", "i1", inv, created["record"]["version"]);
  ASSERT_EQ(edited["status"], "applied");
  EXPECT_EQ(edited["record"]["invoice_number"], "INV-000001");
  EXPECT_EQ(record("product", "p1")["stock"], 19.0);

  const auto wrong_total = one("invoice", "i2", {{"client_uuid", "c1"}, {"due_date", "2026-03-15"},
                                                 {"items", inv["items"]}, {"subtotal", 999}});
  EXPECT_TRUE(wrong_total["errors"].contains("subtotal"));

  server_edit("invoice", "i1", {{"status", "approved"}});
  const auto locked = one("invoice", "i1", inv, record("invoice", "i1")["version"]);
  EXPECT_EQ(locked["reason"], "locked");
  EXPECT_EQ(locked["record"]["status"], "approved");
  const auto del = push({{{"op_id", "del-i1"}, {"entity", "invoice"}, {"action", "delete"}, {"uuid", "i1"}}})[0];
  EXPECT_EQ(del["reason"], "locked");
}

TEST_F(PushTest, PayablePaymentsMoveTheirPayable) {
  ASSERT_EQ(one("payable", "pay1", {{"creditor_name", "Supplier"}, {"total_amount", 100}, {"paid_amount", 99}})["record"]["paid_amount"], 0.0);
  auto pay = [&](const std::string& uuid, double amount) {
    return one("payable_payment", uuid, {{"payable_uuid", "pay1"}, {"amount", amount}, {"method", "cash"},
                                        {"paid_at", "2026-03-01T10:00:00Z"}});
  };
  EXPECT_EQ(pay("pp1", 60)["status"], "applied");
  EXPECT_EQ(record("payable", "pay1")["status"], "partial");
  EXPECT_EQ(pay("pp2", 50)["reason"], "invalid");
  EXPECT_EQ(pay("pp3", 40)["status"], "applied");
  const auto payable = record("payable", "pay1");
  EXPECT_EQ(payable["status"], "paid");
  EXPECT_EQ(payable["payments"].size(), 2u);
  EXPECT_EQ(payable["payments"][0]["amount"], 40.0);  // newest first
  // The same payment uuid again (a resend) is not counted twice.
  EXPECT_EQ(pay("pp3", 40)["status"], "applied");
  EXPECT_EQ(record("payable", "pay1")["paid_amount"], 100.0);

  sync::Actor clerk;
  clerk.tenant = owner_.tenant;
  EXPECT_EQ(push({upsert("payable", "pay2", {{"creditor_name", "X"}, {"total_amount", 5}})}, &clerk)[0]["reason"], "forbidden");
}

TEST_F(PushTest, NullBaseVersionOnAKnownRecordIsAcceptedAndMalformedOperationsAreRejected) {
  one("client", "c1", {{"name", "First"}});
  // The device's create was applied but it never heard back; its next edit has no version.
  EXPECT_EQ(one("client", "c1", {{"phone", "555"}})["record"]["name"], "First");
  const auto results = push({json{{"entity", "client"}}, json{{"op_id", "x1"}, {"entity", "spaceship"}, {"action", "upsert"}, {"uuid", "u"}, {"data", json::object()}},
                             json{{"op_id", "x2"}, {"entity", "client"}, {"action", "merge"}, {"uuid", "u"}},
                             json{{"op_id", "x3"}, {"entity", "client"}, {"action", "upsert"}, {"uuid", "u"}}});
  for (const auto& r : results) {
    EXPECT_EQ(r["status"], "rejected") << r.dump();
    EXPECT_EQ(r["reason"], "invalid") << r.dump();
  }
}

TEST_F(PushTest, EachRoleMayDoOnlyWhatItsScreensDo) {
  ASSERT_EQ(one("client", "c1", {{"name", "Wallet holder"}})["status"], "applied");
  ASSERT_EQ(one("product", "p1", {{"name", "Tea"}, {"price", 2}})["status"], "applied");
  ASSERT_EQ(one("note", "n1", {{"body", "Call the supplier"}})["status"], "applied");
  ASSERT_EQ(one("expense", "funded", {{"title", "Rent"}, {"category", "rent"}, {"expense_date", "2026-03-01"},
                                      {"amount", 100}, {"funding_source", "cash"}})["status"], "applied");
  ASSERT_EQ(one("expense", "unfunded", {{"title", "Tea"}, {"category", "misc"}, {"expense_date", "2026-03-01"},
                                        {"amount", 5}})["status"], "applied");
  ASSERT_EQ(one("treasury_movement", "t1", {{"kind", "cash_deposit"}, {"occurred_on", "2026-03-01"}, {"amount", 50}})["status"],
            "applied");

  sync::Actor cashier;
  cashier.cashier = true;
  cashier.tenant = owner_.tenant;
  sync::Actor receiving = cashier;
  receiving.restock = true;
  sync::Actor plain_owner;
  plain_owner.tenant = owner_.tenant;

  auto remove = [&](const std::string& entity, const std::string& uuid) {
    return json{{"op_id", "op-" + std::to_string(++ops_)}, {"entity", entity}, {"action", "delete"}, {"uuid", uuid}};
  };
  const json sale_data = {{"pos_method", "cash"}, {"sold_at", "2026-03-01T10:00:00Z"},
                          {"items", {{{"name", "Tea"}, {"quantity", 1}, {"unit_price", 2}}}}, {"subtotal", 2}, {"total", 2}};
  struct Case {
    const char* name;
    const sync::Actor* actor;
    json op;
    const char* verdict;  // "applied" or the refusal reason
  };
  const std::vector<Case> cases = {
      {"cashier sells", &cashier, upsert("pos_sale", "s1", sale_data), "applied"},
      {"cashier adds a customer at the till", &cashier, upsert("client", "c2", {{"name", "Walk-in"}}), "applied"},
      {"cashier deletes a customer", &cashier, remove("client", "c1"), "forbidden"},
      {"cashier edits a product", &cashier, upsert("product", "p1", {{"price", 0}}), "forbidden"},
      {"cashier writes a note", &cashier, upsert("note", "n2", {{"body", "x"}}), "forbidden"},
      {"cashier deletes a note", &cashier, remove("note", "n1"), "forbidden"},
      {"cashier records an expense", &cashier, upsert("expense", "e3", {{"title", "x"}, {"category", "x"}, {"expense_date", "2026-03-01"}, {"amount", 1}}), "forbidden"},
      {"cashier adjusts stock", &cashier, upsert("stock_adjustment", "a1", {{"product_uuid", "p1"}, {"delta", 5}}), "forbidden"},
      {"cashier with restock receives stock", &receiving, upsert("stock_adjustment", "a2", {{"product_uuid", "p1"}, {"delta", 5}}), "applied"},
      {"owner without treasury moves money", &plain_owner, upsert("treasury_movement", "t2", {{"kind", "cash_deposit"}, {"occurred_on", "2026-03-01"}, {"amount", 9}}), "forbidden"},
      {"owner without treasury deletes a movement", &plain_owner, remove("treasury_movement", "t1"), "forbidden"},
      {"owner without treasury edits a treasury-funded expense", &plain_owner, upsert("expense", "funded", {{"amount", 1}}), "forbidden"},
      {"owner without treasury deletes a treasury-funded expense", &plain_owner, remove("expense", "funded"), "forbidden"},
      {"owner without treasury edits a plain expense", &plain_owner, upsert("expense", "unfunded", {{"amount", 6}}), "applied"},
      {"owner without payables records a payable", &plain_owner, upsert("payable", "pay1", {{"creditor_name", "X"}, {"total_amount", 5}}), "forbidden"},
      {"owner deletes a customer", &owner_, remove("client", "c1"), "applied"},
  };
  for (const auto& c : cases) {
    const auto r = push({c.op}, c.actor)[0];
    const auto got = r["status"] == "applied" ? std::string("applied") : r.value("reason", r["status"].get<std::string>());
    EXPECT_EQ(got, c.verdict) << c.name << ": " << r.dump();
  }
  EXPECT_EQ(record("expense", "funded")["amount"], 100.0);
  EXPECT_FALSE(record("note", "n1").is_null());
}

TEST_F(PushTest, ShiftCloseSumsEachCurrencyApart) {
  owner_.tenant["currencies"] = {{{"code", "LYD"}, {"rate", 1}, {"base", true}}, {{"code", "USD"}, {"rate", 4.8}}};
  ASSERT_EQ(one("pos_shift", "sh1", {{"opened_at", "2026-03-01T08:00:00Z"}, {"opening_cash", 100}})["status"], "applied");
  const auto sale = [&](const std::string& uuid, double total, const std::string& method, const char* currency) {
    json d = {{"pos_method", method}, {"shift_uuid", "sh1"}, {"sold_at", "2026-03-01T10:00:00Z"},
              {"items", {{{"name", "Goods"}, {"quantity", 1}, {"unit_price", total}}}},
              {"subtotal", total}, {"tax", 0}, {"total", total}};
    if (currency) d["currency_code"] = currency;
    return upsert("pos_sale", uuid, d);
  };
  for (const auto& r : push({sale("a", 200, "cash", "LYD"), sale("b", 50, "cash", nullptr), sale("c", 30, "card", "LYD"),
                            sale("d", 20, "cash", "USD")}))
    ASSERT_EQ(r["status"], "applied") << r.dump();
  const auto closed = one("pos_shift", "sh1", {{"closed_at", "2026-03-01T18:00:00Z"}, {"counted_cash", 345},
                                               {"counted", {{"LYD", 345}, {"USD", 21}}}});
  ASSERT_EQ(closed["status"], "applied") << closed.dump();
  const auto summary = record("pos_shift", "sh1")["summary"];
  // Rows without a currency are the base currency's; the dollars stay out of the dinar drawer.
  EXPECT_EQ(summary["currency"], "LYD");
  EXPECT_EQ(summary["sales"]["cash"], json({{"count", 2}, {"total", 250.0}}));
  EXPECT_EQ(summary["salesTotal"], 280.0);
  EXPECT_EQ(summary["expectedCash"], 350.0);
  EXPECT_EQ(summary["variance"], -5.0);
  const auto& usd = summary["byCurrency"]["USD"];
  EXPECT_EQ(usd["openingCash"], 0.0);
  EXPECT_EQ(usd["expectedCash"], 20.0);
  EXPECT_EQ(usd["countedCash"], 21.0);
  EXPECT_EQ(usd["variance"], 1.0);

  // A sale that arrives after the close is still in the server's report.
  ASSERT_EQ(push({sale("e", 5, "cash", "LYD")})[0]["status"], "applied");
  const auto late = record("pos_shift", "sh1")["summary"];
  EXPECT_EQ(late["expectedCash"], 355.0);
  EXPECT_EQ(late["variance"], -10.0);
}

}  // namespace

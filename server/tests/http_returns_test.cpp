// Returns of sales over HTTP against a real server with the demo store.
#include <gtest/gtest.h>

#include "tests/support/server_suite.hpp"
#include "tests/support/session.hpp"
#include "tests/support/sync_ops.hpp"

using namespace tovik::testing;

namespace {

constexpr const char* kDemoPin = "246810";

class ReturnsTest : public OwnerSuite<ReturnsTest> {
 protected:
  json sale(const std::string& uuid, const std::string& method, const json& items, double total,
            const json& extra = json::object()) {
    json d = {{"pos_method", method}, {"payment_method", method}, {"sold_at", "2026-03-01T09:00:00.000Z"},
              {"items", items}, {"subtotal", total}, {"tax", 0}, {"total", total}};
    d.update(extra);
    const auto verdict = push(owner_, {op("pos_sale", "upsert", uuid, d)})[0];
    EXPECT_EQ(verdict["status"], "applied") << verdict.dump();
    return verdict["record"];
  }
  Reply returnable(const HttpClient& as, const std::string& uuid) {
    return as.api("GET", "/pos/sales/" + uuid + "/returnable");
  }
  Reply give_back(const HttpClient& as, const std::string& sale_uuid, const std::string& uuid, const std::vector<json>& lines,
                  const std::string& method = "cash", const json& pin = nullptr, const json& shift = nullptr) {
    return as.api("POST", "/pos/returns",
                  {{"invoice_uuid", sale_uuid}, {"lines", json(lines)}, {"refund_method", method}, {"uuid", uuid},
                   {"reason", nullptr}, {"shift_uuid", shift}, {"override_pin", pin}});
  }
  json product(const std::string& sku) { return find_by(all_of(owner_, "product"), "sku", sku); }
  json invoice(const std::string& uuid) { return find_by(all_of(owner_, "invoice"), "uuid", uuid); }
  json client(const std::string& phone) { return find_by(all_of(owner_, "client"), "phone", phone); }
};

json line(int id, double quantity) { return {{"invoice_item_id", id}, {"quantity", quantity}}; }

TEST_F(ReturnsTest, PartialThenFullReturnPutsStockBackOnceAndRefusesMore) {
  const auto milk = product("6191000000011");
  const double stock = milk["stock"];
  sale("r-sale-1", "cash",
       {{{"product_uuid", milk["uuid"]}, {"name", "Milk"}, {"quantity", 3}, {"unit_price", 4.5}},
        {{"name", "Service"}, {"quantity", 1}, {"unit_price", 30}}},
       43.5);
  ASSERT_EQ(product("6191000000011")["stock"].get<double>(), stock - 3);

  const auto view = returnable(owner_, "r-sale-1");
  ASSERT_EQ(view.status, 200) << view.body;
  const auto v = view.json_body();
  EXPECT_EQ(v["invoice"]["client"], "Walk-in Customer");
  EXPECT_TRUE(v["refusal"].is_null());
  EXPECT_EQ(v["lines"][0]["returnable"], 3.0);
  EXPECT_EQ(v["lines"][0]["unit_price"], 4.5);

  // Refused before anything changes: too many, a fraction of a piece, an unknown line.
  const struct {
    std::vector<json> lines;
    const char* message;
  } refused[] = {
      {{line(1, 4)}, "Only 3 of Milk can still be returned."},
      {{line(1, 1.5)}, "Only whole pieces of Milk can be returned."},
      {{line(3, 1)}, "The return names a line this sale does not have."},
      {{}, "Enter how many of each item come back."},
  };
  for (const auto& r : refused) {
    const auto reply = give_back(owner_, "r-sale-1", "ret-refused", r.lines);
    EXPECT_EQ(reply.status, 422) << r.message;
    EXPECT_EQ(reply.json_body()["message"], r.message);
  }

  const auto first = give_back(owner_, "r-sale-1", "ret-1", {line(1, 1)});
  ASSERT_EQ(first.status, 200) << first.body;
  const auto recorded = first.json_body()["return"];
  EXPECT_EQ(recorded["number"].get<std::string>().rfind("RET-", 0), 0u);
  EXPECT_EQ(recorded["total"], 4.5);
  EXPECT_EQ(recorded["method"], "cash");
  // A resend after a lost reply is the same return, not a second one.
  const auto again = give_back(owner_, "r-sale-1", "ret-1", {line(1, 1)});
  ASSERT_EQ(again.status, 200);
  EXPECT_EQ(again.json_body()["return"], recorded);
  EXPECT_EQ(product("6191000000011")["stock"].get<double>(), stock - 2);
  EXPECT_EQ(invoice("r-sale-1")["status"], "partial_return");
  EXPECT_EQ(invoice("r-sale-1")["total"], 43.5);
  EXPECT_EQ(returnable(owner_, "r-sale-1").json_body()["lines"][0]["returned"], 1.0);

  const auto rest = give_back(owner_, "r-sale-1", "ret-2", {line(1, 2), line(2, 1)});
  ASSERT_EQ(rest.status, 200) << rest.body;
  EXPECT_EQ(rest.json_body()["return"]["total"], 39.0);
  EXPECT_EQ(invoice("r-sale-1")["status"], "full_return");
  EXPECT_EQ(invoice("r-sale-1")["total"], 43.5);
  EXPECT_EQ(product("6191000000011")["stock"].get<double>(), stock);
  EXPECT_EQ(returnable(owner_, "r-sale-1").json_body()["refusal"], "Everything on this sale has already been returned.");
  const auto more = give_back(owner_, "r-sale-1", "ret-3", {line(1, 1)});
  EXPECT_EQ(more.status, 422);
  EXPECT_EQ(more.json_body()["message"], "Everything on this sale has already been returned.");
  // Another record's uuid is not a return's.
  EXPECT_EQ(give_back(owner_, "r-sale-1", "r-sale-1", {line(1, 1)}).status, 409);
  EXPECT_EQ(returnable(owner_, "no-such-sale").status, 404);

  // Every device of the company learns of the returns; none may write one.
  const auto returns = all_of(owner_, "pos_return");
  ASSERT_FALSE(find_by(returns, "uuid", "ret-2").is_null());
  EXPECT_EQ(find_by(returns, "uuid", "ret-2")["amount"], 39.0);
  EXPECT_EQ(push(owner_, {op("pos_return", "upsert", "ret-forged", {{"total", 5}})})[0]["reason"], "forbidden");
}

TEST_F(ReturnsTest, ADiscountedSaleGivesBackWhatWasPaid) {
  sale("r-sale-discount", "cash", {{{"name", "Lamp"}, {"quantity", 3}, {"unit_price", 10}}}, 27,
       {{"discount_amount", 10}, {"discount_type", "percentage"}, {"subtotal", 30}});
  EXPECT_EQ(returnable(owner_, "r-sale-discount").json_body()["lines"][0]["unit_price"], 9.0);
  EXPECT_EQ(give_back(owner_, "r-sale-discount", "ret-d1", {line(1, 1)}).json_body()["return"]["total"], 9.0);
  EXPECT_EQ(give_back(owner_, "r-sale-discount", "ret-d2", {line(1, 2)}).json_body()["return"]["total"], 18.0);
}

TEST_F(ReturnsTest, AWeighedLineComesBackInGrams) {
  sale("r-sale-weighed", "cash", {{{"name", "Cheese"}, {"quantity", 1.25}, {"unit_price", 40}}}, 50);
  EXPECT_EQ(returnable(owner_, "r-sale-weighed").json_body()["lines"][0]["weighed"], true);
  const auto part = give_back(owner_, "r-sale-weighed", "ret-g1", {line(1, 0.4)});
  ASSERT_EQ(part.status, 200) << part.body;
  EXPECT_EQ(part.json_body()["return"]["total"], 16.0);
  EXPECT_EQ(returnable(owner_, "r-sale-weighed").json_body()["lines"][0]["returnable"], 0.85);
}

TEST_F(ReturnsTest, ACashierNeedsTheManagersPin) {
  sale("r-sale-pin", "cash", {{{"name", "Cable"}, {"quantity", 2}, {"unit_price", 7}}}, 14);
  auto cashier = sign_in(server(), kCashier, kCashierPassword);
  EXPECT_EQ(returnable(cashier, "r-sale-pin").status, 200);
  for (const json& pin : {json(nullptr), json("111111"), json("12ab")}) {
    const auto reply = give_back(cashier, "r-sale-pin", "ret-pin", {line(1, 1)}, "cash", pin);
    EXPECT_EQ(reply.status, 422) << pin;
    EXPECT_EQ(reply.json_body()["needs_pin"], true);
  }
  const auto approved = give_back(cashier, "r-sale-pin", "ret-pin", {line(1, 1)}, "cash", kDemoPin);
  EXPECT_EQ(approved.status, 200) << approved.body;
  // The owner needs none.
  EXPECT_EQ(give_back(owner_, "r-sale-pin", "ret-pin-owner", {line(1, 1)}).status, 200);
}

TEST_F(ReturnsTest, ACreditSaleLowersTheDebtAndNeverPaysOutCash) {
  const auto salma = client("+218924567890");
  const double wallet = salma["wallet_balance"];
  sale("r-sale-credit", "credit", {{{"name", "Tiles"}, {"quantity", 3}, {"unit_price", 10}}}, 30,
       {{"client_uuid", salma["uuid"]}});

  const auto part = give_back(owner_, "r-sale-credit", "ret-c1", {line(1, 1)}, "cash");
  ASSERT_EQ(part.status, 200) << part.body;
  EXPECT_EQ(part.json_body()["return"]["method"], "credit");
  auto owed = invoice("r-sale-credit");
  EXPECT_EQ(owed["paid_amount"], 10.0);
  // Still owed: the sale stays open so the rest of the debt is not lost.
  EXPECT_EQ(owed["status"], "partially_paid");

  // Paid down by 15 of the 20 left, then everything returned: 5 clears the debt, 15 becomes store credit.
  ASSERT_EQ(push(owner_, {op("client_payment", "upsert", "r-pay-1",
                             {{"client_uuid", salma["uuid"]}, {"amount", 15}, {"method", "cash"},
                              {"paid_at", "2026-03-02T10:00:00.000Z"}})})[0]["status"],
            "applied");
  const auto rest = give_back(owner_, "r-sale-credit", "ret-c2", {line(1, 2)}, "cash");
  ASSERT_EQ(rest.status, 200) << rest.body;
  EXPECT_EQ(rest.json_body()["return"]["method"], "credit");
  EXPECT_EQ(rest.json_body()["return"]["credited"], 5.0);
  owed = invoice("r-sale-credit");
  EXPECT_EQ(owed["status"], "full_return");
  EXPECT_EQ(owed["paid_amount"], 30.0);
  EXPECT_EQ(owed["total"], 30.0);
  EXPECT_EQ(client("+218924567890")["wallet_balance"].get<double>(), wallet + 15);

  // Store credit on a paid sale goes to the wallet; a walk-in sale has no wallet.
  sale("r-sale-wallet", "cash", {{{"name", "Paint"}, {"quantity", 1}, {"unit_price", 12}}}, 12,
       {{"client_uuid", salma["uuid"]}});
  EXPECT_EQ(give_back(owner_, "r-sale-wallet", "ret-w1", {line(1, 1)}, "wallet").status, 200);
  EXPECT_EQ(client("+218924567890")["wallet_balance"].get<double>(), wallet + 27);
  sale("r-sale-walkin", "cash", {{{"name", "Paint"}, {"quantity", 1}, {"unit_price", 12}}}, 12);
  const auto no_wallet = give_back(owner_, "r-sale-walkin", "ret-w2", {line(1, 1)}, "wallet");
  EXPECT_EQ(no_wallet.status, 422);
  EXPECT_EQ(no_wallet.json_body()["message"], "Store credit needs a customer on the sale.");
}

TEST_F(ReturnsTest, ACashRefundLowersTheShiftsExpectedCash) {
  ASSERT_EQ(push(owner_, {op("pos_shift", "upsert", "r-shift", {{"opened_at", "2026-03-01T08:00:00Z"}, {"opening_cash", 100}})})[0]["status"],
            "applied");
  sale("r-sale-shift", "cash", {{{"name", "Bread"}, {"quantity", 5}, {"unit_price", 50}}}, 250,
       {{"shift_uuid", "r-shift"}});
  ASSERT_EQ(give_back(owner_, "r-sale-shift", "ret-s1", {line(1, 1)}, "cash", nullptr, "r-shift").status, 200);
  const auto closed = push(owner_, {op("pos_shift", "upsert", "r-shift", {{"closed_at", "2026-03-01T18:00:00Z"}, {"counted_cash", 300}})})[0];
  ASSERT_EQ(closed["status"], "applied") << closed.dump();
  const auto summary = closed["record"]["summary"];
  EXPECT_EQ(summary["refunded"]["cash"], 50.0);
  EXPECT_EQ(summary["expectedCash"], 300.0);
  EXPECT_EQ(summary["variance"], 0.0);
}

}  // namespace

// Customers (their wallet, points and cards are the server's) and customer payments, spread
// over the customer's open invoices of the payment's currency, oldest first.
#include <algorithm>

#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/locks.hpp"

namespace tovik::sync::rules {

namespace {

Stored client(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  for (const char* owned : {"wallet_balance", "loyalty_points", "wallet_cards"}) d.erase(owned);
  if (live) {
    // Only the platform administrator renames a customer's company once it is set.
    if (has_text(live->data, "company")) d.erase("company");
    d = overlay(live->data, d);
  } else {
    d["wallet_balance"] = 0.0;
    d["loyalty_points"] = 0;
    d["wallet_cards"] = json::array();
  }
  Errors errors;
  errors.require_text(d, "name", "Enter the customer's name.");
  errors.throw_if_any();
  return records.put("client", uuid, std::move(d));
}

Stored client_payment(Records& records, const Actor& actor, const std::string& uuid, json d, const Stored*) {
  Errors errors;
  errors.require_text(d, "client_uuid", "Choose a customer.");
  errors.require_text(d, "method", "Choose how the customer paid.");
  errors.require_text(d, "paid_at", "The payment needs a time.");
  if (number_or(d, "amount", 0) <= 0) errors.add("amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  auto client = require_live(records, "client", d, "client_uuid", "The customer of this payment does not exist.");
  const double amount = round_cents(number_or(d, "amount", 0));
  d["amount"] = amount;

  if (text(d, "method") == "wallet") {
    const double balance = number_or(client.data, "wallet_balance", 0);
    if (amount > balance + kTolerance) throw Refusal("invalid", "Not enough wallet balance");
    client.data["wallet_balance"] = round_cents(balance - amount);
    records.put("client", client.uuid, client.data);
  }

  const auto base = text(actor.tenant, "currency");
  auto currency_of = [&](const json& doc) {
    const auto c = text(doc, "currency_code");
    return c.empty() ? base : c;
  };
  const auto currency = currency_of(d);
  auto open = records.children("invoice", client.uuid);
  std::erase_if(open, [&](const Stored& inv) {
    const auto status = text(inv.data, "status");
    return (status != "approved" && status != "partially_paid" && status != "pending") ||
           currency_of(inv.data) != currency ||
           number_or(inv.data, "total", 0) - number_or(inv.data, "paid_amount", 0) <= kTolerance;
  });
  std::stable_sort(open.begin(), open.end(), [](const Stored& a, const Stored& b) {
    return text(a.data, "invoice_date") < text(b.data, "invoice_date");
  });
  double remaining = amount;
  json allocations = json::array();
  for (auto& inv : open) {
    if (remaining <= kTolerance) break;
    const double total = number_or(inv.data, "total", 0);
    const double paid = number_or(inv.data, "paid_amount", 0);
    const double part = round_cents(std::min(remaining, total - paid));
    const double now_paid = round_cents(paid + part);
    inv.data["paid_amount"] = now_paid;
    inv.data["status"] = now_paid >= total - kTolerance ? "paid" : "partially_paid";
    records.put("invoice", inv.uuid, inv.data);
    allocations.push_back({{"invoice_uuid", inv.uuid}, {"amount", part}});
    remaining = round_cents(remaining - part);
  }
  d["allocations"] = allocations;
  d["unallocated"] = std::max(0.0, remaining);
  return records.put("client_payment", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> clients() {
  return {
      {.name = "client", .kind = "client", .pulled = true, .create_once = false, .may_upsert = at_till,
       .may_delete = owner, .upsert = client},
      {.name = "client_payment", .kind = "client_payment", .pulled = true, .create_once = true,
       .may_upsert = at_till, .may_delete = at_till, .upsert = client_payment, .check_delete = recorded},
  };
}

}  // namespace tovik::sync::rules

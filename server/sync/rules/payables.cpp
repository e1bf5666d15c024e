// What the business owes: a payable's paid amount, status and payments are the server's, and
// a payment may not exceed what is still owed.
#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/locks.hpp"

namespace tovik::sync::rules {

namespace {

Stored payable(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  for (const char* owned : {"paid_amount", "status", "payments"}) d.erase(owned);
  if (live) d = overlay(live->data, d);
  Errors errors;
  errors.require_text(d, "creditor_name", "Enter who is owed.");
  if (number_or(d, "total_amount", 0) <= 0) errors.add("total_amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  d["total_amount"] = round_cents(number_or(d, "total_amount", 0));
  if (!live) {
    d["paid_amount"] = 0.0;
    d["status"] = "open";
    d["payments"] = json::array();
  } else if (number_or(d, "total_amount", 0) + kTolerance < number_or(d, "paid_amount", 0)) {
    throw Refusal("invalid", "The amount cannot be less than what has already been paid");
  }
  return records.put("payable", uuid, std::move(d));
}

void unpaid_only(const Stored& live) {
  if (number_or(live.data, "paid_amount", 0) > kTolerance)
    throw Refusal("locked", "A payable with payments cannot be deleted.");
}

Stored payable_payment(Records& records, const Actor&, const std::string& uuid, json d, const Stored*) {
  Errors errors;
  errors.require_text(d, "payable_uuid", "Choose the payable.");
  errors.require_text(d, "method", "Choose how it was paid.");
  errors.require_text(d, "paid_at", "The payment needs a time.");
  if (number_or(d, "amount", 0) <= 0) errors.add("amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  auto owed = require_live(records, "payable", d, "payable_uuid", "That payable does not exist.");
  const double amount = round_cents(number_or(d, "amount", 0));
  const double total = number_or(owed.data, "total_amount", 0);
  const double paid = number_or(owed.data, "paid_amount", 0);
  if (amount > total - paid + kTolerance) throw Refusal("invalid", "That is more than what is still owed.");
  d["amount"] = amount;
  const double now_paid = round_cents(paid + amount);
  owed.data["paid_amount"] = now_paid;
  owed.data["status"] = now_paid >= total - kTolerance ? "paid" : "partial";
  json payments = json::array({{{"amount", amount}, {"method", d["method"]},
                                {"reference", d.value("reference", json())}, {"paid_at", d["paid_at"]}}});
  if (owed.data.contains("payments") && owed.data["payments"].is_array())
    for (const auto& p : owed.data["payments"]) payments.push_back(p);
  owed.data["payments"] = payments;
  records.put("payable", owed.uuid, owed.data);
  return records.put("payable_payment", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> payables() {
  return {
      {.name = "payable", .kind = "payable", .pulled = true, .create_once = false, .may_upsert = payables_manager,
       .may_delete = payables_manager, .upsert = payable, .check_delete = unpaid_only},
      {.name = "payable_payment", .kind = "payable_payment", .pulled = false, .create_once = true,
       .may_upsert = payables_manager, .may_delete = payables_manager, .upsert = payable_payment,
       .check_delete = recorded},
  };
}

}  // namespace tovik::sync::rules

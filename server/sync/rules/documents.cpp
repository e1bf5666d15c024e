// Invoices and quotations: numbered by the server, editable only until they are reviewed or
// answered; an invoice's product lines take stock at once and edits move the difference.
#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/lines.hpp"
#include "sync/rules/locks.hpp"
#include "sync/rules/stock_moves.hpp"

namespace tovik::sync::rules {

namespace {

Stored invoice(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) {
    if (live->data.contains("pos_method") && !live->data["pos_method"].is_null())
      throw Refusal("locked", "A till sale cannot be edited.");
    const auto status = text(live->data, "status");
    if (status != "draft" && status != "pending_review")
      throw Refusal("locked", "This invoice was already reviewed and cannot be changed here.");
    for (const char* owned : {"invoice_number", "status", "paid_amount", "offline_reference"}) d.erase(owned);
    d = overlay(live->data, d);
  }
  Errors errors;
  errors.require_text(d, "client_uuid", "Choose a customer.");
  errors.require_text(d, "due_date", "Choose a due date.");
  validate_items(errors, d, true);
  errors.throw_if_any();
  check_subtotal(errors, d);
  errors.throw_if_any();
  (void)require_live(records, "client", d, "client_uuid", "The customer of this invoice does not exist.");
  if (!live) {
    d["invoice_number"] = records.next_number("invoice", "INV-");
    if (text(d, "status") != "draft") d["status"] = "pending_review";
    d["paid_amount"] = 0.0;
    if (!d.contains("taxes")) d["taxes"] = json::array();
  }
  move_stock(records, live ? stock_taken(live->data) : std::map<std::string, double>{}, stock_taken(d));
  return records.put("invoice", uuid, std::move(d));
}

Stored quotation(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) {
    if (text(live->data, "status") != "pending")
      throw Refusal("locked", "This quotation was already answered and cannot be changed.");
    d.erase("quotation_number");
    d.erase("status");
    d = overlay(live->data, d);
  }
  Errors errors;
  errors.require_text(d, "client_uuid", "Choose a customer.");
  validate_items(errors, d, true);
  errors.throw_if_any();
  (void)require_live(records, "client", d, "client_uuid", "The customer of this quotation does not exist.");
  if (!live) {
    d["quotation_number"] = records.next_number("quotation", "QUO-");
    d["status"] = "pending";
    if (!d.contains("taxes")) d["taxes"] = json::array();
  }
  return records.put("quotation", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> documents() {
  return {
      {.name = "invoice", .kind = "invoice", .pulled = true, .create_once = false, .may_upsert = owner,
       .may_delete = owner, .upsert = invoice, .check_delete = recorded},
      {.name = "quotation", .kind = "quotation", .pulled = true, .create_once = false, .may_upsert = owner,
       .may_delete = owner, .upsert = quotation, .check_delete = recorded},
  };
}

}  // namespace tovik::sync::rules

// Money held and spent: treasury movements, expenses (their funding is fixed once created) and
// expense categories (names unique per company, whatever their case).
#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

namespace {

Stored treasury_movement(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) d = overlay(live->data, d);
  Errors errors;
  errors.require_text(d, "kind", "Choose the kind of movement.");
  errors.require_text(d, "occurred_on", "Choose a date.");
  if (number_or(d, "amount", 0) <= 0) errors.add("amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  return records.put("treasury_movement", uuid, std::move(d));
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

Stored expense_category(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) d = overlay(live->data, d);
  Errors errors;
  errors.require_text(d, "name", "Enter the category's name.");
  errors.throw_if_any();
  const auto name = lower(text(d, "name"));
  for (const auto& row : records.tx().query(
           "SELECT uuid, data_json FROM records WHERE company_id = $1 AND kind = 'expense_category' "
           "AND deleted = 0 AND uuid != $2",
           {records.company_id(), uuid}))
    if (lower(text(json::parse(row.text("data_json")), "name")) == name)
      throw Refusal("invalid", "A category with that name already exists.",
                    {{"name", {"A category with that name already exists."}}});
  return records.put("expense_category", uuid, std::move(d));
}

Stored expense(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) {
    d.erase("funding_source");
    d.erase("bank_account_id");
    d = overlay(live->data, d);
  }
  Errors errors;
  errors.require_text(d, "title", "Enter a description.");
  errors.require_text(d, "category", "Choose a category.");
  errors.require_text(d, "expense_date", "Choose a date.");
  if (number_or(d, "amount", 0) <= 0) errors.add("amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  double rate = number_or(d, "exchange_rate", 1);
  if (rate <= 0) rate = 1;
  d["base_amount"] = round_cents(number_or(d, "amount", 0) * rate);
  return records.put("expense", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> treasury() {
  return {
      {.name = "treasury_movement", .kind = "treasury_movement", .pulled = true, .create_once = false,
       .may_upsert = treasury_manager, .may_delete = treasury_manager, .upsert = treasury_movement},
      {.name = "expense_category", .kind = "expense_category", .pulled = true, .create_once = false,
       .may_upsert = owner, .may_delete = owner, .upsert = expense_category},
      {.name = "expense", .kind = "expense", .pulled = true, .create_once = false, .may_upsert = expense_writer,
       .may_delete = expense_writer, .upsert = expense},
  };
}

}  // namespace tovik::sync::rules

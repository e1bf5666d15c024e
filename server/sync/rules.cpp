// What the server does with each pushed entity: validation, numbering, and the effects of
// sales, payments and adjustments on other records.
#include "sync/rules.hpp"

#include <cmath>
#include <cstdio>
#include <map>

#include "api/events.hpp"

namespace tovik::sync {

namespace {

constexpr double kTolerance = 0.005;

// Fields that describe the local row or that only the server sets.
const std::vector<std::string> kBookkeeping = {"uuid", "id", "server_id", "version", "dirty",
                                               "deleted", "local_updated_at", "items_json",
                                               "taxes_json", "summary_json", "counted_json",
                                               "payments_json"};

std::string text(const json& d, const char* key) {
  const auto it = d.find(key);
  return it != d.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool has_text(const json& d, const char* key) {
  const auto s = text(d, key);
  return s.find_first_not_of(" \t\r\n") != std::string::npos;
}

std::optional<double> number(const json& d, const char* key) {
  const auto it = d.find(key);
  if (it == d.end() || !it->is_number()) return std::nullopt;
  const double v = it->get<double>();
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

double number_or(const json& d, const char* key, double fallback) {
  return number(d, key).value_or(fallback);
}

// Collects field errors and throws them as one "invalid" refusal.
class Errors {
 public:
  void add(const std::string& field, const std::string& message) { errors_[field].push_back(message); }
  void require_text(const json& d, const char* key, const std::string& message) {
    if (!has_text(d, key)) add(key, message);
  }
  void throw_if_any() const {
    if (errors_.empty()) return;
    throw Refusal("invalid", errors_.begin().value()[0].get<std::string>(), errors_);
  }

 private:
  json errors_ = json::object();
};

// Payload as sent, turned into stored fields: bookkeeping dropped, JSON-text columns parsed.
json clean(const json& data) {
  json out = data.is_object() ? data : json::object();
  for (const char* key : {"items", "taxes"}) {
    const std::string column = std::string(key) + "_json";
    if (!out.contains(key) && out.contains(column) && out[column].is_string()) {
      try {
        out[key] = json::parse(out[column].get<std::string>());
      } catch (const json::exception&) {
      }
    }
  }
  for (const auto& key : kBookkeeping) out.erase(key);
  return out;
}

void validate_items(Errors& errors, const json& d, bool required) {
  const auto it = d.find("items");
  if (it == d.end() || !it->is_array() || (required && it->empty())) {
    errors.add("items", "Add at least one line.");
    return;
  }
  for (const auto& item : *it) {
    if (!item.is_object() || !has_text(item, "name") || number_or(item, "quantity", 0) <= 0 ||
        number_or(item, "unit_price", -1) < 0) {
      errors.add("items", "Every line needs a name, a quantity above zero and a price.");
      return;
    }
  }
  if (d.contains("taxes") && !d["taxes"].is_array()) errors.add("taxes", "Taxes must be a list.");
}

// Checks that the document's subtotal is what its lines add up to.
void check_subtotal(Errors& errors, const json& d) {
  const auto sent = number(d, "subtotal");
  if (!sent) return;
  double sum = 0;
  for (const auto& item : d["items"]) sum += number_or(item, "quantity", 0) * number_or(item, "unit_price", 0);
  if (std::fabs(round_cents(sum) - *sent) > 0.01)
    errors.add("subtotal", "The subtotal does not match the lines.");
}

// Pieces per product that a document's lines take from stock.
std::map<std::string, double> stock_taken(const json& d) {
  std::map<std::string, double> out;
  const auto it = d.find("items");
  if (it == d.end() || !it->is_array()) return out;
  for (const auto& item : *it) {
    const auto product = text(item, "product_uuid");
    if (product.empty()) continue;
    double factor = 1;
    if (text(item, "unit") == "box") factor = std::max(1.0, number_or(item, "unit_factor", 1));
    out[product] += number_or(item, "quantity", 0) * factor;
  }
  return out;
}

bool tracks_stock(const json& product) {
  const auto type = text(product, "type");
  return (type.empty() || type == "product") && number_or(product, "is_non_depleting", 0) == 0;
}

// Tells the company's owners when a product falls to its stock alert.
void warn_low_stock(Records& records, const json& product, double was, double now) {
  const auto alert = number(product, "stock_alert");
  if (!alert || was <= *alert || now > *alert) return;
  char left[64];
  std::snprintf(left, sizeof left, "%g left", now);
  for (const auto& owner : records.tx().query(
           "SELECT user_id FROM memberships WHERE company_id = $1 AND role = 'owner'", {records.company_id()}))
    api::events::notify(records.tx(), owner.integer("user_id"), records.company_id(),
                        "Low stock: " + text(product, "name"), left, "warning");
}

// Moves stock of the company's products by the difference between two line sets.
void move_stock(Records& records, const std::map<std::string, double>& before,
                const std::map<std::string, double>& after) {
  std::map<std::string, double> delta;
  for (const auto& [p, q] : after) delta[p] -= q;
  for (const auto& [p, q] : before) delta[p] += q;
  for (const auto& [uuid, change] : delta) {
    if (std::fabs(change) < 1e-9) continue;
    auto product = records.live("product", uuid);
    if (!product || !tracks_stock(product->data)) continue;
    const double was = number_or(product->data, "stock", 0);
    product->data["stock"] = was + change;
    warn_low_stock(records, product->data, was, was + change);
    records.put("product", uuid, std::move(product->data));
  }
}

Stored require_live(Records& records, const char* kind, const json& d, const char* field,
                    const std::string& message) {
  auto found = records.live(kind, text(d, field));
  if (!found) throw Refusal("invalid", message, {{field, {message}}});
  return *found;
}

json overlay(json base, const json& changes) {
  for (const auto& [k, v] : changes.items()) base[k] = v;
  return base;
}

// A till sale: numbered, paid from the wallet or on credit, with loyalty and stock applied.
Stored pos_sale(Records& records, const Actor& actor, const std::string& uuid, json d) {
  Errors errors;
  validate_items(errors, d, true);
  errors.throw_if_any();
  check_subtotal(errors, d);
  errors.throw_if_any();

  auto method = text(d, "payment_method");
  if (method.empty()) method = text(d, "pos_method");
  if (method.empty()) method = "cash";
  d["pos_method"] = method;
  const double total = round_cents(number_or(d, "total", 0));
  const bool credit = method == "credit";

  std::optional<Stored> client;
  if (has_text(d, "client_uuid")) {
    client = require_live(records, "client", d, "client_uuid", "The customer of this sale does not exist.");
  } else if (credit || method == "wallet" || number_or(d, "redeem_points", 0) > 0) {
    throw Refusal("invalid", "This sale needs a customer.", {{"client_uuid", {"This sale needs a customer."}}});
  } else {
    d["client_uuid"] = "";
  }

  if (client) {
    auto& c = client->data;
    if (method == "wallet") {
      const double balance = number_or(c, "wallet_balance", 0);
      if (has_text(d, "wallet_card_uuid")) {
        const auto card_uuid = text(d, "wallet_card_uuid");
        const json* card = nullptr;
        if (c.contains("wallet_cards") && c["wallet_cards"].is_array())
          for (const auto& k : c["wallet_cards"])
            if (text(k, "uuid") == card_uuid) card = &k;
        if (!card) throw Refusal("invalid", "That store card does not belong to this customer.");
        if (text(*card, "status") != "active") throw Refusal("invalid", "This card is blocked");
      }
      if (balance + 0.001 < total) throw Refusal("invalid", "Not enough wallet balance");
      c["wallet_balance"] = round_cents(balance - total);
    }
    const auto redeem = static_cast<std::int64_t>(number_or(d, "redeem_points", 0));
    std::int64_t points = c.value("loyalty_points", json(0)).is_number() ? c["loyalty_points"].get<std::int64_t>() : 0;
    if (redeem > points) throw Refusal("invalid", "The customer does not have that many points.");
    points -= std::max<std::int64_t>(0, redeem);
    const auto& loyalty = actor.tenant.contains("loyalty") ? actor.tenant["loyalty"] : json::object();
    if (loyalty.is_object() && loyalty.value("enabled", false))
      points += static_cast<std::int64_t>(std::floor(total * number_or(loyalty, "earn_rate", 0) + 1e-9));
    c["loyalty_points"] = points;
    records.put("client", client->uuid, c);
  }

  d["invoice_number"] = records.next_number("sale", "SAL-");
  d["status"] = credit ? "approved" : "paid";
  d["paid_amount"] = credit ? 0.0 : total;
  if (!has_text(d, "invoice_date")) d["invoice_date"] = text(d, "sold_at").substr(0, 10);
  if (!has_text(d, "due_date")) d["due_date"] = text(d, "invoice_date");
  if (!d.contains("taxes")) d["taxes"] = json::array();
  if (!has_text(d, "currency_code") && actor.tenant.contains("currency")) d["currency_code"] = actor.tenant["currency"];
  move_stock(records, {}, stock_taken(d));
  return records.put("invoice", uuid, std::move(d));
}

Stored invoice(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  if (existing) {
    if (existing->data.contains("pos_method") && !existing->data["pos_method"].is_null())
      throw Refusal("locked", "A till sale cannot be edited.");
    const auto status = text(existing->data, "status");
    if (status != "draft" && status != "pending_review")
      throw Refusal("locked", "This invoice was already reviewed and cannot be changed here.");
    for (const char* owned : {"invoice_number", "status", "paid_amount", "offline_reference"}) d.erase(owned);
    d = overlay(existing->data, d);
  }
  Errors errors;
  errors.require_text(d, "client_uuid", "Choose a customer.");
  errors.require_text(d, "due_date", "Choose a due date.");
  validate_items(errors, d, true);
  errors.throw_if_any();
  check_subtotal(errors, d);
  errors.throw_if_any();
  require_live(records, "client", d, "client_uuid", "The customer of this invoice does not exist.");
  if (!existing) {
    d["invoice_number"] = records.next_number("invoice", "INV-");
    if (text(d, "status") != "draft") d["status"] = "pending_review";
    d["paid_amount"] = 0.0;
    if (!d.contains("taxes")) d["taxes"] = json::array();
  }
  move_stock(records, existing ? stock_taken(existing->data) : std::map<std::string, double>{}, stock_taken(d));
  return records.put("invoice", uuid, std::move(d));
}

Stored quotation(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  if (existing) {
    if (text(existing->data, "status") != "pending")
      throw Refusal("locked", "This quotation was already answered and cannot be changed.");
    d.erase("quotation_number");
    d.erase("status");
    d = overlay(existing->data, d);
  }
  Errors errors;
  errors.require_text(d, "client_uuid", "Choose a customer.");
  validate_items(errors, d, true);
  errors.throw_if_any();
  require_live(records, "client", d, "client_uuid", "The customer of this quotation does not exist.");
  if (!existing) {
    d["quotation_number"] = records.next_number("quotation", "QUO-");
    d["status"] = "pending";
    if (!d.contains("taxes")) d["taxes"] = json::array();
  }
  return records.put("quotation", uuid, std::move(d));
}

// A customer's payment, spread over their open invoices of its currency, oldest first.
Stored client_payment(Records& records, const Actor& actor, const std::string& uuid, json d) {
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

Stored stock_adjustment(Records& records, const std::string& uuid, json d) {
  Errors errors;
  errors.require_text(d, "product_uuid", "Choose a product.");
  if (!number(d, "delta")) errors.add("delta", "The change of stock must be a number.");
  errors.throw_if_any();
  auto product = require_live(records, "product", d, "product_uuid", "That product does not exist.");
  product.data["stock"] = number_or(product.data, "stock", 0) + number_or(d, "delta", 0);
  records.put("product", product.uuid, product.data);
  return records.put("stock_adjustment", uuid, std::move(d));
}

Stored payable(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  for (const char* owned : {"paid_amount", "status", "payments"}) d.erase(owned);
  if (existing) d = overlay(existing->data, d);
  Errors errors;
  errors.require_text(d, "creditor_name", "Enter who is owed.");
  if (number_or(d, "total_amount", 0) <= 0) errors.add("total_amount", "The amount must be greater than zero.");
  errors.throw_if_any();
  d["total_amount"] = round_cents(number_or(d, "total_amount", 0));
  if (!existing) {
    d["paid_amount"] = 0.0;
    d["status"] = "open";
    d["payments"] = json::array();
  } else if (number_or(d, "total_amount", 0) + kTolerance < number_or(d, "paid_amount", 0)) {
    throw Refusal("invalid", "The amount cannot be less than what has already been paid");
  }
  return records.put("payable", uuid, std::move(d));
}

Stored payable_payment(Records& records, const std::string& uuid, json d) {
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

// The server's own figures of a shift: sales per method, collections and the cash expected.
json shift_summary(Records& records, const Actor& actor, const std::string& shift_uuid, const json& shift) {
  json sales = json::object();
  for (const char* m : {"cash", "card", "transfer", "credit", "wallet"}) sales[m] = {{"count", 0}, {"total", 0.0}};
  double sales_total = 0;
  std::int64_t sales_count = 0;
  for (const auto& inv : records.in_shift("invoice", shift_uuid)) {
    if (text(inv.data, "status") == "cancelled") continue;
    auto method = text(inv.data, "pos_method");
    if (method.empty()) method = "other";
    auto& entry = sales[method];
    if (entry.is_null()) entry = {{"count", 0}, {"total", 0.0}};
    entry["count"] = entry["count"].get<std::int64_t>() + 1;
    entry["total"] = round_cents(entry["total"].get<double>() + number_or(inv.data, "total", 0));
    sales_total += number_or(inv.data, "total", 0);
    ++sales_count;
  }
  json collected = json::object();
  double collected_total = 0;
  for (const auto& pay : records.in_shift("client_payment", shift_uuid)) {
    const auto method = text(pay.data, "method");
    collected[method] = round_cents(number_or(collected, method.c_str(), 0) + number_or(pay.data, "amount", 0));
    collected_total += number_or(pay.data, "amount", 0);
  }
  const double opening = round_cents(number_or(shift, "opening_cash", 0));
  const double expected = round_cents(opening + sales["cash"]["total"].get<double>() + number_or(collected, "cash", 0));
  json summary = {{"currency", text(actor.tenant, "currency")}, {"sales", sales},
                  {"salesTotal", round_cents(sales_total)}, {"salesCount", sales_count},
                  {"collected", collected}, {"collectedTotal", round_cents(collected_total)},
                  {"openingCash", opening}, {"expectedCash", expected}};
  if (const auto counted = number(shift, "counted_cash")) {
    summary["countedCash"] = round_cents(*counted);
    summary["variance"] = round_cents(*counted - expected);
  } else {
    summary["countedCash"] = nullptr;
    summary["variance"] = nullptr;
  }
  return summary;
}

Stored pos_shift(Records& records, const Actor& actor, const std::string& uuid, json d,
                 const std::optional<Stored>& existing) {
  d.erase("summary");
  if (existing) {
    if (has_text(existing->data, "closed_at")) throw Refusal("locked", "This shift is already closed.");
    d = overlay(existing->data, d);
  }
  Errors errors;
  errors.require_text(d, "opened_at", "The shift needs an opening time.");
  errors.throw_if_any();
  d["opening_cash"] = std::max(0.0, number_or(d, "opening_cash", 0));
  d["summary"] = has_text(d, "closed_at") ? shift_summary(records, actor, uuid, d) : json();
  return records.put("pos_shift", uuid, std::move(d));
}

Stored client(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  for (const char* owned : {"wallet_balance", "loyalty_points", "wallet_cards"}) d.erase(owned);
  if (existing) {
    // Only the platform administrator renames a customer's company once it is set.
    if (has_text(existing->data, "company")) d.erase("company");
    d = overlay(existing->data, d);
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

Stored product(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  if (existing) {
    // Stock moves only through sales, invoices and adjustments, so that two devices editing a
    // product never overwrite each other's counts.
    d.erase("stock");
    d = overlay(existing->data, d);
  }
  Errors errors;
  errors.require_text(d, "name", "Enter the product's name.");
  if (number_or(d, "price", -1) < 0) errors.add("price", "The price must be zero or more.");
  errors.throw_if_any();
  if (!existing) d["stock"] = number_or(d, "stock", 0);
  return records.put("product", uuid, std::move(d));
}

Stored expense_category(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  if (existing) d = overlay(existing->data, d);
  Errors errors;
  errors.require_text(d, "name", "Enter the category's name.");
  errors.throw_if_any();
  auto lower = [](std::string s) {
    for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  const auto name = lower(text(d, "name"));
  for (const auto& row : records.tx().query(
           "SELECT uuid, data_json FROM records WHERE company_id = $1 AND kind = 'expense_category' "
           "AND deleted = 0 AND uuid != $2",
           {records.company_id(), uuid}))
    if (lower(text(json::parse(row.text("data_json")), "name")) == name)
      throw Refusal("invalid", "A category with that name already exists.", {{"name", {"A category with that name already exists."}}});
  return records.put("expense_category", uuid, std::move(d));
}

Stored expense(Records& records, const std::string& uuid, json d, const std::optional<Stored>& existing) {
  if (existing) {
    d.erase("funding_source");
    d.erase("bank_account_id");
    d = overlay(existing->data, d);
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

Stored plain(Records& records, const Entity& entity, const std::string& uuid, json d,
             const std::optional<Stored>& existing) {
  if (existing) d = overlay(existing->data, d);
  Errors errors;
  const auto kind = entity.kind;
  if (kind == "note" && !d.contains("body")) errors.add("body", "The note is empty.");
  if (kind == "pos_event") {
    errors.require_text(d, "type", "The event needs a type.");
    errors.require_text(d, "occurred_at", "The event needs a time.");
  }
  if (kind == "treasury_movement") {
    errors.require_text(d, "kind", "Choose the kind of movement.");
    errors.require_text(d, "occurred_on", "Choose a date.");
    if (number_or(d, "amount", 0) <= 0) errors.add("amount", "The amount must be greater than zero.");
  }
  errors.throw_if_any();
  return records.put(std::string(kind), uuid, std::move(d));
}

}  // namespace

void check_allowed(const Actor& actor, const Entity& entity, const json& data) {
  const auto name = entity.name;
  auto refuse = [] { throw Refusal("forbidden", "You are not allowed to make this change."); };
  if (actor.cashier) {
    const bool till_work = name == "pos_sale" || name == "pos_shift" || name == "pos_event" ||
                           name == "client" || name == "client_payment" || name == "note" ||
                           (name == "stock_adjustment" && actor.restock);
    if (!till_work) refuse();
  }
  if (name == "treasury_movement" && !actor.treasury) refuse();
  if (name == "expense" && has_text(data, "funding_source") && !actor.treasury) refuse();
  if ((name == "payable" || name == "payable_payment") && !actor.payables) refuse();
}

Stored apply_upsert(Records& records, const Actor& actor, const Entity& entity,
                    const std::string& uuid, const json& data, std::optional<Stored> existing) {
  json d = clean(data);
  const auto name = entity.name;
  if (name == "pos_sale") return pos_sale(records, actor, uuid, std::move(d));
  if (name == "invoice") return invoice(records, uuid, std::move(d), existing);
  if (name == "quotation") return quotation(records, uuid, std::move(d), existing);
  if (name == "client_payment") return client_payment(records, actor, uuid, std::move(d));
  if (name == "stock_adjustment") return stock_adjustment(records, uuid, std::move(d));
  if (name == "payable") return payable(records, uuid, std::move(d), existing);
  if (name == "payable_payment") return payable_payment(records, uuid, std::move(d));
  if (name == "pos_shift") return pos_shift(records, actor, uuid, std::move(d), existing);
  if (name == "client") return client(records, uuid, std::move(d), existing);
  if (name == "product") return product(records, uuid, std::move(d), existing);
  if (name == "expense_category") return expense_category(records, uuid, std::move(d), existing);
  if (name == "expense") return expense(records, uuid, std::move(d), existing);
  return plain(records, entity, uuid, std::move(d), existing);
}

void apply_delete(Records& records, const Entity& entity, Stored& existing) {
  if (entity.create_once || entity.kind == "invoice" || entity.kind == "quotation")
    throw Refusal("locked", "Recorded documents and payments cannot be deleted from the app.");
  if (entity.kind == "payable" && number_or(existing.data, "paid_amount", 0) > kTolerance)
    throw Refusal("locked", "A payable with payments cannot be deleted.");
  if (entity.kind == "pos_shift") throw Refusal("locked", "Shifts cannot be deleted.");
  records.tombstone(existing);
}

}  // namespace tovik::sync

// Till work: sales (numbered, paid from the wallet or on credit, with loyalty and stock
// applied), shifts with the server's own summary, and till events.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <utility>

#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/lines.hpp"
#include "sync/rules/locks.hpp"
#include "sync/rules/stock_moves.hpp"

namespace tovik::sync::rules {

namespace {

bool is_pos_sale(const Stored& s) { return s.data.contains("pos_method") && !s.data["pos_method"].is_null(); }

// Bounds no real till sale comes near; beyond them a figure is a fault or a forgery.
constexpr std::size_t kMaxLines = 1000;
constexpr double kMaxQuantity = 100'000;
constexpr double kMaxUnitPrice = 100'000'000;
constexpr double kMaxBoxFactor = 10'000;
constexpr double kMaxTotal = 1'000'000'000;

void check_sale_bounds(Errors& errors, const json& d) {
  const auto& items = d["items"];
  if (items.size() > kMaxLines) errors.add("items", "A sale has at most 1000 lines.");
  for (const auto& item : items) {
    if (number_or(item, "quantity", 0) > kMaxQuantity) {
      errors.add("items", "A line's quantity cannot exceed 100000.");
      break;
    }
    if (number_or(item, "unit_price", 0) > kMaxUnitPrice) {
      errors.add("items", "A line's price cannot exceed 100000000.");
      break;
    }
    if (text(item, "unit") == "box") {
      const auto factor = number(item, "unit_factor");
      if (!factor || *factor < 1 || *factor > kMaxBoxFactor || *factor != std::floor(*factor)) {
        errors.add("items", "A box line needs a whole box size between 1 and 10000.");
        break;
      }
    }
  }
  for (const char* key : {"subtotal", "tax", "total"})
    if (const auto v = number(d, key); v && (*v < 0 || *v > kMaxTotal))
      errors.add(key, "Sale amounts must lie between 0 and 1000000000.");
  if (const auto r = number(d, "redeem_points"); r && (*r < 0 || *r > kMaxTotal || *r != std::floor(*r)))
    errors.add("redeem_points", "Redeemed points must be a whole number of at least zero.");
}

// Points are a discount the business grants: only with loyalty on, from its
// minimum, and up to its share of the sale after the cashier's discount.
void check_points(const json& d, const json& loyalty, double point_value) {
  const double redeem = std::floor(std::max(0.0, number_or(d, "redeem_points", 0)));
  if (redeem <= 0) return;
  if (!loyalty.is_object() || loyalty.value("enabled", json(false)) != json(true))
    throw Refusal("invalid", "This business does not take loyalty points.");
  if (redeem < number_or(loyalty, "min_redeem", 0)) throw Refusal("invalid", "Too few points to redeem.");
  json plain = d;
  plain.erase("redeem_points");
  const auto before = sale_figures(plain, point_value);
  const double percent = std::clamp(number_or(loyalty, "max_redeem_percent", 100), 0.0, 100.0);
  const double cap = exact_cents(std::max(0.0, before.subtotal - before.discount) * percent / 100);
  if (point_value <= 0 || redeem > std::floor(cap / point_value + 1e-9))
    throw Refusal("invalid", "More points than this sale allows.");
}

// The server keeps its own figures; the till's must agree with them to the rounding tolerance.
void settle_figures(json& d, const Actor& actor) {
  const auto& loyalty = actor.tenant.contains("loyalty") ? actor.tenant["loyalty"] : json::object();
  const double point_value = loyalty.is_object() ? number_or(loyalty, "point_value", 0.1) : 0.1;
  check_points(d, loyalty, point_value);
  const auto f = sale_figures(d, point_value);
  if (std::max(f.subtotal, f.total) > kMaxTotal) throw Refusal("invalid", "Sale amounts must lie between 0 and 1000000000.");
  Errors errors;
  const std::initializer_list<std::pair<const char*, double>> figures = {
      {"subtotal", f.subtotal}, {"tax", f.tax}, {"total", f.total}};
  for (const auto& [key, mine] : figures) {
    const auto sent = number(d, key);
    if (sent && std::fabs(*sent - mine) > kTolerance + 1e-9) {
      char message[160];
      std::snprintf(message, sizeof message, "The sale's %s %.2f does not match its lines (%.2f).", key, *sent, mine);
      errors.add(key, message);
    }
    d[key] = mine;
  }
  errors.throw_if_any();
}

json shift_summary(Records& records, const Actor& actor, const std::string& shift_uuid, const json& shift);

// A sale may reach the server after its shift's close (an offline till pushes the
// close merged into the still-unsent opening, ahead of its sales): the server's
// report of a closed shift is made again so that it never misses one.
void refresh_closed_shift(Records& records, const Actor& actor, const std::string& shift_uuid) {
  auto shift = records.live("pos_shift", shift_uuid);
  if (!shift || !has_text(shift->data, "closed_at")) return;
  shift->data["summary"] = shift_summary(records, actor, shift_uuid, shift->data);
  records.put("pos_shift", shift_uuid, std::move(shift->data));
}

Stored pos_sale(Records& records, const Actor& actor, const std::string& uuid, json d, const Stored*) {
  Errors errors;
  validate_items(errors, d, true);
  errors.throw_if_any();
  check_sale_bounds(errors, d);
  errors.throw_if_any();
  settle_figures(d, actor);

  auto method = text(d, "payment_method");
  if (method.empty()) method = text(d, "pos_method");
  if (method.empty()) method = "cash";
  d["pos_method"] = method;
  if (!has_text(d, "currency_code") && actor.tenant.contains("currency")) d["currency_code"] = actor.tenant["currency"];
  const double total = d["total"].get<double>();
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
      // The balance is kept in base units; a sale only ever takes from it.
      const double due = std::max(0.0, exact_cents(total * base_rate(actor, text(d, "currency_code"))));
      if (balance + 0.001 < due) throw Refusal("invalid", "Not enough wallet balance");
      c["wallet_balance"] = round_cents(balance - due);
    }
    const auto redeem = static_cast<std::int64_t>(number_or(d, "redeem_points", 0));
    std::int64_t points = c.value("loyalty_points", json(0)).is_number() ? c["loyalty_points"].get<std::int64_t>() : 0;
    if (redeem > points) throw Refusal("invalid", "The customer does not have that many points.");
    points -= std::max<std::int64_t>(0, redeem);
    const auto& loyalty = actor.tenant.contains("loyalty") ? actor.tenant["loyalty"] : json::object();
    if (loyalty.is_object() && loyalty.value("enabled", false))
      // Earned on the sale's worth in base units, as the wallet is kept: a dollar sale earns as much as its dinars.
      points += static_cast<std::int64_t>(
          std::floor(exact_cents(total * base_rate(actor, text(d, "currency_code"))) * number_or(loyalty, "earn_rate", 0) + 1e-9));
    c["loyalty_points"] = points;
    records.put("client", client->uuid, c);
  }

  d["invoice_number"] = records.next_number("sale", "SAL-");
  d["status"] = credit ? "approved" : "paid";
  d["paid_amount"] = credit ? 0.0 : total;
  if (!has_text(d, "invoice_date")) d["invoice_date"] = text(d, "sold_at").substr(0, 10);
  if (!has_text(d, "due_date")) d["due_date"] = text(d, "invoice_date");
  if (!d.contains("taxes")) d["taxes"] = json::array();
  move_stock(records, {}, stock_taken(d));
  const auto shift_uuid = text(d, "shift_uuid");
  auto stored = records.put("invoice", uuid, std::move(d));
  if (!shift_uuid.empty()) refresh_closed_shift(records, actor, shift_uuid);
  return stored;
}

// The company's base currency: the one marked base, else its single currency.
std::string base_currency(const Actor& actor) {
  const auto it = actor.tenant.find("currencies");
  if (it != actor.tenant.end() && it->is_array())
    for (const auto& c : *it)
      if (c.is_object() && c.value("base", false) && has_text(c, "code")) return text(c, "code");
  return text(actor.tenant, "currency");
}

// One currency's sums of a shift, rounded only when the figures are made.
struct ShiftSums {
  json sales = json::object();
  double sales_total = 0;
  std::int64_t sales_count = 0;
  json collected = json::object();
  double collected_total = 0;
  json refunded = json::object();
};

// The server's own figures of a shift, each currency on its own: an amount in
// one currency never adds to the cash expected in another.
json shift_summary(Records& records, const Actor& actor, const std::string& shift_uuid, const json& shift) {
  const auto base = base_currency(actor);
  std::map<std::string, ShiftSums> buckets;
  const auto bucket = [&](const json& row) -> ShiftSums& {
    auto code = text(row, "currency_code");
    if (code.empty()) code = base;
    auto [it, created] = buckets.try_emplace(code);
    if (created)
      for (const char* m : {"cash", "card", "transfer", "credit", "wallet"}) it->second.sales[m] = {{"count", 0}, {"total", 0.0}};
    return it->second;
  };
  bucket(json::object());
  for (const auto& inv : records.in_shift("invoice", shift_uuid)) {
    if (text(inv.data, "status") == "cancelled") continue;
    auto& sums = bucket(inv.data);
    auto method = text(inv.data, "pos_method");
    if (method.empty()) method = "other";
    auto& entry = sums.sales[method];
    if (entry.is_null()) entry = {{"count", 0}, {"total", 0.0}};
    entry["count"] = entry["count"].get<std::int64_t>() + 1;
    entry["total"] = entry["total"].get<double>() + number_or(inv.data, "total", 0);
    sums.sales_total += number_or(inv.data, "total", 0);
    ++sums.sales_count;
  }
  for (const auto& pay : records.in_shift("client_payment", shift_uuid)) {
    auto& sums = bucket(pay.data);
    const auto method = text(pay.data, "method");
    sums.collected[method] = number_or(sums.collected, method.c_str(), 0) + number_or(pay.data, "amount", 0);
    sums.collected_total += number_or(pay.data, "amount", 0);
  }

  for (const auto& back : records.in_shift("pos_return", shift_uuid)) {
    auto& sums = bucket(back.data);
    const auto method = text(back.data, "method");
    sums.refunded[method] = number_or(sums.refunded, method.c_str(), 0) + number_or(back.data, "total", 0);
  }

  const auto counted_map = shift.contains("counted") && shift["counted"].is_object() ? shift["counted"] : json::object();
  json by_currency = json::object();
  for (auto& [code, sums] : buckets) {
    for (auto& [method, entry] : sums.sales.items()) entry["total"] = round_cents(entry["total"].get<double>());
    for (auto& [method, amount] : sums.collected.items()) amount = round_cents(amount.get<double>());
    const double opening = code == base ? round_cents(number_or(shift, "opening_cash", 0)) : 0.0;
    for (auto& [method, amount] : sums.refunded.items()) amount = round_cents(amount.get<double>());
    const double expected = round_cents(opening + sums.sales["cash"]["total"].get<double>() +
                                        number_or(sums.collected, "cash", 0) - number_or(sums.refunded, "cash", 0));
    json figures = {{"sales", sums.sales},       {"salesTotal", round_cents(sums.sales_total)},
                    {"salesCount", sums.sales_count}, {"collected", sums.collected},
                    {"collectedTotal", round_cents(sums.collected_total)}, {"refunded", sums.refunded},
                    {"openingCash", opening},    {"expectedCash", expected}};
    std::optional<double> counted;
    if (counted_map.contains(code) && counted_map[code].is_number()) counted = std::max(0.0, counted_map[code].get<double>());
    else if (code == base) counted = number(shift, "counted_cash");
    figures["countedCash"] = counted ? json(round_cents(*counted)) : json();
    figures["variance"] = counted ? json(round_cents(*counted - expected)) : json();
    by_currency[code] = std::move(figures);
  }
  json summary = by_currency[base];
  summary["currency"] = base;
  summary["byCurrency"] = std::move(by_currency);
  return summary;
}

Stored pos_shift(Records& records, const Actor& actor, const std::string& uuid, json d, const Stored* live) {
  d.erase("summary");
  if (live) {
    if (has_text(live->data, "closed_at")) throw Refusal("locked", "This shift is already closed.");
    d = overlay(live->data, d);
  }
  Errors errors;
  errors.require_text(d, "opened_at", "The shift needs an opening time.");
  errors.throw_if_any();
  d["opening_cash"] = std::max(0.0, number_or(d, "opening_cash", 0));
  d["summary"] = has_text(d, "closed_at") ? shift_summary(records, actor, uuid, d) : json();
  return records.put("pos_shift", uuid, std::move(d));
}

void shift_kept(const Stored&) { throw Refusal("locked", "Shifts cannot be deleted."); }

Stored pos_event(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) d = overlay(live->data, d);
  Errors errors;
  errors.require_text(d, "type", "The event needs a type.");
  errors.require_text(d, "occurred_at", "The event needs a time.");
  errors.throw_if_any();
  return records.put("pos_event", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> sales() {
  return {
      {.name = "pos_sale", .kind = "invoice", .pulled = false, .create_once = true, .may_upsert = at_till,
       .may_delete = at_till, .upsert = pos_sale, .check_delete = recorded, .owns = is_pos_sale},
      {.name = "pos_shift", .kind = "pos_shift", .pulled = true, .create_once = false, .may_upsert = at_till,
       .may_delete = at_till, .upsert = pos_shift, .check_delete = shift_kept},
      {.name = "pos_event", .kind = "pos_event", .pulled = false, .create_once = true, .may_upsert = at_till,
       .may_delete = at_till, .upsert = pos_event, .check_delete = recorded},
  };
}

}  // namespace tovik::sync::rules

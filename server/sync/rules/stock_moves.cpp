#include "sync/rules/stock_moves.hpp"

#include <cmath>
#include <cstdio>

#include "realtime/events.hpp"

namespace tovik::sync::rules {

namespace {

bool tracks_stock(const json& product) {
  const auto type = text(product, "type");
  return (type.empty() || type == "product") && number_or(product, "is_non_depleting", 0) == 0;
}

void warn_low_stock(Records& records, const json& product, double was, double now) {
  const auto alert = number(product, "stock_alert");
  if (!alert || was <= *alert || now > *alert) return;
  char left[64];
  std::snprintf(left, sizeof left, "%g left", now);
  for (const auto& owner : records.tx().query(
           "SELECT user_id FROM memberships WHERE company_id = $1 AND role = 'owner'", {records.company_id()}))
    realtime::events::notify(records.tx(), owner.integer("user_id"), records.company_id(),
                             "Low stock: " + text(product, "name"), left, "warning");
}

}  // namespace

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

}  // namespace tovik::sync::rules

#include "sync/rules/lines.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace tovik::sync::rules {

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

void check_subtotal(Errors& errors, const json& d) {
  const auto sent = number(d, "subtotal");
  if (!sent) return;
  double sum = 0;
  for (const auto& item : d["items"]) sum += number_or(item, "quantity", 0) * number_or(item, "unit_price", 0);
  if (std::fabs(round_cents(sum) - *sent) > 0.01)
    errors.add("subtotal", "The subtotal does not match the lines.");
}

double exact_cents(double x) {
  if (!std::isfinite(x)) return 0;
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, std::fabs(x), std::chars_format::fixed);
  if (ec != std::errc()) return round_cents(x);
  const std::string digits(buf, end);
  const auto dot = digits.find('.');
  const std::string whole = digits.substr(0, dot);
  const std::string fraction = (dot == std::string::npos ? "" : digits.substr(dot + 1)) + "000";
  double cents = std::stod(whole) * 100 + (fraction[0] - '0') * 10 + (fraction[1] - '0');
  if (fraction[2] >= '5') cents += 1;
  return std::copysign(cents / 100, x);
}

SaleFigures sale_figures(const json& d, double point_value) {
  SaleFigures f;
  double sum = 0;
  if (const auto it = d.find("items"); it != d.end() && it->is_array())
    for (const auto& item : *it) sum += number_or(item, "quantity", 0) * number_or(item, "unit_price", 0);
  f.subtotal = exact_cents(sum);

  const double asked = std::max(0.0, number_or(d, "discount_amount", 0));
  const double manual = text(d, "discount_type") == "percentage"
                            ? exact_cents(f.subtotal * std::min(asked, 100.0) / 100)
                            : std::min(asked, f.subtotal);
  const double points = exact_cents(std::max(0.0, std::floor(number_or(d, "redeem_points", 0))) * point_value);
  f.discount = std::min(exact_cents(manual + points), f.subtotal);
  const double net = exact_cents(f.subtotal - f.discount);

  double rate = 0;
  if (const auto it = d.find("taxes"); it != d.end() && it->is_array())
    for (const auto& t : *it)
      if (text(t, "type") == "percentage") rate += std::max(0.0, number_or(t, "value", 0));
  f.tax = exact_cents(net * rate / 100);
  f.total = exact_cents(net + f.tax);
  return f;
}

double base_rate(const Actor& actor, const std::string& code) {
  const auto it = actor.tenant.find("currencies");
  if (code.empty() || it == actor.tenant.end() || !it->is_array()) return 1;
  for (const auto& c : *it)
    if (text(c, "code") == code) {
      const double rate = number_or(c, "rate", 1);
      return rate > 0 ? rate : 1;
    }
  return 1;
}

}  // namespace tovik::sync::rules

#include "sync/rules/lines.hpp"

#include <cmath>

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

}  // namespace tovik::sync::rules

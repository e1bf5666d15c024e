#pragma once
// Private to sync/: the item lines of sales and documents.
#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

// Every line needs a name, a quantity above zero and a price; `required`: at least one line.
void validate_items(Errors& errors, const json& d, bool required);
// The document's subtotal, when sent, must be what its lines add up to.
void check_subtotal(Errors& errors, const json& d);

// Money rounded half up to cents as its shortest decimal text reads (10.005 gives 10.01), as the till rounds.
[[nodiscard]] double exact_cents(double x);

// A till sale's figures as the till computes them: the lines summed then rounded, the discount
// (fixed or percentage, capped at the subtotal) plus the redeemed points' value taken before VAT.
struct SaleFigures {
  double subtotal = 0;
  double discount = 0;
  double tax = 0;
  double total = 0;
};
[[nodiscard]] SaleFigures sale_figures(const json& d, double point_value);

// The rate of a currency in the company's base units (1 when unknown): wallets are kept in base units.
[[nodiscard]] double base_rate(const Actor& actor, const std::string& code);

}  // namespace tovik::sync::rules

#pragma once
// Private to sync/: how documents move the stock of products.
#include <map>
#include <string>

#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

// Pieces per product that a document's lines take from stock (box lines count unit_factor).
[[nodiscard]] std::map<std::string, double> stock_taken(const json& d);

// Moves stock of the company's products by the difference between two line sets, and tells
// the owners when a product falls to its stock alert.
void move_stock(Records& records, const std::map<std::string, double>& before,
                const std::map<std::string, double>& after);

}  // namespace tovik::sync::rules

#pragma once
// Private to sync/: the item lines of sales and documents.
#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

// Every line needs a name, a quantity above zero and a price; `required`: at least one line.
void validate_items(Errors& errors, const json& d, bool required);
// The document's subtotal, when sent, must be what its lines add up to.
void check_subtotal(Errors& errors, const json& d);

}  // namespace tovik::sync::rules

// Products and stock adjustments. A product's stock is taken on create only; later it moves
// only through sales, invoices and adjustments, so edits on two devices never overwrite counts.
#include "sync/rules/access.hpp"
#include "sync/rules/domains.hpp"
#include "sync/rules/fields.hpp"
#include "sync/rules/locks.hpp"

namespace tovik::sync::rules {

namespace {

Stored product(Records& records, const Actor&, const std::string& uuid, json d, const Stored* live) {
  if (live) {
    d.erase("stock");
    d = overlay(live->data, d);
  }
  Errors errors;
  errors.require_text(d, "name", "Enter the product's name.");
  if (number_or(d, "price", -1) < 0) errors.add("price", "The price must be zero or more.");
  errors.throw_if_any();
  if (!live) d["stock"] = number_or(d, "stock", 0);
  return records.put("product", uuid, std::move(d));
}

Stored stock_adjustment(Records& records, const Actor&, const std::string& uuid, json d, const Stored*) {
  Errors errors;
  errors.require_text(d, "product_uuid", "Choose a product.");
  if (!number(d, "delta")) errors.add("delta", "The change of stock must be a number.");
  errors.throw_if_any();
  auto product = require_live(records, "product", d, "product_uuid", "That product does not exist.");
  product.data["stock"] = number_or(product.data, "stock", 0) + number_or(d, "delta", 0);
  records.put("product", product.uuid, product.data);
  return records.put("stock_adjustment", uuid, std::move(d));
}

}  // namespace

std::vector<Entity> stock() {
  return {
      {.name = "product", .kind = "product", .pulled = true, .create_once = false, .may_upsert = owner,
       .may_delete = owner, .upsert = product},
      {.name = "stock_adjustment", .kind = "stock_adjustment", .pulled = false, .create_once = true,
       .may_upsert = restocking, .may_delete = restocking, .upsert = stock_adjustment, .check_delete = recorded},
  };
}

}  // namespace tovik::sync::rules

#include "sync/entities.hpp"

#include <array>

namespace tovik::sync {

namespace {
constexpr std::array<Entity, 15> kEntities = {{
    {"client", "client", true, false},
    {"product", "product", true, false},
    {"invoice", "invoice", true, false},
    {"quotation", "quotation", true, false},
    {"client_payment", "client_payment", true, true},
    {"pos_shift", "pos_shift", true, false},
    {"note", "note", true, false},
    {"payable", "payable", true, false},
    {"expense_category", "expense_category", true, false},
    {"expense", "expense", true, false},
    {"treasury_movement", "treasury_movement", true, false},
    {"pos_sale", "invoice", false, true},
    {"stock_adjustment", "stock_adjustment", false, true},
    {"pos_event", "pos_event", false, true},
    {"payable_payment", "payable_payment", false, true},
}};
}  // namespace

const Entity* find_entity(std::string_view name) {
  for (const auto& e : kEntities)
    if (e.name == name) return &e;
  return nullptr;
}

const std::vector<std::string_view>& pulled_entities() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> out;
    for (const auto& e : kEntities)
      if (e.pulled) out.push_back(e.name);
    return out;
  }();
  return names;
}

}  // namespace tovik::sync

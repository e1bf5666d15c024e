#include "sync/entities.hpp"

#include "sync/rules/domains.hpp"

namespace tovik::sync {

namespace {

const std::vector<Entity>& table() {
  static const std::vector<Entity> rows = [] {
    std::vector<Entity> all;
    for (auto domain : {rules::sales, rules::returns, rules::documents, rules::clients, rules::stock, rules::payables,
                        rules::treasury, rules::notes}) {
      auto part = domain();
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }();
  return rows;
}

}  // namespace

const Entity* find_entity(std::string_view name) {
  for (const auto& e : table())
    if (e.name == name) return &e;
  return nullptr;
}

const std::vector<std::string_view>& pulled_entities() {
  static const std::vector<std::string_view> names = [] {
    std::vector<std::string_view> out;
    for (const auto& e : table())
      if (e.pulled) out.push_back(e.name);
    return out;
  }();
  return names;
}

}  // namespace tovik::sync

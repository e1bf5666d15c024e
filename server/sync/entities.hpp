#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tovik::sync {

// An entity name that travels in sync operations. Several names may share a record kind: a
// till sale (pos_sale) becomes an invoice.
struct Entity {
  std::string_view name;
  std::string_view kind;
  bool pulled;       // returned by /sync/pull
  bool create_once;  // a recorded event: a second upsert of the same uuid changes nothing
};

[[nodiscard]] const Entity* find_entity(std::string_view name);
// The pulled entity names, in the order the client asks for them.
[[nodiscard]] const std::vector<std::string_view>& pulled_entities();

}  // namespace tovik::sync

#pragma once
#include <nlohmann/json.hpp>

namespace tovik::sync {

// Who pushes: what the user may do in the company, and the company's settings.
struct Actor {
  bool cashier = false;
  bool restock = false;
  bool treasury = false;
  bool payables = false;
  nlohmann::json tenant = nlohmann::json::object();
};

}  // namespace tovik::sync

#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "store/database.hpp"

namespace tovik::api {

using nlohmann::json;

struct Config {
  // Argon2id at the library's minimum cost; only for test stores.
  bool fast_password_hash = false;
  // Requests above this many bytes get 413.
  std::size_t max_body_bytes = 8 * 1024 * 1024;
  // Largest pull page a client may ask for.
  int max_pull_limit = 1000;
  // How long a customer display's pairing code stays valid.
  int display_code_seconds = 600;
};

// What every handler reaches: the store, the configuration and the realtime wake-up.
struct App {
  store::Database& db;
  Config config;
  // Called after a transaction that wrote realtime events has committed.
  std::function<void()> events_written = [] {};
};

// The signed-in caller of a request, resolved from the bearer token and X-Company-Id.
struct Principal {
  std::int64_t user_id = 0;
  std::int64_t session_id = 0;
  std::int64_t company_id = 0;
  std::int64_t tenant_id = 0;
  std::int64_t data_epoch = 0;
  std::string name;
  std::string email;
  std::string role;
  json abilities = json::array();
  json features = json::object();
  json permissions = json::object();
  std::string permissions_hash;

  [[nodiscard]] bool feature(const std::string& key) const;
  [[nodiscard]] bool permission(const std::string& key) const;
  [[nodiscard]] bool cashier() const { return feature("cashier"); }
};

}  // namespace tovik::api

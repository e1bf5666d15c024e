#pragma once
#include <string>

#include "store/database.hpp"

// Server-wide settings kept in the store, so the admin command changes a running server.
namespace tovik::api::settings {

[[nodiscard]] std::string get(store::Tx& tx, const std::string& key, const std::string& fallback = {});
void put(store::Tx& tx, const std::string& key, const std::string& value);
void remove(store::Tx& tx, const std::string& key);

// The realtime application key and secret, made once per store.
struct RealtimeKeys {
  std::string app_id, key, secret;
};
[[nodiscard]] RealtimeKeys realtime_keys(store::Database& db);

}  // namespace tovik::api::settings

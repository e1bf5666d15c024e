#include "api/settings.hpp"

#include "util/crypto.hpp"

namespace tovik::api::settings {

std::string get(store::Tx& tx, const std::string& key, const std::string& fallback) {
  auto row = tx.one("SELECT value FROM settings WHERE key = $1", {key});
  return row ? row->text("value") : fallback;
}

void put(store::Tx& tx, const std::string& key, const std::string& value) {
  tx.exec("INSERT INTO settings (key, value) VALUES ($1, $2) "
          "ON CONFLICT (key) DO UPDATE SET value = excluded.value",
          {key, value});
}

void remove(store::Tx& tx, const std::string& key) { tx.exec("DELETE FROM settings WHERE key = $1", {key}); }

RealtimeKeys realtime_keys(store::Database& db) {
  RealtimeKeys keys;
  db.read([&](store::Tx& tx) {
    keys.app_id = get(tx, "realtime_app_id");
    keys.key = get(tx, "realtime_key");
    keys.secret = get(tx, "realtime_secret");
  });
  if (!keys.key.empty()) return keys;
  db.write([&](store::Tx& tx) {
    keys.key = get(tx, "realtime_key");
    if (keys.key.empty()) {
      put(tx, "realtime_app_id", "tovik");
      put(tx, "realtime_key", util::hex_encode(util::random_bytes(10)));
      put(tx, "realtime_secret", util::hex_encode(util::random_bytes(20)));
    }
    keys.app_id = get(tx, "realtime_app_id");
    keys.key = get(tx, "realtime_key");
    keys.secret = get(tx, "realtime_secret");
  });
  return keys;
}

}  // namespace tovik::api::settings

#include "realtime/events.hpp"

#include "util/clock.hpp"

namespace tovik::realtime::events {

std::string user_channel(std::int64_t user_id) { return "user." + std::to_string(user_id); }

void publish(store::Tx& tx, const std::string& channel, const std::string& event,
             const nlohmann::json& payload) {
  tx.exec("INSERT INTO events (channel, event, payload_json, created_at) VALUES ($1, $2, $3, $4)",
          {channel, event, payload.dump(), util::iso_now()});
}

nlohmann::json notify(store::Tx& tx, std::int64_t user_id, std::int64_t company_id,
                      const std::string& title, const std::string& message,
                      const std::string& type) {
  const auto now = util::iso_now();
  // NULLIF keeps "no company" (every company) and "no message" as NULL.
  auto row = tx.one(
      "INSERT INTO notifications (user_id, company_id, title, message, type, created_at) "
      "VALUES ($1, NULLIF($2, 0), $3, NULLIF($4, ''), $5, $6) RETURNING id",
      {user_id, company_id, title, message, type, now});
  nlohmann::json record = {{"id", row->integer("id")}, {"title", title},
                           {"message", message.empty() ? nlohmann::json() : nlohmann::json(message)},
                           {"type", type}, {"created_at", now}};
  publish(tx, user_channel(user_id), kNotificationEvent, record);
  return record;
}

}  // namespace tovik::realtime::events
